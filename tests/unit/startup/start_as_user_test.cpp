// The installer's start of the host as the logged-in user: the user's
// elevated task when it starts the installed program, else the desktop
// shell asked once to open the installed program in its folder, or
// nothing happens; the exit code tells which.
#include <gtest/gtest.h>

#include "platform/fake/fake_process_runner.h"
#include "platform/fake/fake_shell_launcher.h"
#include "startup/start_as_user.h"

namespace hp::startup {
namespace {

using Launch = fake::FakeShellLauncher::Launch;

constexpr char kExe[] = "C:\\Program Files\\Hearthpad\\hearthpad.exe";

TEST(StartAsUser, WithAShellOneLaunchOfTheProgramInItsFolder) {
    fake::FakeShellLauncher shell;
    EXPECT_EQ(start_as_user(shell, kExe), StartAsUserExit::Started);
    EXPECT_EQ(shell.launches(), (std::vector<Launch>{{kExe, "C:\\Program Files\\Hearthpad"}}));
    EXPECT_EQ(static_cast<int>(StartAsUserExit::Started), 0);
}

TEST(StartAsUser, WithoutAShellNothingIsStarted) {
    fake::FakeShellLauncher shell(false);
    EXPECT_EQ(start_as_user(shell, kExe), StartAsUserExit::NoShell);
    EXPECT_TRUE(shell.launches().empty());
    EXPECT_EQ(static_cast<int>(StartAsUserExit::NoShell), 2);
}

TEST(StartAsUser, ARefusedLaunchIsNotTriedAgain) {
    fake::FakeShellLauncher shell;
    shell.answer(fail("IShellDispatch2::ShellExecute failed (0x80070005)"));
    EXPECT_EQ(start_as_user(shell, kExe), StartAsUserExit::NotStarted);
    EXPECT_EQ(shell.launches().size(), 1u);
    EXPECT_EQ(static_cast<int>(StartAsUserExit::NotStarted), 3);
}

TEST(StartAsUser, WithoutAPathWithAFolderNothingIsStarted) {
    for (const char* path : {"", "hearthpad.exe"}) {
        fake::FakeShellLauncher shell;
        EXPECT_EQ(start_as_user(shell, path), StartAsUserExit::NotStarted) << path;
        EXPECT_TRUE(shell.launches().empty()) << path;
    }
}

constexpr char kSid[] = "S-1-5-21-1004336348-1177238915-682003330-1001";
constexpr char kOtherSid[] = "S-1-5-21-1004336348-1177238915-682003330-1002";
constexpr char kOwnTask[] = "HearthpadHost-S-1-5-21-1004336348-1177238915-682003330-1001";
constexpr char kSchtasks[] = "C:\\Windows\\system32\\schtasks.exe";

// An upgrade keeps an elevated host elevated: the user's task that starts
// the installed program is run instead of the shell's start.
TEST(StartAsUser, TheUsersTaskForTheProgramRunsInsteadOfTheShell) {
    using Calls = std::vector<std::vector<std::string>>;
    const std::string ours = task_definition_xml(kExe, kSid);
    const std::string oursLowerCase = task_definition_xml("c:\\program files\\hearthpad\\HEARTHPAD.EXE", kSid);
    const std::string elsewhere = task_definition_xml("D:\\Tools\\hearthpad.exe", kSid);
    const std::string othersUser = task_definition_xml(kExe, kOtherSid);
    const platform::ProcessOutcome missing{1, "ERROR: The system cannot find the file specified.\r\n", false};
    const auto found = [](const std::string& definition) { return platform::ProcessOutcome{0, definition, false}; };
    const platform::ProcessOutcome ran{0, {}, false};
    const platform::ProcessOutcome refused{1, {}, false};
    struct Case {
        const char* what;
        std::string sid;
        std::vector<platform::ProcessOutcome> answers;
        Calls calls;
        bool shell;  // started through the shell
    };
    const Case cases[] = {
        {"the user's own task", kSid, {found(oursLowerCase), ran},
         Calls{{"/Query", "/TN", kOwnTask, "/XML"}, {"/Run", "/TN", kOwnTask}}, false},
        {"the shared name, this user's", kSid, {missing, found(ours), ran},
         Calls{{"/Query", "/TN", kOwnTask, "/XML"},
               {"/Query", "/TN", "HearthpadHost", "/XML"},
               {"/Run", "/TN", "HearthpadHost"}},
         false},
        {"the shared name, another user's", kSid, {missing, found(othersUser)},
         Calls{{"/Query", "/TN", kOwnTask, "/XML"}, {"/Query", "/TN", "HearthpadHost", "/XML"}}, true},
        {"the user's task, another copy of the program", kSid, {found(elsewhere), found(elsewhere)},
         Calls{{"/Query", "/TN", kOwnTask, "/XML"}, {"/Query", "/TN", "HearthpadHost", "/XML"}}, true},
        {"no task", kSid, {missing, missing},
         Calls{{"/Query", "/TN", kOwnTask, "/XML"}, {"/Query", "/TN", "HearthpadHost", "/XML"}}, true},
        {"the task does not run", kSid, {found(ours), refused},
         Calls{{"/Query", "/TN", kOwnTask, "/XML"}, {"/Run", "/TN", kOwnTask}}, true},
        {"the user unknown", "", {}, Calls{}, true},
    };
    for (const auto& c : cases) {
        auto shell = std::make_shared<fake::FakeShellLauncher>();
        auto runner = std::make_shared<fake::FakeProcessRunner>();
        for (const auto& a : c.answers) runner->push(a);
        StartAsUserOptions options;
        options.shell = shell;
        options.processes = runner;
        options.executablePath = kExe;
        options.userSid = c.sid;
        options.schtasks = kSchtasks;
        EXPECT_EQ(start_as_user(options), StartAsUserExit::Started) << c.what;
        Calls calls;
        for (const auto& r : runner->requests()) {
            EXPECT_EQ(r.program, kSchtasks) << c.what;
            calls.push_back(r.args);
        }
        EXPECT_EQ(calls, c.calls) << c.what;
        const std::vector<Launch> viaShell{{kExe, "C:\\Program Files\\Hearthpad"}};
        EXPECT_EQ(shell->launches(), c.shell ? viaShell : std::vector<Launch>()) << c.what;
    }
}

TEST(StartAsUser, WithoutAShellTheUsersTaskStillRuns) {
    auto shell = std::make_shared<fake::FakeShellLauncher>(false);
    auto runner = std::make_shared<fake::FakeProcessRunner>();
    runner->push(platform::ProcessOutcome{0, task_definition_xml(kExe, kSid), false});
    runner->push(platform::ProcessOutcome{0, {}, false});
    StartAsUserOptions options;
    options.shell = shell;
    options.processes = runner;
    options.executablePath = kExe;
    options.userSid = kSid;
    EXPECT_EQ(start_as_user(options), StartAsUserExit::Started);
    EXPECT_EQ(runner->requests().size(), 2u);
    // And with neither, nothing is started.
    runner = std::make_shared<fake::FakeProcessRunner>();
    options.processes = runner;
    EXPECT_EQ(start_as_user(options), StartAsUserExit::NoShell);
    EXPECT_TRUE(shell->launches().empty());
}

TEST(ProgramFolder, TheTextBeforeTheLastSeparatorWithADrivesRootKept) {
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\Program Files\\Hearthpad\\hearthpad.exe", "C:\\Program Files\\Hearthpad"},
        {"C:\\hearthpad.exe", "C:\\"},
        {"D:/Tools/hearthpad.exe", "D:/Tools"},
        {"\\\\server\\share\\hearthpad.exe", "\\\\server\\share"},
        {"hearthpad.exe", ""},
        {"", ""},
    };
    for (const auto& [path, folder] : cases) EXPECT_EQ(program_folder(path), folder) << path;
}

}  // namespace
}  // namespace hp::startup
