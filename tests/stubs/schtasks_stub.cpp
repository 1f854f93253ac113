// A stand-in for schtasks.exe in tests (Wine's own answers /Query with 0 for
// any task name), and, copied under another name, for the other programs the
// host starts (powershell.exe, tailscale.exe). What it does, each step only
// when its environment variable is set:
// - HP_STUB_RAN_LOG: appends one line with the full path of the file that
//   runs (which copy was started);
// - HP_STUB_SCHTASKS_LOG: appends one line holding its arguments as the C
//   runtime read them, separated by tabs, in UTF-8;
// - HP_STUB_SCHTASKS_XML_COPY: copies the file named after "/XML" there (the
//   caller may remove its own once this program has ended); when that file
//   cannot be read, the log gets a line "cannot read <file>";
// - HP_STUB_SCHTASKS_QUERY_FILE: when the arguments include "/Query" and
//   "/XML", writes that file's bytes, unchanged, to standard output (a task's
//   definition as schtasks prints it); when the file cannot be read, the log
//   gets a line "cannot read <file>";
// - HP_STUB_PROBE_FILE: before the arguments' line, appends a line "probe
//   present" or "probe absent": whether that file existed when this ran
//   (what a caller had written by then);
// - HP_STUB_SLEEP_MS: waits that many milliseconds before ending.
// It exits with the number in HP_STUB_SCHTASKS_EXIT (1 when unset), so "no
// such task" and "not allowed" are what a program sees by default.
//
// With HP_STUB_RUN_COMMAND set it does none of that: it runs that command
// line as it stands (CreateProcessW without an application name, the way a
// package manager runs an uninstall entry's command), waits for it and
// exits with its exit code, or 255 when it could not be started.
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

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

void append_line(const std::wstring& file, std::string line) {
    line += '\n';
    HANDLE log = CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(log, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(log);
}

bool has_argument(int argc, wchar_t** argv, const wchar_t* wanted) {
    for (int i = 1; i < argc; ++i)
        if (_wcsicmp(argv[i], wanted) == 0) return true;
    return false;
}

// The whole file to standard output, as bytes (no text-mode translation).
bool print_file(const std::wstring& file) {
    HANDLE in = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (in == INVALID_HANDLE_VALUE) return false;
    std::vector<char> bytes;
    char chunk[4096];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(in, chunk, sizeof chunk, &got, nullptr)) && got > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    CloseHandle(in);
    if (!ok) return false;
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    for (std::size_t done = 0; done < bytes.size();) {
        DWORD written = 0;
        if (!WriteFile(out, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr) ||
            written == 0)
            return true;  // nobody reads: what a real schtasks would see too
        done += written;
    }
    return true;
}

int run_command(std::wstring command) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return 255;
    CloseHandle(process.hThread);
    DWORD code = 255;
    if (WaitForSingleObject(process.hProcess, INFINITE) != WAIT_OBJECT_0 || !GetExitCodeProcess(process.hProcess, &code))
        code = 255;
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring value, log;
    if (env(L"HP_STUB_RUN_COMMAND", value)) {
        // Not for the stand-ins the command itself starts.
        SetEnvironmentVariableW(L"HP_STUB_RUN_COMMAND", nullptr);
        return run_command(value);
    }
    if (env(L"HP_STUB_RAN_LOG", value)) {
        wchar_t self[MAX_PATH];
        const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
        if (n > 0 && n < MAX_PATH) append_line(value, utf8(self));
    }
    if (env(L"HP_STUB_PROBE_FILE", value) && env(L"HP_STUB_SCHTASKS_LOG", log))
        append_line(log, GetFileAttributesW(value.c_str()) == INVALID_FILE_ATTRIBUTES ? "probe absent" : "probe present");
    if (env(L"HP_STUB_SCHTASKS_LOG", value)) {
        std::string line;
        for (int i = 1; i < argc; ++i) line += (i > 1 ? "\t" : "") + utf8(argv[i]);
        append_line(value, line);
    }
    if (env(L"HP_STUB_SCHTASKS_XML_COPY", value)) {
        for (int i = 1; i + 1 < argc; ++i) {
            if (_wcsicmp(argv[i], L"/XML") != 0) continue;
            if (!CopyFileW(argv[i + 1], value.c_str(), FALSE) && env(L"HP_STUB_SCHTASKS_LOG", log))
                append_line(log, "cannot read " + utf8(argv[i + 1]));
        }
    }
    if (env(L"HP_STUB_SCHTASKS_QUERY_FILE", value) && has_argument(argc, argv, L"/Query") &&
        has_argument(argc, argv, L"/XML") && !print_file(value) && env(L"HP_STUB_SCHTASKS_LOG", log))
        append_line(log, "cannot read " + utf8(value.c_str()));
    if (env(L"HP_STUB_SLEEP_MS", value)) Sleep(static_cast<DWORD>(std::wcstoul(value.c_str(), nullptr, 10)));
    if (env(L"HP_STUB_SCHTASKS_EXIT", value)) return static_cast<int>(std::wcstol(value.c_str(), nullptr, 10));
    return 1;
}
