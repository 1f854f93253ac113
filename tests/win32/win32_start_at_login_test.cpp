// Start at login against the real registry of the Wine prefix, and the real
// process runner and elevated runner starting schtasks.exe (a stand-in that
// records its arguments and the task definition it was handed; Wine's own
// answers every /Query with 0, so task logic is tested with fakes).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "platform/elevation.h"
#include "platform/process_runner.h"
#include "platform/user_registry.h"
#include "platform/win32/current_user.h"
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
        copy_ = fs::temp_directory_path() / ("hp-schtasks-" + std::to_string(GetCurrentProcessId()) + ".xml");
        fs::remove(copy_);
        SetEnvironmentVariableW(L"HP_STUB_SCHTASKS_XML_COPY", copy_.wstring().c_str());
        ran_ = fs::temp_directory_path() / ("hp-schtasks-" + std::to_string(GetCurrentProcessId()) + ".ran");
        fs::remove(ran_);
        SetEnvironmentVariableW(L"HP_STUB_RAN_LOG", ran_.wstring().c_str());
    }
    void TearDown() override {
        for (const wchar_t* name : {L"HP_STUB_SCHTASKS_LOG", L"HP_STUB_SCHTASKS_EXIT", L"HP_STUB_SCHTASKS_XML_COPY",
                                    L"HP_STUB_RAN_LOG"})
            SetEnvironmentVariableW(name, nullptr);
        std::error_code ec;
        for (const fs::path& p : {log_, copy_, ran_}) fs::remove(p, ec);
    }
    // The definition as the stand-in read it, and what it says.
    std::wstring copied_definition() const {
        std::ifstream in(copy_, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (bytes.size() < 2 || bytes[0] != '\xFF' || bytes[1] != '\xFE') return {};
        std::wstring text((bytes.size() - 2) / 2, L'\0');
        std::memcpy(text.data(), bytes.data() + 2, text.size() * sizeof(wchar_t));
        return text;
    }
    std::vector<std::string> logged() const { return testing_win32::read_lines(log_); }
    std::string sid_ = platform::win32::current_user_sid().value_or("");
    const testing_win32::PlacedStandIn real_{testing_win32::system_directory() / "schtasks.exe"};
    const testing_win32::NativeOverride overrides_{L"schtasks.exe"};
    fs::path log_, copy_, ran_;
};

TEST_F(StubSchtasks, TheRealRunnerStartsSchtasksWithTheExactArgumentsAndHandsBackItsExitCode) {
    StartAtLogin startup({nullptr, platform::make_process_runner(), nullptr, kExe});
    EXPECT_FALSE(startup.run_schtasks(query_task_arguments(startup.task())));  // the stub exits 1
    SetEnvironmentVariableW(L"HP_STUB_SCHTASKS_EXIT", L"0");
    EXPECT_TRUE(startup.run_schtasks(query_task_arguments(startup.task())));
    EXPECT_EQ(logged(), std::vector<std::string>(2, "/Query\t/TN\tHearthpadHost"));
}

TEST(CurrentUser, TheSidOfTheProcessTokensUser) {
    const auto sid = platform::win32::current_user_sid();
    ASSERT_TRUE(sid);
    EXPECT_EQ(sid->rfind("S-1-5-", 0), 0u) << *sid;
}

TEST_F(StubSchtasks, TheTaskIsCreatedFromItsDefinitionFile) {
    ASSERT_FALSE(sid_.empty());
    SetEnvironmentVariableW(L"HP_STUB_SCHTASKS_EXIT", L"0");
    StartAtLogin startup({nullptr, platform::make_process_runner(), nullptr, kExe, [] { return Clock::now(); },
                          std::chrono::seconds(120), sid_, {}});
    startup.toggle_elevated_task(false);
    const auto lines = logged();
    // The user's own task, then a look for a shared-name task of the user's
    // (the stand-in prints no definition: none).
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "/Query\t/TN\tHearthpadHost\t/XML");
    const std::string prefix = "/Create\t/TN\tHearthpadHost-" + sid_ + "\t/XML\t";
    ASSERT_EQ(lines[0].rfind(prefix, 0), 0u) << lines[0];
    ASSERT_GT(lines[0].size(), prefix.size() + 3);
    EXPECT_EQ(lines[0].substr(lines[0].size() - 3), "\t/F");
    const fs::path file = fs::u8path(lines[0].substr(prefix.size(), lines[0].size() - prefix.size() - 3));
    EXPECT_FALSE(fs::exists(file)) << "the definition is removed once schtasks.exe has read it";

    const std::wstring xml = copied_definition();
    ASSERT_FALSE(xml.empty()) << "the stand-in found no UTF-16LE definition with its byte order mark";
    const std::wstring wsid(sid_.begin(), sid_.end());
    const std::wstring fields[] = {
        L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>",
        L"<LogonTrigger>\r\n      <Enabled>true</Enabled>\r\n      <UserId>" + wsid + L"</UserId>\r\n    </LogonTrigger>",
        L"<UserId>" + wsid + L"</UserId>",
        L"<LogonType>InteractiveToken</LogonType>",
        L"<RunLevel>HighestAvailable</RunLevel>",
        L"<MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>",
        L"<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>",
        L"<StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>",
        L"<ExecutionTimeLimit>PT0S</ExecutionTimeLimit>",
        L"<Priority>5</Priority>",
        L"<Command>C:\\Program Files\\Hearthpad\\app.exe</Command>",
        L"<Arguments>--background</Arguments>",
    };
    for (const std::wstring& field : fields)
        EXPECT_NE(xml.find(field), std::wstring::npos) << std::string(field.begin(), field.end());
}

// Refused directly, the same arguments go to the system's schtasks.exe
// through the consent prompt (Wine starts it without one), and the
// definition file is removed only after that run has read it.
TEST_F(StubSchtasks, ARefusedCreationRunsTheSystemsSchtasksElevatedAndWaitsForIt) {
    StartAtLogin startup({nullptr, platform::make_process_runner(), platform::make_elevated_runner(), kExe,
                          [] { return Clock::now(); }, std::chrono::seconds(120), sid_, {}});
    startup.toggle_elevated_task(false);  // the stand-in exits 1: not allowed
    const auto lines = logged();
    ASSERT_EQ(lines.size(), 2u) << "a stand-in that cannot read the definition says so in the log";
    EXPECT_EQ(lines[0], lines[1]);
    EXPECT_EQ(lines[0].rfind("/Create\t/TN\tHearthpadHost-" + sid_ + "\t/XML\t", 0), 0u) << lines[0];
    const std::string system = testing_win32::utf8_path(real_.path());
    EXPECT_EQ(testing_win32::read_lines(ran_), std::vector<std::string>(2, system));
    EXPECT_FALSE(copied_definition().empty());
}

}  // namespace
}  // namespace hp::startup
