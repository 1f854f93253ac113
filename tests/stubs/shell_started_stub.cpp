// A harmless program for the desktop shell to start in tests. The shell
// starts it with the shell's environment, not the test's, so it reports
// beside itself: it appends to "<its own full path>.ran" one line, in
// UTF-8, with the number of arguments it was given, a tab, and its current
// folder. A windowed program: nothing shows on the screen.
#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {

std::string utf8(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                      nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t self[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 1;
    wchar_t folder[MAX_PATH];
    const DWORD f = GetCurrentDirectoryW(MAX_PATH, folder);
    if (f == 0 || f >= MAX_PATH) return 1;
    int argc = 0;
    if (LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc)) LocalFree(argv);
    const std::string line = std::to_string(argc > 0 ? argc - 1 : 0) + "\t" + utf8(std::wstring(folder, f)) + "\n";
    const std::wstring report = std::wstring(self, n) + L".ran";
    HANDLE file = CreateFileW(report.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
    return 0;
}
