#include "platform/system.h"

#include <windows.h>
#include <timeapi.h>

#include "platform/win32/text.h"

namespace hp::platform {

std::optional<std::string> env_utf8(const char* name) {
    const auto wide_name = win32::to_wide(name ? name : "");
    if (!wide_name || wide_name->empty()) return std::nullopt;
    std::wstring value(256, L'\0');
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        const DWORD n = GetEnvironmentVariableW(wide_name->c_str(), value.data(),
                                                static_cast<DWORD>(value.size()));
        if (n == 0) {
            // Zero is both "not set" and "set to the empty string".
            if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
            return std::string{};
        }
        if (n < value.size()) {
            value.resize(n);
            break;
        }
        value.resize(n);  // n counts the terminator when the buffer was too small
    }
    return win32::to_utf8(value);
}

std::uint64_t precise_filetime_now() {
    FILETIME ft{};
    GetSystemTimePreciseAsFileTime(&ft);
    return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

std::string device_type() {
    SYSTEM_POWER_STATUS status{};
    // 128: no system battery; 255: battery status unknown.
    if (GetSystemPowerStatus(&status) && status.BatteryFlag != 128 && status.BatteryFlag != 255)
        return "laptop";
    return "desktop";
}

void time_begin_period() { timeBeginPeriod(1); }
void time_end_period() { timeEndPeriod(1); }

void trim_working_set() {
    SetProcessWorkingSetSize(GetCurrentProcess(), static_cast<SIZE_T>(-1), static_cast<SIZE_T>(-1));
}

}  // namespace hp::platform
