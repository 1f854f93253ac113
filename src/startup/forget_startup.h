#pragma once
// "hearthpad.exe --forget-startup": the uninstaller, before it deletes the
// program's files, removes what would start this copy of the program at
// login: the current user's Run value "Hearthpad", the current user's own
// scheduled task ("HearthpadHost-<SID>") and the task every user shared
// before tasks were per user ("HearthpadHost"), each only when it names
// this program. An entry of another copy (installed elsewhere) or of
// another program is left alone, and so is a task whose definition cannot
// be read. Never starts a host.
//
// The uninstaller runs elevated, so "the current user" is the account that
// elevated; the shared task is found whoever made it.
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process_runner.h"
#include "platform/user_registry.h"
#include "startup/start_at_login.h"
#include "startup/task_query.h"

namespace hp::startup {

// The exit codes of the --forget-startup run. The uninstaller goes on
// whatever the code; a non-zero one is worth a line in its log.
enum class ForgetStartupExit : int {
    // Done: every entry that named this program is gone (or there was
    // none); entries of other programs, and a task that could not be read,
    // were left alone.
    Done = 0,
    // This program's own path is unknown: nothing was touched.
    UnknownProgram = 1,
    // An entry that names this program could not be removed (the Run value
    // could not be deleted, or schtasks /Delete failed).
    EntryRemains = 2,
};

struct ForgetStartupOptions {
    std::shared_ptr<platform::UserRegistry> registry;
    std::shared_ptr<platform::ProcessRunner> processes;
    std::string executablePath;  // this program, UTF-8; empty when unknown
    // The schtasks.exe to run: on Windows the system directory's, by full
    // path.
    std::string schtasks = std::string(kSchtasks);
    std::chrono::milliseconds schtasksLimit{120000};
    // Whether the task's command names the same file as executablePath;
    // same_path_ascii_case when empty.
    SamePath samePath;
    // The current user's SID: names the user's own task; without it only
    // the shared name is looked at.
    std::string userSid;
};

ForgetStartupExit forget_startup(const ForgetStartupOptions& options);

}  // namespace hp::startup
