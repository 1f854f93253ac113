// Where the pad goes, and what changing the mapping does to what is held.
#include "gamepad/gamepad_output.h"

#include <gtest/gtest.h>

#include "commands/commands.h"
#include "input/held_input.h"
#include "input/input_command.h"
#include "platform/fake/fake_virtual_pad_bus.h"
#include "platform/fake/recording_platform.h"

namespace hp::gamepad {
namespace {

// Background work runs when the test says so.
class InlineScheduler : public vigem::Scheduler {
public:
    bool runAfter(std::chrono::milliseconds, std::function<void()> work) override {
        pending.push_back(std::move(work));
        return true;
    }
    void run_all() {
        auto work = std::move(pending);
        for (auto& w : work) w();
    }
    std::vector<std::function<void()>> pending;
};

class GamepadOutputTest : public ::testing::Test {
protected:
    void install(bool sinkPresent, pad_mapping::PadMapping mapping) {
        state.platform = os;
        host::SessionEntry e;
        e.id = 1;
        e.deviceName = "Pad";
        e.controllerEnabled = true;
        state.sessions[1] = std::move(e);
        holder = std::make_shared<vigem::PadHolder>(bus, nullptr, scheduler, vigem::kUnplugGrace,
                                                    vigem::SwitchLines::LeaveToCaller);
        output = std::make_shared<GamepadOutput>(state, holder, sinkPresent, mapping, nullptr);
        state.pad = output;
        host::HostLock lock(state);
        commands::set_active_client(lock, 1);
    }
    void press(std::uint16_t buttons) {
        host::HostLock lock(state);
        input::InputCommand c;
        c.kind = static_cast<std::uint8_t>(input::InputKind::PadButtons);
        c.seq = ++seq;
        c.payload[0] = static_cast<std::uint8_t>(buttons);
        c.payload[1] = static_cast<std::uint8_t>(buttons >> 8);
        commands::execute(lock, 1, c, Clock::now());
    }
    std::vector<std::string> take() {
        auto l = os->lines();
        os->clear();
        return l;
    }

    host::HostState state;
    std::shared_ptr<fake::RecordingPlatform> os = std::make_shared<fake::RecordingPlatform>();
    std::shared_ptr<fake::FakeVirtualPadBus> bus = std::make_shared<fake::FakeVirtualPadBus>();
    std::shared_ptr<InlineScheduler> scheduler = std::make_shared<InlineScheduler>();
    std::shared_ptr<vigem::PadHolder> holder;
    std::shared_ptr<GamepadOutput> output;
    std::uint64_t seq = 0;
};

TEST_F(GamepadOutputTest, ANewMappingReappliesTheHeldPad) {
    auto shooter = pad_mapping::defaultMapping();
    shooter.useMapping = true;
    install(false, shooter);
    press(0x001);  // A: Space in the shooter preset
    EXPECT_EQ(take(), (std::vector<std::string>{"key 0x20 down"}));
    {
        host::HostLock lock(state);
        output->install(lock, pad_mapping::applyPreset(shooter, 1));  // arrows: A is Enter
    }
    EXPECT_EQ(take(), (std::vector<std::string>{"key 0x20 up", "key 0x0D down"}));
    {
        host::HostLock lock(state);
        input::release_all(lock);
    }
    EXPECT_EQ(take(), (std::vector<std::string>{"key 0x0D up"}));
}

TEST_F(GamepadOutputTest, SwitchingToTheVirtualPadLetsGoOfTheMappingsKeys) {
    auto mapping = pad_mapping::defaultMapping();
    mapping.useMapping = true;
    install(true, mapping);
    press(0x001);
    EXPECT_EQ(take(), (std::vector<std::string>{"key 0x20 down"}));
    bus->clearRequests();
    {
        host::HostLock lock(state);
        mapping.useMapping = false;
        output->install(lock, mapping);
    }
    // The key goes up at once; the held A now goes to the virtual pad, which
    // the switch (handed on after unlocking) plugs in on demand.
    EXPECT_EQ(take(), (std::vector<std::string>{"key 0x20 up"}));
    scheduler->run_all();
    press(0x003);
    bool reported = false;
    for (const auto& r : bus->requests()) reported = reported || r.code == 0x2AA808;
    EXPECT_TRUE(reported);
    EXPECT_TRUE(take().empty()) << "no keys while the virtual pad takes the pad";
}

}  // namespace
}  // namespace hp::gamepad
