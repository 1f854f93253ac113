#pragma once
// Small operating-system queries used by the portable core. Implemented in
// platform/win32 and platform/posix.
#include <cstdint>
#include <optional>
#include <string>

namespace hp::platform {

// The variable's value when it is set and valid Unicode (returned as UTF-8).
std::optional<std::string> env_utf8(const char* name);

// Current system time in 100-ns units since 1601-01-01 UTC, from the most
// precise clock available.
std::uint64_t precise_filetime_now();

// "laptop" when a system battery is reported, else "desktop".
std::string device_type();

// 1 ms system timer resolution (no-ops where the concept does not exist).
void time_begin_period();
void time_end_period();
// Returns the process's working set to the system; failures are ignored.
void trim_working_set();

}  // namespace hp::platform
