#include "platform/win32/dll_search.h"

#include <windows.h>

namespace hp::platform::win32 {

bool restrict_dll_search() {
    // The default search order starts with the program's folder and, for
    // LoadLibrary, includes the current folder (see Dynamic-Link Library
    // Search Order); after this call both are left out for every load that
    // names no directory of its own.
    return SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) != 0;
}

HMODULE load_system_library(const wchar_t* name) {
    return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

std::optional<std::wstring> system_directory() {
    std::wstring dir(MAX_PATH, L'\0');
    for (;;) {
        const UINT n = GetSystemDirectoryW(dir.data(), static_cast<UINT>(dir.size()));
        if (n == 0) return std::nullopt;
        if (n < dir.size()) {
            dir.resize(n);
            break;
        }
        dir.resize(n);  // n is the size needed, with its terminating NUL
    }
    if (dir.back() != L'\\') dir += L'\\';
    return dir;
}

std::optional<std::wstring> system_program(std::wstring_view relative) {
    auto dir = system_directory();
    if (!dir) return std::nullopt;
    *dir += relative;
    return dir;
}

}  // namespace hp::platform::win32

// The program's load-configuration directory. The loader reads it before
// any of the program's code runs; its DependentLoadFlags (the field mingw's
// header still calls Reserved1, at offset 0x4E) are the flags the loader
// uses for the DLLs the program imports: LOAD_LIBRARY_SEARCH_SYSTEM32 keeps
// DLLs that are not KnownDLLs (crypt32, iphlpapi, winmm, winhttp, dnsapi,
// bcrypt, mswsock, ...) from being taken from the program's folder (see "PE
// Format", The Load Configuration Structure; honoured from Windows 10 1607
// on). Every other field is zero: no security cookie, no exception or guard
// tables. The PE header's load-configuration entry must point at this
// object, named _load_config_used; GNU ld does not set that entry itself,
// so the build sets it after linking hearthpad.exe
// (scripts/pe-load-config.py). Any program that links the functions above
// links this object with them.
extern "C" const IMAGE_LOAD_CONFIG_DIRECTORY64 _load_config_used __attribute__((used)) = {
    .Size = sizeof(IMAGE_LOAD_CONFIG_DIRECTORY64),
    .TimeDateStamp = 0,
    .MajorVersion = 0,
    .MinorVersion = 0,
    .GlobalFlagsClear = 0,
    .GlobalFlagsSet = 0,
    .CriticalSectionDefaultTimeout = 0,
    .DeCommitFreeBlockThreshold = 0,
    .DeCommitTotalFreeThreshold = 0,
    .LockPrefixTable = 0,
    .MaximumAllocationSize = 0,
    .VirtualMemoryThreshold = 0,
    .ProcessAffinityMask = 0,
    .ProcessHeapFlags = 0,
    .CSDVersion = 0,
    .Reserved1 = LOAD_LIBRARY_SEARCH_SYSTEM32,
    .EditList = 0,
    .SecurityCookie = 0,
    .SEHandlerTable = 0,
    .SEHandlerCount = 0,
};
