// The installer's start of the host as the logged-in user: the desktop
// shell is asked once to open the installed program in its folder, or
// nothing happens; the exit code tells which.
#include <gtest/gtest.h>

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
