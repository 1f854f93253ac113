#pragma once
// Where the host finds the DLLs it loads and the system programs it starts.
// The program's own folder is often Downloads and the current folder is
// whatever the starter chose; a file planted in either must never be loaded
// or run, least of all by an elevated host. So system DLLs and programs are
// taken from the system directory, by full path or with
// LOAD_LIBRARY_SEARCH_SYSTEM32, never by the default search.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace hp::platform::win32 {

// For the rest of the process, LoadLibrary searches the system directory
// only: SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32), so neither
// the program's folder nor the current folder is searched. The entry calls
// it first, before anything loads a DLL. (The DLLs the program imports are
// loaded before the entry runs; the program's load-configuration directory,
// defined beside this function, gives them the same rule.) False when the
// system refused.
bool restrict_dll_search();

// A DLL of the system, from the system directory only (LoadLibraryExW with
// LOAD_LIBRARY_SEARCH_SYSTEM32); null when it is not there.
HMODULE load_system_library(const wchar_t* name);

// The system directory (GetSystemDirectoryW) with a trailing backslash;
// nothing when the system cannot tell it.
std::optional<std::wstring> system_directory();

// The full path of a program of the system: `relative` (for example
// L"schtasks.exe" or L"WindowsPowerShell\\v1.0\\powershell.exe") below the
// system directory. Nothing when the system directory cannot be told.
std::optional<std::wstring> system_program(std::wstring_view relative);

}  // namespace hp::platform::win32
