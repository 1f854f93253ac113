#pragma once
// The runs of hearthpad.exe that its installer and uninstaller make. The
// mode is the first command-line argument, read before the single-instance
// mutex; these runs never start a host and show no window.
//
//   hearthpad.exe --start-as-user     the installer's last step: starts this
//       program as the logged-in user (the desktop shell's account): through
//       the user's elevated task (schtasks /Run) when it starts this
//       program, so an elevated host stays elevated, otherwise through the
//       desktop shell (without arguments), not elevated. Exit codes
//       (startup::StartAsUserExit): 0 the task ran or the shell accepted the
//       start; 2 no task and no shell to ask (winget, the SYSTEM account, a
//       session without Explorer), nothing started; 3 the shell refused or a
//       step of asking it failed, nothing started.
//   hearthpad.exe --forget-startup    the uninstaller, before it deletes the
//       files: removes the current user's Run value "Hearthpad", the user's
//       task "HearthpadHost-<SID>" and the shared-name task "HearthpadHost"
//       when they start this program, and nothing else.
//       Exit codes (startup::ForgetStartupExit): 0 done (nothing of this
//       program's left; other programs' entries and unreadable tasks left
//       alone); 1 this program's path is unknown, nothing touched; 2 an
//       entry of this program's could not be removed.
#include <string_view>

#include "startup/forget_startup.h"
#include "startup/start_as_user.h"

namespace hp::app {

enum class ProgramMode {
    Host,           // no argument, "--background", or anything else
    AllowFirewall,  // "--allow-firewall" (win32_connection_check.h)
    StartAsUser,    // "--start-as-user"
    ForgetStartup,  // "--forget-startup"
};

// The mode the first argument after the program's name asks for; later
// arguments are never read.
ProgramMode program_mode(int argc, const wchar_t* const* argv);

// Whether two paths are the same text as Windows compares file names:
// ordinal, every letter without case (CompareStringOrdinal). False when
// either is not valid UTF-8.
bool same_path_windows(std::string_view a, std::string_view b);

// Whether a task's principal (a SID or an account name) is the user with
// SID `userSid`: the SID's text, or a name the system resolves to it.
bool same_user_windows(std::string_view principal, std::string_view userSid);

// What --forget-startup works with: the current user's registry and SID,
// the system directory's schtasks.exe by full path, this program's path
// and Windows' comparison of paths.
startup::ForgetStartupOptions forget_startup_options();

// What --start-as-user works with: the desktop shell and its user's SID,
// the system directory's schtasks.exe by full path, this program's path
// and Windows' comparison of paths and accounts.
startup::StartAsUserOptions start_as_user_options();

// The two runs; each returns its exit code.
int run_start_as_user_mode();
int run_forget_startup_mode();

}  // namespace hp::app
