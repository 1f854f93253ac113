#pragma once
// "hearthpad.exe --forget-startup": the uninstaller, before it deletes the
// program's files, removes what would start this copy of the program at
// login: the current user's Run value "Hearthpad" and the scheduled task
// "HearthpadHost", each only when it names this program. An entry of
// another copy (installed elsewhere) or of another program is left alone,
// and so is a task whose definition cannot be read. Never starts a host.
//
// The uninstaller runs elevated, so "the current user" is the account that
// elevated; the task is machine-wide and found whoever made it.
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

// schtasks.exe arguments that print the task's definition as XML.
std::vector<std::string> query_task_xml_arguments();

// The command of the task's one action, from what "schtasks /Query /XML"
// printed: the text of <Task><Actions><Exec><Command>, as UTF-8, with the
// XML entities (&amp; &lt; &gt; &quot; &apos; and character references)
// decoded, then surrounding white space, one pair of surrounding quotes
// and the white space inside them trimmed. The output may be UTF-16LE
// (with or without a byte order mark) or 8-bit text (UTF-8, with or
// without its mark; what schtasks writes into a pipe depends on the
// system), and only the command itself must be valid UTF-8. Nothing when
// the output is not such a definition, is cut short, has no Exec action
// or more than one, or the command holds markup or an unknown entity.
std::optional<std::string> task_command_from_query(std::string_view output);

// Whether two paths are the same text when ASCII letters are compared
// without case (the portable default; Windows compares every letter
// without case, which the program passes in through the options).
bool same_path_ascii_case(std::string_view a, std::string_view b);

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
    std::function<bool(std::string_view, std::string_view)> samePath;
};

ForgetStartupExit forget_startup(const ForgetStartupOptions& options);

}  // namespace hp::startup
