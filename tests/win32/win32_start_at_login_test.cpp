// Start at login against the real registry of the Wine prefix, and the real
// process runner starting schtasks.exe (a stub that records its arguments;
// Wine's own answers every /Query with 0, so task logic is tested with fakes).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/fake/recording_shell_launcher.h"
#include "platform/process_runner.h"
#include "platform/user_registry.h"
#include "stand_ins.h"
#include "startup/start_at_login.h"

namespace hp::startup {
namespace {

namespace fs = std::filesystem;

constexpr wchar_t kRun[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kExe[] = "C:\\Program Files\\Hearthpad\\app.exe";
constexpr wchar_t kCommandW[] = L"\"C:\\Program Files\\Hearthpad\\app.exe\" --background";

// The Run value's raw type and bytes as the registry keeps them.
struct RawValue {
    DWORD type = 0;
    std::vector<BYTE> bytes;
};
std::optional<RawValue> read_raw() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kRun, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return std::nullopt;
    RawValue v;
    DWORD size = 0;
    LSTATUS rc = RegQueryValueExW(key, L"Hearthpad", nullptr, &v.type, nullptr, &size);
    if (rc == ERROR_SUCCESS) {
        v.bytes.resize(size);
        rc = RegQueryValueExW(key, L"Hearthpad", nullptr, &v.type, v.bytes.data(), &size);
    }
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return std::nullopt;
    return v;
}

void write_raw(const std::wstring& data) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kRun, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, L"Hearthpad", 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                             static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

class RunValue : public ::testing::Test {
protected:
    void SetUp() override { (void)platform::make_user_registry()->delete_value(kRunKey, kRunValueName); }
    void TearDown() override { (void)platform::make_user_registry()->delete_value(kRunKey, kRunValueName); }
    StartAtLogin startup_{{platform::make_user_registry(), nullptr, nullptr, kExe}};
};

TEST_F(RunValue, RoundTripWritesRegSzWithItsNulCounted) {
    EXPECT_FALSE(startup_.start_entry_enabled());
    ASSERT_TRUE(startup_.set_start_entry(true));
    const auto raw = read_raw();
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->type, static_cast<DWORD>(REG_SZ));
    const std::wstring expected = kCommandW;
    ASSERT_EQ(raw->bytes.size(), (expected.size() + 1) * sizeof(wchar_t));
    EXPECT_EQ(std::memcmp(raw->bytes.data(), expected.c_str(), raw->bytes.size()), 0);
    EXPECT_TRUE(startup_.start_entry_enabled());

    ASSERT_TRUE(startup_.set_start_entry(false));
    EXPECT_FALSE(read_raw());
    EXPECT_FALSE(startup_.start_entry_enabled());
}

TEST_F(RunValue, DeletingAnAbsentValueSucceeds) {
    ASSERT_FALSE(read_raw());
    EXPECT_TRUE(startup_.set_start_entry(false));
}

TEST_F(RunValue, WithoutTheArgumentOrInOtherCaseReadsAsNotSetAndIsReplacedExactly) {
    for (const std::wstring& old : {std::wstring(L"\"C:\\Program Files\\Hearthpad\\app.exe\""),
                                   std::wstring(L"\"C:\\program files\\hearthpad\\APP.exe\" --background")}) {
        write_raw(old);
        EXPECT_FALSE(startup_.start_entry_enabled());
        ASSERT_TRUE(startup_.set_start_entry(true));
        EXPECT_TRUE(startup_.start_entry_enabled());
        const auto raw = read_raw();
        ASSERT_TRUE(raw);
        EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(raw->bytes.data())), kCommandW);
    }
}

TEST(ElevatedParameterText, ForAProgramUnderProgramFilesByteForByte) {
    const std::string text = elevated_parameters(create_task_arguments(launch_command(kExe)));
    EXPECT_EQ(text,
              "/Create /TN HearthpadHost /TR \"\\\"C:\\Program Files\\Hearthpad\\app.exe\\\" --background\" /SC "
              "ONLOGON /RL HIGHEST /F");
}

// Puts the stand-in where the real schtasks.exe is (the system directory)
// and points its log at a file.
class StubSchtasks : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(real_.ok()) << real_.path();
        ASSERT_TRUE(overrides_.ok());
        log_ = fs::temp_directory_path() / ("hp-schtasks-" + std::to_string(GetCurrentProcessId()) + ".log");
        fs::remove(log_);
        SetEnvironmentVariableW(L"HP_STUB_SCHTASKS_LOG", log_.wstring().c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"HP_STUB_SCHTASKS_LOG", nullptr);
        SetEnvironmentVariableW(L"HP_STUB_SCHTASKS_EXIT", nullptr);
        std::error_code ec;
        fs::remove(log_, ec);
    }
    std::vector<std::string> logged() const { return testing_win32::read_lines(log_); }
    const testing_win32::PlacedStandIn real_{testing_win32::system_directory() / "schtasks.exe"};
    const testing_win32::NativeOverride overrides_{L"schtasks.exe"};
    fs::path log_;
};

TEST_F(StubSchtasks, TheRealRunnerStartsSchtasksWithTheExactArgumentsAndHandsBackItsExitCode) {
    auto shell = std::make_shared<fake::RecordingShellLauncher>();
    StartAtLogin startup({nullptr, platform::make_process_runner(), shell, kExe});
    EXPECT_FALSE(startup.run_schtasks(query_task_arguments()));  // the stub exits 1
    SetEnvironmentVariableW(L"HP_STUB_SCHTASKS_EXIT", L"0");
    EXPECT_TRUE(startup.run_schtasks(query_task_arguments()));
    SetEnvironmentVariableW(L"HP_STUB_SCHTASKS_EXIT", L"1");
    startup.toggle_elevated_task(false);  // refused: the elevated request follows
    const std::vector<std::string> expected = {
        "/Query\t/TN\tHearthpadHost",
        "/Query\t/TN\tHearthpadHost",
        "/Create\t/TN\tHearthpadHost\t/TR\t\"C:\\Program Files\\Hearthpad\\app.exe\" --background\t/SC\tONLOGON\t"
        "/RL\tHIGHEST\t/F",
    };
    EXPECT_EQ(logged(), expected);
    ASSERT_EQ(shell->calls().size(), 1u);
    EXPECT_EQ(shell->calls()[0].program, "schtasks.exe");
    EXPECT_EQ(shell->calls()[0].parameters, elevated_parameters(create_task_arguments(startup.command())));
}

}  // namespace
}  // namespace hp::startup
