#pragma once
// "hearthpad.exe --start-as-user": the installer, which runs elevated
// (perhaps as another account, an administrator's typed into the consent
// prompt), starts the installed host again as the logged-in user. A user
// who chose "Run with Administrator Access" has a task that starts the
// host with the highest rights: the task is run (schtasks /Run), so that an
// upgrade keeps the host elevated. Otherwise the host runs without
// elevation, which only the user's desktop shell can give it, so the shell
// is asked. The host is never started from here directly, which would run
// it with the installer's account and rights.
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/process_runner.h"
#include "platform/shell_launcher.h"
#include "startup/start_at_login.h"
#include "startup/task_query.h"

namespace hp::startup {

// The exit codes of the --start-as-user run, which the installer reads.
enum class StartAsUserExit : int {
    // The user's task ran, or the shell accepted the start of the program.
    Started = 0,
    // No desktop shell to ask (installed from a service, as SYSTEM, in a
    // session without Explorer): nothing was started.
    NoShell = 2,
    // The shell refused or a step of asking it failed (also when this
    // program's own path is unknown): nothing was started.
    NotStarted = 3,
};

// The folder of `exePath` (a Windows path): the text before its last
// backslash or slash, with the backslash kept after a drive ("C:\"), since
// "C:" alone names the drive's current folder. Empty when there is none.
std::string program_folder(std::string_view exePath);

// Asks `shell` to open `exePath` (this program, UTF-8) in its own folder,
// once, when a shell is there.
StartAsUserExit start_as_user(platform::ShellLauncher& shell, std::string_view exePath);

struct StartAsUserOptions {
    std::shared_ptr<platform::ShellLauncher> shell;
    std::shared_ptr<platform::ProcessRunner> processes;
    std::string executablePath;  // this program, UTF-8; empty when unknown
    // The logged-in user's SID (on Windows the desktop shell's account, not
    // the installer's); empty when unknown, and then no task is run.
    std::string userSid;
    // The schtasks.exe to run: on Windows the system directory's, by full
    // path.
    std::string schtasks = std::string(kSchtasks);
    std::chrono::milliseconds schtasksLimit{120000};
    // Whether a task's principal is the user (same_user_sid_text when
    // empty) and whether its command is executablePath
    // (same_path_ascii_case when empty).
    SameUser sameUser;
    SamePath samePath;
};

// Runs the user's task when it starts this program: the user's own name,
// else the shared name with the user as its principal. Otherwise, or when
// schtasks /Run fails, asks the shell as above.
StartAsUserExit start_as_user(const StartAsUserOptions& options);

}  // namespace hp::startup
