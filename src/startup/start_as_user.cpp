#include "startup/start_as_user.h"

namespace hp::startup {

std::string program_folder(std::string_view exePath) {
    const auto slash = exePath.find_last_of("\\/");
    if (slash == std::string_view::npos) return {};
    std::string folder(exePath.substr(0, slash));
    if (folder.size() == 2 && folder[1] == ':') folder += '\\';
    return folder;
}

StartAsUserExit start_as_user(platform::ShellLauncher& shell, std::string_view exePath) {
    if (!shell.shell_present()) return StartAsUserExit::NoShell;
    const std::string folder = program_folder(exePath);
    if (exePath.empty() || folder.empty()) return StartAsUserExit::NotStarted;
    return shell.shell_execute(std::string(exePath), folder) ? StartAsUserExit::Started
                                                             : StartAsUserExit::NotStarted;
}

}  // namespace hp::startup
