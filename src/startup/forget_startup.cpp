#include "startup/forget_startup.h"

#include <string>

namespace hp::startup {

namespace {

// The Run value, when it holds exactly the command this program writes.
void forget_run_value(const ForgetStartupOptions& options, bool& remains) {
    if (!options.registry) return;
    const auto units = options.registry->read_units(kRunKey, kRunValueName, kRunValueBufferBytes);
    if (!units || !run_value_matches(*units, launch_command(options.executablePath))) return;
    if (!options.registry->delete_value(kRunKey, kRunValueName)) remains = true;
}

// The task `name`, when its definition can be read and its command is
// this program.
void forget_task(const ForgetStartupOptions& options, std::string_view name, bool& remains) {
    const auto definition =
        query_task_definition(*options.processes, options.schtasks, name, options.schtasksLimit);
    // No task, none we can read, or another program's.
    if (!definition || !task_starts_program(*definition, options.executablePath, options.samePath)) return;
    platform::ProcessRequest request;
    request.program = options.schtasks;
    request.args = delete_task_arguments(name);
    request.timeLimit = options.schtasksLimit;
    const auto deleted = options.processes->run(request);
    if (!deleted || deleted->exitCode != 0) remains = true;
}

}  // namespace

ForgetStartupExit forget_startup(const ForgetStartupOptions& options) {
    if (options.executablePath.empty()) return ForgetStartupExit::UnknownProgram;
    bool remains = false;
    forget_run_value(options, remains);
    if (options.processes) {
        // The user's own task, then the one every user shared before (any
        // user's: once this program is gone it could start nothing).
        if (!options.userSid.empty()) forget_task(options, task_name(options.userSid), remains);
        forget_task(options, kSharedTaskName, remains);
    }
    return remains ? ForgetStartupExit::EntryRemains : ForgetStartupExit::Done;
}

}  // namespace hp::startup
