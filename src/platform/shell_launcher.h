#pragma once
// Starting a program through the user's desktop shell, so that it runs as
// the shell does: as the logged-in user, with the shell's (not elevated)
// rights, whatever account and rights the asking process has. On Windows
// the shell is Explorer, reached through its desktop's IShellDispatch2.
#include <memory>
#include <optional>
#include <string>

#include "base/result.h"

namespace hp::platform {

class ShellLauncher {
public:
    virtual ~ShellLauncher() = default;
    // Whether this session has a desktop shell to ask (Windows: the shell's
    // desktop window exists; not for a service, the SYSTEM account, or a
    // session without Explorer).
    virtual bool shell_present() = 0;
    // Asks the shell to open `program` (a full path, UTF-8) with no
    // arguments and `folder` as its working folder, shown normally. Success
    // means the shell accepted the request; the program starts in the
    // shell's process tree, so nothing is known of it afterwards. Never
    // starts the program any other way.
    virtual Status shell_execute(const std::string& program, const std::string& folder) = 0;
    // The SID ("S-1-5-21-…") of the account the shell runs as: the
    // logged-in user, whom a program the shell starts runs as too (not
    // necessarily this process's account); nothing without a shell or when
    // it cannot be told.
    virtual std::optional<std::string> shell_user_sid() { return std::nullopt; }
};

// The desktop shell of the caller's session (Windows only).
std::shared_ptr<ShellLauncher> make_shell_launcher();

}  // namespace hp::platform
