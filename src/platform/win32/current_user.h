#pragma once
// The account this process runs as.
#include <optional>
#include <string>

namespace hp::platform::win32 {

// The SID of the process token's user in its string form ("S-1-5-21-…"),
// as UTF-8; nothing when the token cannot be read.
std::optional<std::string> current_user_sid();

}  // namespace hp::platform::win32
