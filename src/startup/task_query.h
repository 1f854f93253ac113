#pragma once
// Reading the elevated task back: what "schtasks /Query /TN <name> /XML"
// prints is the task's definition, whose action names the program it
// starts and whose principal names the account it runs as. The start-up
// code decides from these whether a task is this user's and this
// program's before it runs, replaces or deletes it.
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process_runner.h"

namespace hp::startup {

// schtasks.exe arguments that print the task's definition as XML.
std::vector<std::string> query_task_xml_arguments(std::string_view taskName);

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

// The account of the task's one principal, read the same way from
// <Task><Principals><Principal><UserId> with surrounding white space
// trimmed: a SID ("S-1-5-21-…") or an account name ("PC\name"), as the
// scheduler keeps it. Nothing when there is no such principal, more than
// one, or no user in it (a group's task).
std::optional<std::string> task_user_from_query(std::string_view output);

// Whether two texts are equal when ASCII letters are compared without case.
bool same_ascii_case(std::string_view a, std::string_view b);

// Whether two paths are the same text when ASCII letters are compared
// without case (the portable default; Windows compares every letter
// without case, which the program passes in through the options).
bool same_path_ascii_case(std::string_view a, std::string_view b);

// Whether a task's principal (a SID or an account name) is the user with
// the SID given second.
using SameUser = std::function<bool(std::string_view principal, std::string_view userSid)>;

// The portable rule: the principal is that SID's text, ASCII letters
// compared without case. Windows also resolves an account name to its SID
// (which the program passes in through the options).
bool same_user_sid_text(std::string_view principal, std::string_view userSid);

// Whether two paths name the same program.
using SamePath = std::function<bool(std::string_view, std::string_view)>;

// Whether the task's definition starts `executablePath` (by `samePath`,
// same_path_ascii_case when empty).
bool task_starts_program(std::string_view definition, std::string_view executablePath, const SamePath& samePath);

// Whether the task's definition runs as the user with `userSid` (by
// `sameUser`, same_user_sid_text when empty).
bool task_runs_as_user(std::string_view definition, std::string_view userSid, const SameUser& sameUser);

// The definition "schtasks /Query /TN <taskName> /XML" prints, when it ends
// with exit code 0 and its output was not cut short; nothing for a missing
// task, one this account may not read, or schtasks.exe not starting.
std::optional<std::string> query_task_definition(platform::ProcessRunner& processes, const std::string& schtasks,
                                                 std::string_view taskName, std::chrono::milliseconds limit);

}  // namespace hp::startup
