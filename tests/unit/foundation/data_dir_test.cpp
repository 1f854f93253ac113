// Where the data directory is.
#include "store/data_dir.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_system.h"
#include "scratch.h"

namespace hp::store {
namespace {

struct DataDirCase {
    const char* name;
    std::optional<std::string> rc_data_dir;
    std::optional<std::string> appdata;
    std::optional<std::string> home;
    std::filesystem::path expected;
};

class DataDir : public ::testing::TestWithParam<DataDirCase> {};

TEST_P(DataDir, Resolves) {
    const DataDirCase& c = GetParam();
    fake::FakeSystem system;
    system.set_env("RC_DATA_DIR", c.rc_data_dir);
    system.set_env("APPDATA", c.appdata);
    system.set_env("HOME", c.home);
    EXPECT_EQ(data_dir(system), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DataDir,
    ::testing::Values(
        DataDirCase{"RcDataDirWins", "/x", "/a", "/h", "/x"},
        DataDirCase{"RcDataDirUsedAsItIs", "relative/dir", std::nullopt, "/h", "relative/dir"},
        DataDirCase{"RcDataDirNonAscii", "/d/\xc3\xa9t\xc3\xa9", std::nullopt, std::nullopt,
                    std::filesystem::path(u8"/d/\u00e9t\u00e9")},
        DataDirCase{"AppData", std::nullopt, "/a", "/h", "/a/Hearthpad"},
        DataDirCase{"Home", std::nullopt, std::nullopt, "/h", "/h/.config/Hearthpad"},
        DataDirCase{"NoneSet", std::nullopt, std::nullopt, std::nullopt, "./.config/Hearthpad"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DataDirPure, CreatesNothing) {
    test::ScratchDir scratch;
    fake::FakeSystem system;
    system.set_env("HOME", scratch.path().string());
    EXPECT_EQ(data_dir(system), scratch.path() / ".config" / "Hearthpad");
    EXPECT_TRUE(std::filesystem::is_empty(scratch.path()));
}

}  // namespace
}  // namespace hp::store
