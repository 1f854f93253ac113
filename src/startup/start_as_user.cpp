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

namespace {

// The name of the user's task that starts this program, if there is one.
std::optional<std::string> users_task_for_program(const StartAsUserOptions& options) {
    if (!options.processes || options.userSid.empty() || options.executablePath.empty()) return std::nullopt;
    const auto startsThisProgram = [&options](const std::string& definition) {
        return task_starts_program(definition, options.executablePath, options.samePath);
    };
    const std::string own = task_name(options.userSid);
    if (const auto definition =
            query_task_definition(*options.processes, options.schtasks, own, options.schtasksLimit);
        definition && startsThisProgram(*definition))
        return own;
    // Earlier versions' name, shared by all users: only the user's own.
    const auto definition =
        query_task_definition(*options.processes, options.schtasks, kSharedTaskName, options.schtasksLimit);
    if (!definition || !startsThisProgram(*definition) ||
        !task_runs_as_user(*definition, options.userSid, options.sameUser))
        return std::nullopt;
    return std::string(kSharedTaskName);
}

}  // namespace

StartAsUserExit start_as_user(const StartAsUserOptions& options) {
    if (const auto task = users_task_for_program(options)) {
        platform::ProcessRequest request;
        request.program = options.schtasks;
        request.args = run_task_arguments(*task);
        request.timeLimit = options.schtasksLimit;
        const auto ran = options.processes->run(request);
        if (ran && ran->exitCode == 0) return StartAsUserExit::Started;
    }
    if (!options.shell) return StartAsUserExit::NoShell;
    return start_as_user(*options.shell, options.executablePath);
}

}  // namespace hp::startup
