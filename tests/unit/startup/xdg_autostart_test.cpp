// The Linux start entry: where it lives, what it holds, when it counts as
// set, and its atomic write and removal in a scratch folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "startup/xdg_autostart.h"

namespace hp::startup {
namespace {

namespace fs = std::filesystem;

EnvReader env_of(std::map<std::string, std::string> vars) {
    return [vars](const char* name) -> std::optional<std::string> {
        const auto it = vars.find(name);
        if (it == vars.end()) return std::nullopt;
        return it->second;
    };
}

TEST(XdgAutostart, FileFollowsXdgConfigHomeThenHome) {
    struct Case {
        std::map<std::string, std::string> env;
        std::optional<fs::path> file;
    };
    const Case cases[] = {
        {{{"XDG_CONFIG_HOME", "/cfg"}, {"HOME", "/home/u"}}, fs::path("/cfg/autostart/hearthpad.desktop")},
        {{{"HOME", "/home/u"}}, fs::path("/home/u/.config/autostart/hearthpad.desktop")},
        {{{"XDG_CONFIG_HOME", ""}, {"HOME", "/home/u"}}, fs::path("/home/u/.config/autostart/hearthpad.desktop")},
        {{{"XDG_CONFIG_HOME", "relative"}, {"HOME", "/home/u"}},
         fs::path("/home/u/.config/autostart/hearthpad.desktop")},
        {{{"HOME", "relative"}}, std::nullopt},
        {{}, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(autostart_file(env_of(c.env)), c.file);
}

TEST(XdgAutostart, ExecQuotesThePathForTheDesktopEntryRules) {
    EXPECT_EQ(autostart_exec("/usr/bin/hearthpad"), "\"/usr/bin/hearthpad\" --background");
    EXPECT_EQ(autostart_exec("/opt/My Apps/hearthpad"), "\"/opt/My Apps/hearthpad\" --background");
    // " ` $ \ are backslash-escaped inside the quotes; the backslashes are
    // then doubled for the string value; % becomes %%.
    EXPECT_EQ(autostart_exec("/a\"b`c$d\\e%f"), "\"/a\\\\\"b\\\\`c\\\\$d\\\\\\\\e%%f\" --background");
}

TEST(XdgAutostart, OnlyAnActiveEntryForExactlyThisProgramCounts) {
    const std::string exe = "/usr/bin/hearthpad";
    const std::string ours = autostart_entry(exe);
    struct Case {
        std::string content;
        bool matches;
    };
    const Case cases[] = {
        {ours, true},
        {"[Desktop Entry]\r\nExec=\"/usr/bin/hearthpad\" --background\r\n", true},
        {"[Desktop Entry]\nExec=\"/usr/bin/hearthpad\"\n", false},                       // no argument
        {"[Desktop Entry]\nExec=\"/usr/local/bin/hearthpad\" --background\n", false},   // another copy
        {"[Desktop Entry]\nExec=/usr/bin/hearthpad --background\n", false},             // unquoted
        {ours + "Hidden=true\n", false},
        {"[Desktop Entry]\nX-GNOME-Autostart-enabled=false\nExec=\"/usr/bin/hearthpad\" --background\n", false},
        {"[Other]\nExec=\"/usr/bin/hearthpad\" --background\n", false},
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(autostart_entry_matches(c.content, exe), c.matches) << c.content;
}

class XdgAutostartFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("hp_autostart_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code e;
        fs::remove_all(dir_, e);
    }
    fs::path dir_;
};

TEST_F(XdgAutostartFiles, EnableCreatesTheFolderAndDisableRemovesTheEntry) {
    const fs::path file = dir_ / "config" / "autostart" / "hearthpad.desktop";
    const std::string exe = "/opt/hearth pad/hearthpad";
    EXPECT_FALSE(autostart_enabled(file, exe));
    ASSERT_TRUE(set_autostart(file, exe, true));
    EXPECT_TRUE(autostart_enabled(file, exe));
    EXPECT_FALSE(autostart_enabled(file, "/usr/bin/hearthpad"));
    EXPECT_FALSE(fs::exists(file.parent_path() / "hearthpad.tmp"));
    ASSERT_TRUE(set_autostart(file, exe, false));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_TRUE(set_autostart(file, exe, false));  // already gone
}

TEST_F(XdgAutostartFiles, AnotherProgramsEntryIsReplacedWhole) {
    const fs::path file = dir_ / "hearthpad.desktop";
    std::ofstream(file) << "[Desktop Entry]\nExec=/somewhere/else --background\nHidden=true\nExtra=keep?\n";
    ASSERT_TRUE(set_autostart(file, "/usr/bin/hearthpad", true));
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), autostart_entry("/usr/bin/hearthpad"));
}

// A plain file where the folder should be: the write fails with a text and
// leaves the file as it was.
TEST_F(XdgAutostartFiles, AFolderThatCannotBeMadeFailsAndChangesNothing) {
    std::ofstream(dir_ / "autostart") << "not a folder";
    const fs::path file = dir_ / "autostart" / "hearthpad.desktop";
    const auto result = set_autostart(file, "/usr/bin/hearthpad", true);
    ASSERT_FALSE(result);
    EXPECT_FALSE(result.error().text.empty());
    EXPECT_FALSE(autostart_enabled(file, "/usr/bin/hearthpad"));
    EXPECT_TRUE(fs::is_regular_file(dir_ / "autostart"));
}

}  // namespace
}  // namespace hp::startup
