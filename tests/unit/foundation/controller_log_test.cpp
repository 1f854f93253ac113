// The controller event log: location, line format, size bound, silence on
// failure, and the timestamp arithmetic.
#include <gtest/gtest.h>

#include <regex>

#include "platform/fake/fake_system.h"
#include "store/data_dir.h"
#include "scratch.h"

namespace hp::store {
namespace {

class ControllerLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        system->set_env("LOCALAPPDATA", scratch.path().string());
        system->set_env("RC_DATA_DIR", (scratch.path() / "data").string());
    }
    std::filesystem::path log_file() const {
        return scratch.path() / "Hearthpad" / "controller.log";
    }
    void log(std::string_view text) { ControllerLog::for_system(system).write(text); }

    test::ScratchDir scratch;
    std::shared_ptr<fake::FakeSystem> system = std::make_shared<fake::FakeSystem>();
};

TEST_F(ControllerLogTest, WritesMillisecondsSpaceTextLineFeed) {
    // 2024-01-01 00:00:00.123 UTC
    system->filetime = 133485408001230000ULL;
    log("switch on");
    system->filetime = 133485408001240000ULL;
    log("plugged in (on demand)");

    EXPECT_EQ(test::read_file(log_file()),
              "1704067200123 switch on\n1704067200124 plugged in (on demand)\n");
    EXPECT_FALSE(std::filesystem::exists(scratch.path() / "data"))
        << "the log does not follow RC_DATA_DIR";
}

TEST_F(ControllerLogTest, ALineKeepsTheTimeItWasMadeAt) {
    const ControllerLog controller_log = ControllerLog::for_system(system);
    const LogLine line = controller_log.line("switch off");
    system->filetime = system->filetime + 50000000;  // five seconds later
    controller_log.write(line);
    EXPECT_EQ(test::read_file(log_file()), "1704067200123 switch off\n");
}

struct SizeCase {
    std::size_t existing;
    bool kept;
};

class ControllerLogSize : public ControllerLogTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(ControllerLogSize, StartsAFreshFileOnlyAboveTheBound) {
    std::filesystem::create_directories(log_file().parent_path());
    const std::string old(GetParam().existing, 'x');
    test::write_file(log_file(), old);

    log("unplugged");

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

TEST_F(ControllerLogTest, CreatesMissingFolders) {
    system->set_env("LOCALAPPDATA", (scratch.path() / "a" / "b").string());
    log("switch off");
    EXPECT_TRUE(std::filesystem::is_regular_file(scratch.path() / "a" / "b" / "Hearthpad" /
                                                 "controller.log"));
}

TEST_F(ControllerLogTest, WithoutLocalAppDataNothingIsWritten) {
    system->set_env("LOCALAPPDATA", std::nullopt);
    log("switch on");
    EXPECT_TRUE(std::filesystem::is_empty(scratch.path()));
}

TEST_F(ControllerLogTest, FailuresAreSilent) {
    // LOCALAPPDATA below a regular file: the folder can never be created.
    test::write_file(scratch.path() / "file", "x");
    system->set_env("LOCALAPPDATA", (scratch.path() / "file").string());
    log("plug-in failed");
    // The log path is a folder: it cannot be opened for appending.
    system->set_env("LOCALAPPDATA", scratch.path().string());
    std::filesystem::create_directories(log_file() / "sub");
    log("plug-in failed");
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
}  // namespace hp::store
