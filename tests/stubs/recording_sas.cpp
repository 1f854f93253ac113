// A stand-in for the system's sas.dll that the Ctrl+Alt+Del service test
// puts in the Wine prefix's system directory, where the service loads it
// from. Each SendSAS call appends one line to the file named like the DLL
// itself with ".calls" added: "SendSAS <AsUser> impersonating|own-token",
// the latter telling whether the calling thread acted as its client.
#include <windows.h>

#include <string>

namespace {

HMODULE self_module() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&self_module), &module);
    return module;
}

}  // namespace

extern "C" __declspec(dllexport) VOID WINAPI SendSAS(BOOL asUser) {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(self_module(), path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    const std::wstring log = std::wstring(path, n) + L".calls";
    HANDLE token = nullptr;
    const bool impersonating = OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token) != 0;
    if (token) CloseHandle(token);
    const std::string line =
        std::string("SendSAS ") + (asUser ? "1" : "0") + (impersonating ? " impersonating" : " own-token") + "\n";
    HANDLE file = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}
