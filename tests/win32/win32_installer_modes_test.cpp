// The installer's runs of hearthpad.exe under Wine: which argument picks
// which run, Windows' comparison of paths, --forget-startup against the
// prefix's registry and a schtasks.exe stand-in that answers /Query /XML as
// a real task would, and the desktop shell's start of a program through
// Explorer's Shell object (Wine's explorer.exe serves it).
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/win32_installer_modes.h"
#include "base/utf8.h"
#include "platform/shell_launcher.h"
#include "platform/user_registry.h"
#include "platform/win32/text.h"
#include "stand_ins.h"
#include "startup/start_as_user.h"

namespace hp::app {
namespace {

namespace fs = std::filesystem;
using namespace testing_win32;

TEST(ProgramMode, OnlyTheFirstArgumentCounts) {
    struct Case {
        std::vector<const wchar_t*> argv;
        ProgramMode mode;
    };
    const Case cases[] = {
        {{L"hearthpad.exe"}, ProgramMode::Host},
        {{L"hearthpad.exe", L"--background"}, ProgramMode::Host},
        {{L"hearthpad.exe", L"--allow-firewall"}, ProgramMode::AllowFirewall},
        {{L"hearthpad.exe", L"--start-as-user"}, ProgramMode::StartAsUser},
        {{L"hearthpad.exe", L"--forget-startup"}, ProgramMode::ForgetStartup},
        {{L"hearthpad.exe", L"--forget-startup", L"--start-as-user"}, ProgramMode::ForgetStartup},
        {{L"hearthpad.exe", L"--background", L"--forget-startup"}, ProgramMode::Host},
        {{L"hearthpad.exe", L"--Start-As-User"}, ProgramMode::Host},
    };
    for (const Case& c : cases)
        EXPECT_EQ(program_mode(static_cast<int>(c.argv.size()), c.argv.data()), c.mode) << c.argv.size();
}

TEST(SamePathWindows, EveryLetterWithoutCaseNothingElse) {
    const struct {
        const char* a;
        const char* b;
        bool same;
    } cases[] = {
        {"C:\\Program Files\\Hearthpad\\hearthpad.exe", "c:\\PROGRAM FILES\\hearthpad\\HEARTHPAD.EXE", true},
        {"C:\\\xC3\x89t\xC3\xA9\\app.exe", "C:\\\xC3\xA9T\xC3\x89\\APP.exe", true},  // Été, éTÉ
        {"C:\\App.exe", "C:\\App.exe ", false},
        {"C:\\App.exe", "C:/App.exe", false},
        {"C:\\App.exe", "C:\\\xFF.exe", false},  // not UTF-8
    };
    for (const auto& c : cases) EXPECT_EQ(same_path_windows(c.a, c.b), c.same) << c.a << " / " << c.b;
}

// The stand-in takes the system's schtasks.exe's place; a definition naming
// the running program (this test program, in another letter case) is what
// it prints for /Query /XML.
class ForgetStartupRun : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(standIn_.ok()) << standIn_.path();
        ASSERT_TRUE(override_.ok());
        const std::string tag = std::to_string(GetCurrentProcessId());
        log_ = fs::temp_directory_path() / ("hp-forget-" + tag + ".log");
        query_ = fs::temp_directory_path() / ("hp-forget-" + tag + ".xml");
        fs::remove(log_);
        registry_->delete_value(startup::kRunKey, startup::kRunValueName);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove(log_, ec);
        fs::remove(query_, ec);
        registry_->delete_value(startup::kRunKey, startup::kRunValueName);
    }
    void answer_query_with(const Bytes& definition) {
        std::ofstream(query_, std::ios::binary)
            .write(reinterpret_cast<const char*>(definition.data()), static_cast<std::streamsize>(definition.size()));
    }
    std::string own_path_other_case() const {
        std::string path = own_;
        for (char& c : path)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        return path;
    }
    // "HearthpadHost-<SID>" of the account the test runs as.
    static std::string own_task() {
        const std::string sid = forget_startup_options().userSid;
        EXPECT_TRUE(sid.starts_with("S-1-5-")) << sid;
        return startup::task_name(sid);
    }
    std::shared_ptr<platform::UserRegistry> registry_ = platform::make_user_registry();
    const std::string own_ = forget_startup_options().executablePath;
    const PlacedStandIn standIn_{system_directory() / "schtasks.exe"};
    const NativeOverride override_{L"schtasks.exe"};
    fs::path log_, query_;
};

TEST_F(ForgetStartupRun, OurRunValueAndOurTaskAreRemoved) {
    ASSERT_FALSE(own_.empty());
    ASSERT_TRUE(registry_->write_string(startup::kRunKey, startup::kRunValueName,
                                        utf8_to_utf16(startup::launch_command(own_))));
    answer_query_with(startup::task_definition_file(own_path_other_case(), ""));
    const ScopedEnv log(L"HP_STUB_SCHTASKS_LOG", log_.wstring()), query(L"HP_STUB_SCHTASKS_QUERY_FILE", query_.wstring()),
        exit(L"HP_STUB_SCHTASKS_EXIT", L"0");

    EXPECT_EQ(forget_startup_options().schtasks, utf8_path(standIn_.path())) << "by its full path";
    EXPECT_EQ(run_forget_startup_mode(), 0);
    EXPECT_FALSE(registry_->read_units(startup::kRunKey, startup::kRunValueName, startup::kRunValueBufferBytes));
    // The user's own task, then the shared name: the stand-in prints the
    // same definition for both.
    const std::string own = own_task();
    EXPECT_EQ(read_lines(log_), (std::vector<std::string>{
                                    "/Query\t/TN\t" + own + "\t/XML",
                                    "/Delete\t/TN\t" + own + "\t/F",
                                    "/Query\t/TN\tHearthpadHost\t/XML",
                                    "/Delete\t/TN\tHearthpadHost\t/F",
                                }));
}

TEST_F(ForgetStartupRun, AnotherProgramsEntriesAndAMissingTaskAreLeftAlone) {
    const std::string other = "\"D:\\Hearthpad\\hearthpad.exe\" --background";
    ASSERT_TRUE(registry_->write_string(startup::kRunKey, startup::kRunValueName, utf8_to_utf16(other)));
    const ScopedEnv log(L"HP_STUB_SCHTASKS_LOG", log_.wstring());
    {
        // Another copy's task.
        answer_query_with(startup::task_definition_file("D:\\Hearthpad\\hearthpad.exe", ""));
        const ScopedEnv query(L"HP_STUB_SCHTASKS_QUERY_FILE", query_.wstring()), exit(L"HP_STUB_SCHTASKS_EXIT", L"0");
        EXPECT_EQ(run_forget_startup_mode(), 0);
    }
    // No task: schtasks prints nothing on standard output and exits 1.
    EXPECT_EQ(run_forget_startup_mode(), 0);

    const auto kept = registry_->read_units(startup::kRunKey, startup::kRunValueName, startup::kRunValueBufferBytes);
    ASSERT_TRUE(kept);
    EXPECT_EQ(utf16_to_utf8(*kept), other + '\0');
    const std::vector<std::string> queries{"/Query\t/TN\t" + own_task() + "\t/XML",
                                           "/Query\t/TN\tHearthpadHost\t/XML"};
    std::vector<std::string> twice = queries;
    twice.insert(twice.end(), queries.begin(), queries.end());
    EXPECT_EQ(read_lines(log_), twice);
}

// Wine's desktop window is never made the shell window, so Wine has no
// shell to ask: the run starts nothing (it would start this test program).
TEST(StartAsUserRun, WithoutAShellWindowNothingIsStarted) {
    if (GetShellWindow()) GTEST_SKIP() << "this system has a shell window";
    EXPECT_EQ(run_start_as_user_mode(), static_cast<int>(startup::StartAsUserExit::NoShell));
}

// The chain itself works under Wine: Explorer's Shell object starts the
// program, with the folder it was given, and no arguments. The program
// reports beside itself, since it runs with Explorer's environment.
TEST(ShellLauncher, ExplorersShellObjectStartsTheProgramInItsFolder) {
    const fs::path dir = fs::temp_directory_path() / ("hp-shell-" + std::to_string(GetCurrentProcessId()));
    fs::create_directories(dir);
    const fs::path program = dir / "started.exe";
    const fs::path report = dir / "started.exe.ran";
    fs::copy_file(fs::path(HP_STUB_DIR) / "shell_started.exe", program, fs::copy_options::overwrite_existing);

    const auto done = platform::make_shell_launcher()->shell_execute(utf8_path(program), utf8_path(dir));
    ASSERT_TRUE(done) << done.error().text;
    // Explorer starts it on its own time; the wait is only a bound.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (read_lines(report).empty() && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(read_lines(report), std::vector<std::string>{"0\t" + utf8_path(dir)});
    std::error_code ec;
    fs::remove_all(dir, ec);
}

}  // namespace
}  // namespace hp::app
