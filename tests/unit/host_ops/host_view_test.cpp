// The tray's snapshot of a running host and its gamepad commands, through
// the one command surface.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "gamepad/gamepad_output.h"
#include "pad_mapping/mapping_file.h"
#include "unit/server/host_fixture.h"

namespace hp::test {
namespace {

namespace ft = frame_type;

class HostViewTest : public HostFixture {
protected:
    host_ops::HostView view() { return host_ops::host_view(state(), host_->gamepad.get()); }

    template <typename Pred>
    bool wait_for(Pred pred) {
        for (int i = 0; i < 500; ++i) {
            if (pred()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    std::string mapping_file() {
        std::ifstream in(host_->dataDir / "gamepad_mapping.json");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

TEST_F(HostViewTest, ControllingDeviceSwitchAndDevicesInStoreOrder) {
    start();
    EXPECT_FALSE(view().controllingDevice);
    EXPECT_TRUE(view().devices.empty());

    auto a = paired_client("Anna");
    auto b = paired_client("Ben");
    auto v = view();
    ASSERT_EQ(v.devices.size(), 2u);
    EXPECT_EQ(v.devices[0].deviceName, "Anna");
    EXPECT_EQ(v.devices[1].deviceName, "Ben");
    EXPECT_TRUE(v.devices[0].online && v.devices[1].online);

    ASSERT_TRUE(b->send_secure(ft::ControllerState, std::string_view("{\"enabled\":true}")));
    ASSERT_TRUE(wait_for([&] { return view().controllerOn; }));
    EXPECT_EQ(view().controllingDevice, "Ben");

    ASSERT_TRUE(b->send_secure(ft::ControllerState, std::string_view("{\"enabled\":false}")));
    ASSERT_TRUE(wait_for([&] { return !view().controllerOn; }));
    EXPECT_EQ(view().controllingDevice, "Ben");

    a->close();
    ASSERT_TRUE(wait_for([&] { return !view().devices[0].online; }));
    EXPECT_TRUE(view().devices[1].online);
}

TEST_F(HostViewTest, PresetAndOutputAreInstalledAndSaved) {
    start();
    const auto before = view().mapping;
    EXPECT_EQ(before.preset, pad_mapping::Preset::Shooter);

    const auto arrows = host_ops::apply_preset(state(), *host_->gamepad, host_->dataDir, 1);
    EXPECT_EQ(arrows.preset, pad_mapping::Preset::Arrows);
    EXPECT_EQ(arrows.useMapping, before.useMapping);
    EXPECT_EQ(view().mapping, arrows);
    EXPECT_EQ(pad_mapping::load_mapping(host_->dataDir), arrows);

    const auto mapped = host_ops::set_output(state(), *host_->gamepad, host_->dataDir, true);
    EXPECT_TRUE(mapped.useMapping);
    EXPECT_EQ(mapped.preset, pad_mapping::Preset::Arrows);
    EXPECT_EQ(host_ops::current_mapping(state(), *host_->gamepad), mapped);
    EXPECT_NE(mapping_file().find("\"keyboardMouse\""), std::string::npos);
}

TEST_F(HostViewTest, AFailedSaveLeavesTheMappingInForceAndSaysWhy) {
    start();
    const std::filesystem::path notADir = dir_ / "file";
    std::ofstream(notADir) << "x";
    auto custom = pad_mapping::applyPreset(view().mapping, 2);
    const Status saved = host_ops::install_mapping(state(), *host_->gamepad, notADir, custom);
    EXPECT_FALSE(saved);
    EXPECT_EQ(view().mapping, custom);
}

}  // namespace
}  // namespace hp::test
