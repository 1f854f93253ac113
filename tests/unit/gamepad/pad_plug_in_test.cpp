// The virtual pad seen from the host lock: plugging in never holds it, and
// the holder's switch changes with padEnabled, under it.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "gamepad/gamepad_output.h"
#include "commands/commands.h"
#include "input/held_input.h"
#include "input/input_command.h"
#include "platform/fake/fake_virtual_pad_bus.h"
#include "platform/fake/recording_platform.h"
#include "vigem/records.h"

namespace hp::gamepad {
namespace {

using namespace std::chrono_literals;

// Background work runs when the test says so.
class ManualScheduler : public vigem::Scheduler {
public:
    bool runAfter(std::chrono::milliseconds, std::function<void()> work) override {
        pending.push_back(std::move(work));
        return true;
    }
    void run_all() {
        while (!pending.empty()) {
            auto work = std::move(pending);
            pending.clear();
            for (auto& w : work) w();
        }
    }
    std::vector<std::function<void()>> pending;
};

input::InputCommand pad_buttons(std::uint64_t seq, std::uint16_t buttons) {
    input::InputCommand c;
    c.kind = static_cast<std::uint8_t>(input::InputKind::PadButtons);
    c.seq = seq;
    c.payload[0] = static_cast<std::uint8_t>(buttons);
    c.payload[1] = static_cast<std::uint8_t>(buttons >> 8);
    return c;
}

input::InputCommand key_a(std::uint64_t seq) {
    input::InputCommand c;
    c.kind = static_cast<std::uint8_t>(input::InputKind::Key);
    c.seq = seq;
    c.payload[0] = 4;  // a
    c.payload[2] = 1;  // down
    return c;
}

class PadPlugIn : public ::testing::Test {
protected:
    void install(std::shared_ptr<vigem::Scheduler> scheduler) {
        state.platform = os;
        for (std::uint64_t id : {1u, 2u}) {
            host::SessionEntry e;
            e.id = id;
            e.deviceName = id == 1 ? "Pad" : "Keyboard";
            e.controllerEnabled = id == 1;
            state.sessions[id] = std::move(e);
        }
        holder = std::make_shared<vigem::PadHolder>(bus, nullptr, std::move(scheduler), vigem::kUnplugGrace,
                                                    vigem::SwitchLines::LeaveToCaller);
        state.pad = std::make_shared<GamepadOutput>(state, holder, true, pad_mapping::defaultMapping(), nullptr);
    }

    // Reports the bus got, as their 12-byte Xbox 360 report's buttons.
    std::vector<std::uint16_t> reported_buttons() const {
        std::vector<std::uint16_t> out;
        for (const auto& r : bus->requests())
            if (r.code == vigem::kSubmitXbox360Report)
                out.push_back(static_cast<std::uint16_t>(r.input[8] | r.input[9] << 8));
        return out;
    }

    host::HostState state;
    std::shared_ptr<fake::RecordingPlatform> os = std::make_shared<fake::RecordingPlatform>();
    std::shared_ptr<fake::FakeVirtualPadBus> bus = std::make_shared<fake::FakeVirtualPadBus>();
    std::shared_ptr<vigem::PadHolder> holder;
};

TEST_F(PadPlugIn, InputGoesOnWhileThePadWaitsUntilReady) {
    install(vigem::make_thread_scheduler());
    bus->holdRequests(vigem::kWaitUntilReady);  // Plug and Play still setting the controller up

    auto first = std::async(std::launch::async, [&] {
        host::HostLock lock(state);
        commands::set_active_client(lock, 1);
        commands::execute(lock, 1, pad_buttons(1, 0x001), Clock::now());
    });
    ASSERT_TRUE(bus->waitHeld(vigem::kWaitUntilReady, 10s));

    // Another pad update, and then a second session's key, both under the
    // host lock, while the plug-in still waits.
    auto more = std::async(std::launch::async, [&] {
        host::HostLock lock(state);
        commands::execute(lock, 1, pad_buttons(2, 0x002), Clock::now());
    });
    auto second = std::async(std::launch::async, [&] {
        more.wait();
        host::HostLock lock(state);
        commands::execute(lock, 2, key_a(1), Clock::now());
    });
    const bool proceeded = second.wait_for(10s) == std::future_status::ready;
    bus->releaseRequests(vigem::kWaitUntilReady);
    first.wait();
    second.wait();
    EXPECT_TRUE(proceeded) << "input waited for the plug-in";
    EXPECT_EQ(os->lines(), (std::vector<std::string>{"key 0x41 down"}));
    // The pad came too late for a switch that is off by now: it goes again.
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (bus->openDevices() != 0 && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(5ms);
    EXPECT_EQ(bus->openDevices(), 0);
    EXPECT_FALSE(holder->plugged());
}

TEST_F(PadPlugIn, APadCommandRightAfterTheSwitchFindsItOn) {
    auto scheduler = std::make_shared<ManualScheduler>();
    install(scheduler);
    std::vector<std::function<void()>> notYetStarted;
    {
        host::HostLock lock(state);
        commands::set_active_client(lock, 1);  // the controller switch turns on
        // Another worker takes the lock before this one, once unlocked, has
        // started the work it deferred.
        notYetStarted.swap(state.deferred);
    }
    {
        host::HostLock lock(state);
        EXPECT_TRUE(state.input.padEnabled);
        EXPECT_TRUE(holder->switchOn());
        EXPECT_EQ(holder->generation(), 1u);
        commands::execute(lock, 1, pad_buttons(1, 0x001), Clock::now());  // A
    }
    for (auto& work : notYetStarted) work();
    scheduler->run_all();
    ASSERT_TRUE(holder->plugged());
    EXPECT_EQ(reported_buttons(), std::vector<std::uint16_t>{0x1000}) << "the A report was dropped";
}

}  // namespace
}  // namespace hp::gamepad
