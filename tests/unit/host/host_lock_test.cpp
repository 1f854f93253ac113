// The host lock: what is queued under it is handed on after it is released,
// in order, and a hot path with nothing queued costs nothing more.
#include "host/host_state.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>

#include "../foundation/scratch.h"

namespace {

// Counts allocations made on the thread that asks for it.
thread_local bool g_counting = false;
thread_local std::size_t g_allocations = 0;

}  // namespace

void* operator new(std::size_t size) {
    if (g_counting) ++g_allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace hp::host {
namespace {

TEST(HostLock, NothingQueuedMeansNoAllocationOnUnlock) {
    HostState state;
    // A sink that captures enough to live on the heap when copied.
    auto big = std::make_shared<std::array<char, 256>>();
    std::string captured(100, 'x');
    state.eventSink = [big, captured](const HostEvent&) {};
    state.controllerLog = std::make_shared<store::ControllerLog>(std::nullopt, [] { return 1u; });

    g_allocations = 0;
    g_counting = true;
    for (int i = 0; i < 1000; ++i) {
        HostLock lock(state);
        lock->input.lastInputAt = Clock::now();
    }
    g_counting = false;
    EXPECT_EQ(g_allocations, 0u) << "every unlock copied something";
}

TEST(HostLock, EventsAndLogLinesGoOutAfterUnlockingWithTheirQueueTime) {
    test::ScratchDir scratch;
    HostState state;
    std::atomic<std::uint64_t> now{1000};
    state.controllerLog = std::make_shared<store::ControllerLog>(scratch.path(), [&] { return now.load(); });
    std::vector<std::string> seen;
    state.eventSink = [&](const HostEvent& e) {
        // Delivered with the mutex free: another lock can be taken here.
        HostLock inner(state);
        seen.push_back(host_event_name(e.kind) + (" " + e.deviceName));
    };
    const auto log_file = scratch.path() / "controller.log";
    {
        HostLock lock(state);
        state.log("switch on");
        now = 2000;
        state.log("switch off");
        state.pendingEvents.push_back({HostEventKind::ControllerSwitched, "Phone", true});
        state.deferred.push_back([&] {
            // Deferred work starts after the queued lines are written.
            EXPECT_EQ(test::read_file(log_file), "1000 switch on\n2000 switch off\n");
            seen.push_back("deferred");
        });
        now = 3000;
        EXPECT_FALSE(std::filesystem::exists(log_file)) << "written with the lock held";
    }
    EXPECT_EQ(test::read_file(log_file), "1000 switch on\n2000 switch off\n");
    EXPECT_EQ(seen, (std::vector<std::string>{"deferred", "ControllerSwitched Phone"}));
    EXPECT_TRUE(state.pendingLog.empty());
    EXPECT_TRUE(state.pendingEvents.empty());
}

TEST(HostLock, LinesFromManyThreadsKeepTheOrderTheyWereQueuedIn) {
    test::ScratchDir scratch;
    HostState state;
    std::atomic<std::uint64_t> counter{0};
    state.controllerLog = std::make_shared<store::ControllerLog>(scratch.path(), [&] { return ++counter; });
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i) {
                HostLock lock(state);
                state.log("x");
            }
        });
    for (auto& t : threads) t.join();
    // Stamps were taken in queue order under the lock; the file must list
    // them in that order.
    std::istringstream lines(test::read_file(scratch.path() / "controller.log"));
    std::uint64_t previous = 0, stamp = 0;
    std::string text;
    int count = 0;
    while (lines >> stamp >> text) {
        EXPECT_GT(stamp, previous);
        previous = stamp;
        ++count;
    }
    EXPECT_EQ(count, 200);
}

}  // namespace
}  // namespace hp::host
