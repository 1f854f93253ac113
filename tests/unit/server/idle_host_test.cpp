// A host with nothing to do does nothing: the watchdog ticks only while input
// is held, and session ends leave no threads behind.
#include <gtest/gtest.h>

#include <filesystem>

#include "host_fixture.h"
#include "main/idle_timers.h"

namespace hp::test {
namespace {

namespace ft = frame_type;
using namespace std::chrono_literals;

std::size_t thread_count() {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++n;
    return n;
}

class IdleHost : public HostFixture {};

TEST_F(IdleHost, TheWatchdogSleepsUntilSomethingIsHeld) {
    start();
    auto phone = paired_client("Phone");
    std::this_thread::sleep_for(100ms);
    const std::uint64_t before = host_->watchdog->ticks();
    std::this_thread::sleep_for(1200ms);
    EXPECT_EQ(host_->watchdog->ticks(), before) << "ticks while nothing is held";

    // A key goes down: the watchdog's first tick follows within one period,
    // and it keeps ticking until the key is released for being stale.
    const auto pressed = std::chrono::steady_clock::now();
    ASSERT_TRUE(phone->send_secure(ft::InputCommand, command(4, 1, {4, 0, 1})));
    ASSERT_TRUE(wait_platform("key 0x41 down"));
    while (host_->watchdog->ticks() == before && std::chrono::steady_clock::now() - pressed < 2s)
        std::this_thread::sleep_for(5ms);
    EXPECT_LE(std::chrono::steady_clock::now() - pressed, main::Watchdog::kPeriod + 150ms);
    ASSERT_TRUE(wait_platform("key 0x41 up", 3s)) << "a stale key is still released";
    std::this_thread::sleep_for(400ms);
    const std::uint64_t after = host_->watchdog->ticks();
    std::this_thread::sleep_for(1000ms);
    EXPECT_EQ(host_->watchdog->ticks(), after) << "asleep again once nothing is held";
}

TEST_F(IdleHost, QuickAuthenticationsLeaveNoThreadsBehind) {
    // One phone reconnecting quickly: the handshake rate limit is raised.
    configure_ = [](main::StartOptions& o) { o.admission.handshakesPerSecond = o.admission.handshakeBurst = 1000; };
    start();
    auto phone = paired_client("Phone");
    phone->close();
    ASSERT_TRUE(wait_event(HostEventKind::SessionClosed, "Phone"));
    std::this_thread::sleep_for(200ms);
    const std::size_t before = thread_count();
    for (int i = 0; i < 60; ++i) {
        TestClient again(phone->identity());
        again.pin_host(*phone->pinned_host());
        ASSERT_TRUE(again.connect(port()));
        auto r = again.authenticate();
        ASSERT_TRUE(r.ok()) << r.detail;
        again.close();
    }
    std::this_thread::sleep_for(300ms);
    EXPECT_LE(thread_count(), before) << "session ends left threads behind";
}

}  // namespace
}  // namespace hp::test
