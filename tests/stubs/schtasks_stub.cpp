// A stand-in for schtasks.exe in tests (Wine's own answers /Query with 0 for
// any task name): it appends one line to the file named by
// HP_STUB_SCHTASKS_LOG (if set) holding its arguments as the C runtime read
// them, separated by tabs, in UTF-8, and exits with the number in
// HP_STUB_SCHTASKS_EXIT (1 when unset), so "no such task" and "not allowed"
// are what a program sees by default.
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

bool env(const wchar_t* name, std::wstring& out) {
    wchar_t value[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(name, value, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return false;
    out.assign(value, n);
    return true;
}

std::string utf8(const wchar_t* text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    out.pop_back();
    return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring value;
    if (env(L"HP_STUB_SCHTASKS_LOG", value)) {
        std::string line;
        for (int i = 1; i < argc; ++i) line += (i > 1 ? "\t" : "") + utf8(argv[i]);
        line += '\n';
        HANDLE log = CreateFileW(value.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (log != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(log, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
            CloseHandle(log);
        }
    }
    if (env(L"HP_STUB_SCHTASKS_EXIT", value)) return static_cast<int>(std::wcstol(value.c_str(), nullptr, 10));
    return 1;
}
