#pragma once
// "hearthpad.exe --start-as-user": the installer, which runs elevated
// (perhaps as another account, an administrator's typed into the consent
// prompt), starts the installed host as the logged-in user without
// elevation. Only the user's desktop shell can do that, so it is asked; the
// host is never started from here directly, which would run it elevated.
#include <string>
#include <string_view>

#include "platform/shell_launcher.h"

namespace hp::startup {

// The exit codes of the --start-as-user run, which the installer reads.
enum class StartAsUserExit : int {
    // The shell accepted the start of the program.
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

}  // namespace hp::startup
