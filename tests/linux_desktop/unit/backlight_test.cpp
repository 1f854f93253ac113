// Which backlight the brightness step uses and how far a step goes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/dbus/session_actions.h"

namespace hp::platform::dbus {
namespace {

namespace fs = std::filesystem;

TEST(Backlight, StepIsATenthOfTheRangeKeptWithinIt) {
    struct Case {
        std::uint32_t current, maximum;
        bool up;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {500, 1000, true, 600},  {500, 1000, false, 400}, {950, 1000, true, 1000}, {50, 1000, false, 0},
        {3, 7, true, 4},         {0, 7, false, 0},        {7, 7, true, 7},         {1200, 1000, false, 900},
    };
    for (const auto& c : cases)
        EXPECT_EQ(stepped_brightness(c.current, c.maximum, c.up), c.expected)
            << c.current << "/" << c.maximum << (c.up ? " up" : " down");
}

class BacklightFolder : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("hp_backlight_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    void device(const std::string& name, const std::string& type, const std::string& brightness,
                const std::string& maximum) {
        fs::create_directories(dir_ / name);
        if (!type.empty()) std::ofstream(dir_ / name / "type") << type << "\n";
        if (!brightness.empty()) std::ofstream(dir_ / name / "brightness") << brightness << "\n";
        if (!maximum.empty()) std::ofstream(dir_ / name / "max_brightness") << maximum << "\n";
    }
    fs::path dir_;
};

TEST_F(BacklightFolder, FirmwareBeforePlatformBeforeRawSkippingUnreadableOnes) {
    device("acpi_video0", "firmware", "", "100");       // no brightness file
    device("amdgpu_bl0", "raw", "10", "255");
    device("intel_backlight", "platform", "4000", "96000");
    device("zero", "firmware", "0", "0");               // no range
    const auto found = find_backlight(dir_);
    ASSERT_TRUE(found) << found.error().text;
    EXPECT_EQ(*found, (Backlight{"intel_backlight", 4000, 96000}));
}

TEST_F(BacklightFolder, NoneIsAFailureWithItsReason) {
    EXPECT_FALSE(find_backlight(dir_));
    const auto missing = find_backlight(dir_ / "absent");
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.error().text.find("No display backlight"), std::string::npos);
}

}  // namespace
}  // namespace hp::platform::dbus
