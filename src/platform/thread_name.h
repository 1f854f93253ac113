#pragma once
// A name for the calling thread, as debuggers and process viewers show it.
#include <string_view>

namespace hp::platform {

// Best effort: SetThreadDescription on Windows (where the system has it),
// pthread_setname_np on Linux (cut to 15 bytes). Failures are ignored.
void name_this_thread(std::string_view name);

}  // namespace hp::platform
