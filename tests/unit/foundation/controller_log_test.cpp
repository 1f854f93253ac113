// The controller event log: location, line format, size bound, silence on
// failure, and the timestamp arithmetic.
#include <gtest/gtest.h>

#include <regex>

#include "main/data_dir.h"
#include "platform/system.h"
#include "scratch.h"

namespace hp {
namespace {

using test::EnvGuard;

class ControllerLog : public ::testing::Test {
protected:
    void SetUp() override {
        EnvGuard::set("LOCALAPPDATA", scratch.path().string());
        EnvGuard::set("RC_DATA_DIR", (scratch.path() / "data").string());
    }
    std::filesystem::path log_file() const {
        return scratch.path() / "Hearthpad" / "controller.log";
    }
    static std::uint64_t now_ms() { return filetime_to_unix_ms(platform::precise_filetime_now()); }

    EnvGuard env{{"LOCALAPPDATA", "RC_DATA_DIR"}};
    test::ScratchDir scratch;
};

TEST_F(ControllerLog, WritesMillisecondsSpaceTextLineFeed) {
    const std::uint64_t before = now_ms();
    log_controller_event("switch on");
    log_controller_event("plugged in (on demand)");
    const std::uint64_t after = now_ms();

    const std::string content = test::read_file(log_file());
    const std::regex line_format("([0-9]+) switch on\n([0-9]+) plugged in \\(on demand\\)\n");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(content, m, line_format)) << content;
    for (int i : {1, 2}) {
        const std::uint64_t stamp = std::stoull(m[i].str());
        EXPECT_GE(stamp, before);
        EXPECT_LE(stamp, after);
    }
    EXPECT_FALSE(std::filesystem::exists(scratch.path() / "data"))
        << "the log does not follow RC_DATA_DIR";
}

struct SizeCase {
    std::size_t existing;
    bool kept;
};

class ControllerLogSize : public ControllerLog, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(ControllerLogSize, StartsAFreshFileOnlyAboveTheBound) {
    std::filesystem::create_directories(log_file().parent_path());
    const std::string old(GetParam().existing, 'x');
    test::write_file(log_file(), old);

    log_controller_event("unplugged");

    const std::string content = test::read_file(log_file());
    const std::string old_part = GetParam().kept ? old : std::string();
    ASSERT_GT(content.size(), old_part.size());
    EXPECT_EQ(content.substr(0, old_part.size()), old_part);
    EXPECT_TRUE(
        std::regex_match(content.substr(old_part.size()), std::regex("[0-9]+ unplugged\n")));
}

INSTANTIATE_TEST_SUITE_P(Bound, ControllerLogSize,
                         ::testing::Values(SizeCase{65536, true}, SizeCase{65537, false}),
                         [](const auto& info) {
                             return "Existing" + std::to_string(info.param.existing) + "Bytes";
                         });

TEST_F(ControllerLog, CreatesMissingFolders) {
    EnvGuard::set("LOCALAPPDATA", (scratch.path() / "a" / "b").string());
    log_controller_event("switch off");
    EXPECT_TRUE(std::filesystem::is_regular_file(scratch.path() / "a" / "b" / "Hearthpad" /
                                                 "controller.log"));
}

TEST_F(ControllerLog, WithoutLocalAppDataNothingIsWritten) {
    EnvGuard::set("LOCALAPPDATA", std::nullopt);
    log_controller_event("switch on");
    EXPECT_TRUE(std::filesystem::is_empty(scratch.path()));
}

TEST_F(ControllerLog, FailuresAreSilent) {
    // LOCALAPPDATA below a regular file: the folder can never be created.
    test::write_file(scratch.path() / "file", "x");
    EnvGuard::set("LOCALAPPDATA", (scratch.path() / "file").string());
    log_controller_event("plug-in failed");
    // The log path is a folder: it cannot be opened for appending.
    EnvGuard::set("LOCALAPPDATA", scratch.path().string());
    std::filesystem::create_directories(log_file() / "sub");
    log_controller_event("plug-in failed");
    EXPECT_TRUE(std::filesystem::is_directory(log_file()));
}

struct FiletimeCase {
    std::uint64_t filetime;
    std::uint64_t unix_ms;
};

class FiletimeToUnixMs : public ::testing::TestWithParam<FiletimeCase> {};

TEST_P(FiletimeToUnixMs, Converts) {
    EXPECT_EQ(filetime_to_unix_ms(GetParam().filetime), GetParam().unix_ms);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FiletimeToUnixMs,
    ::testing::Values(
        FiletimeCase{133485408001230000ULL, 1704067200123ULL},       // 2024-01-01 00:00:00.123
        FiletimeCase{116444736000000000ULL, 0},                      // 1970-01-01
        FiletimeCase{116444735999999999ULL, 0},                      // before 1970
        FiletimeCase{0, 0}, FiletimeCase{116444736000009999ULL, 0},  // 0.9999 ms rounds down
        FiletimeCase{116444736000010000ULL, 1}, FiletimeCase{116444736019999999ULL, 1999}));

}  // namespace
}  // namespace hp
