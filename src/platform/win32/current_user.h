#pragma once
// The account this process runs as, and accounts named in other ways.
#include <optional>
#include <string>
#include <string_view>

namespace hp::platform::win32 {

// The SID of the process token's user in its string form ("S-1-5-21-…"),
// as UTF-8; nothing when the token cannot be read.
std::optional<std::string> current_user_sid();

// The same for another process (a HANDLE with PROCESS_QUERY_LIMITED_
// INFORMATION access).
std::optional<std::string> process_user_sid(void* process);

// The SID of an account named "DOMAIN\name" or "name" (as Task Scheduler
// may keep a task's principal), in string form; nothing when the system
// knows no such account.
std::optional<std::string> account_sid(std::string_view name);

}  // namespace hp::platform::win32
