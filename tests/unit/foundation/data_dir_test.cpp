// Where the data directory is, and the temporary sibling of a file.
#include "main/data_dir.h"

#include <gtest/gtest.h>

#include "scratch.h"

namespace hp {
namespace {

using test::EnvGuard;

struct DataDirCase {
    const char* name;
    std::optional<std::string> rc_data_dir;
    std::optional<std::string> appdata;
    std::optional<std::string> home;
    std::filesystem::path expected;
};

class DataDir : public ::testing::TestWithParam<DataDirCase> {
protected:
    EnvGuard env{{"RC_DATA_DIR", "APPDATA", "HOME"}};
};

TEST_P(DataDir, Resolves) {
    const DataDirCase& c = GetParam();
    EnvGuard::set("RC_DATA_DIR", c.rc_data_dir);
    EnvGuard::set("APPDATA", c.appdata);
    EnvGuard::set("HOME", c.home);
    EXPECT_EQ(data_dir(), c.expected);
}

const std::string kNotUtf8 = "/bad\xff";

INSTANTIATE_TEST_SUITE_P(
    Table, DataDir,
    ::testing::Values(
        DataDirCase{"RcDataDirWins", "/x", "/a", "/h", "/x"},
        DataDirCase{"RcDataDirUsedAsItIs", "relative/dir", std::nullopt, "/h", "relative/dir"},
        DataDirCase{"RcDataDirNonAscii", "/d/\xc3\xa9t\xc3\xa9", std::nullopt, std::nullopt,
                    std::filesystem::path(u8"/d/\u00e9t\u00e9")},
        DataDirCase{"AppData", std::nullopt, "/a", "/h", "/a/Hearthpad"},
        DataDirCase{"Home", std::nullopt, std::nullopt, "/h", "/h/.config/Hearthpad"},
        DataDirCase{"NoneSet", std::nullopt, std::nullopt, std::nullopt, "./.config/Hearthpad"},
        DataDirCase{"RcDataDirNotUnicodeIsSkipped", kNotUtf8, "/a", "/h", "/a/Hearthpad"},
        DataDirCase{"AppDataNotUnicodeIsSkipped", std::nullopt, kNotUtf8, "/h",
                    "/h/.config/Hearthpad"},
        DataDirCase{"HomeNotUnicodeIsSkipped", std::nullopt, std::nullopt, kNotUtf8,
                    "./.config/Hearthpad"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DataDirPure, CreatesNothing) {
    EnvGuard env{{"RC_DATA_DIR", "APPDATA", "HOME"}};
    test::ScratchDir scratch;
    EnvGuard::set("RC_DATA_DIR", std::nullopt);
    EnvGuard::set("APPDATA", std::nullopt);
    EnvGuard::set("HOME", scratch.path().string());
    EXPECT_EQ(data_dir(), scratch.path() / ".config" / "Hearthpad");
    EXPECT_TRUE(std::filesystem::is_empty(scratch.path()));
}

struct TmpCase {
    std::filesystem::path target;
    std::filesystem::path expected;
};

class TmpSibling : public ::testing::TestWithParam<TmpCase> {};

TEST_P(TmpSibling, ReplacesTheExtension) {
    EXPECT_EQ(tmp_sibling(GetParam().target), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TmpSibling,
    ::testing::Values(TmpCase{"/d/host_identity.bin", "/d/host_identity.tmp"},
                      TmpCase{"/d/paired_devices.json", "/d/paired_devices.tmp"},
                      TmpCase{"/d/gamepad_mapping.json", "/d/gamepad_mapping.tmp"},
                      TmpCase{"/d/update_check.txt", "/d/update_check.tmp"},
                      TmpCase{"/d/startup_prompted", "/d/startup_prompted.tmp"}));

}  // namespace
}  // namespace hp
