#include "platform/process_runner.h"

#include <windows.h>
#include <shlobj.h>

#include <array>
#include <optional>

#include "base/command_line.h"
#include "base/atomic_file.h"
#include "platform/win32/dll_search.h"
#include "platform/win32/text.h"

namespace hp::platform {

namespace {

using SteadyClock = std::chrono::steady_clock;

class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE h) : h_(h) {}
    Handle(Handle&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
    Handle& operator=(Handle&& o) noexcept {
        if (this != &o) {
            reset();
            h_ = std::exchange(o.h_, nullptr);
        }
        return *this;
    }
    ~Handle() { reset(); }
    HANDLE get() const { return h_; }
    HANDLE* out() {
        reset();
        return &h_;
    }
    void reset() {
        if (h_ && h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
        h_ = nullptr;
    }

private:
    HANDLE h_ = nullptr;
};

// One end stays in this process (not inheritable), the other goes to the child.
struct Pipe {
    Handle read, write;
};

std::optional<Pipe> make_pipe(bool child_reads) {
    SECURITY_ATTRIBUTES sa{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    Pipe p;
    if (!CreatePipe(p.read.out(), p.write.out(), &sa, 0)) return std::nullopt;
    const HANDLE ours = child_reads ? p.write.get() : p.read.get();
    if (!SetHandleInformation(ours, HANDLE_FLAG_INHERIT, 0)) return std::nullopt;
    return p;
}

bool is_file(const std::wstring& path) {
    const DWORD attrs = GetFileAttributesW(path.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<std::wstring> path_variable() {
    const DWORD size = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    if (size == 0) return std::nullopt;
    std::wstring value(size, L'\0');
    const DWORD n = GetEnvironmentVariableW(L"PATH", value.data(), size);
    if (n == 0 || n >= size) return std::nullopt;
    value.resize(n);
    return value;
}

// "C:\..." or "\\server\share\...": a directory that does not depend on the
// current directory. A relative PATH entry (".", "bin", "\tools") would
// search below the current folder.
bool is_absolute_directory(const std::wstring& dir) {
    if (dir.size() >= 3 && dir[1] == L':' && (dir[2] == L'\\' || dir[2] == L'/')) return true;
    return dir.size() >= 2 && (dir[0] == L'\\' || dir[0] == L'/') && (dir[1] == L'\\' || dir[1] == L'/');
}

// The Program Files folder, from the shell's known folder rather than the
// ProgramFiles variable, which the user's own environment can change.
std::optional<std::wstring> program_files_directory() {
    PWSTR path = nullptr;
    const HRESULT hr = SHGetKnownFolderPath(FOLDERID_ProgramFiles, KF_FLAG_DEFAULT, nullptr, &path);
    std::optional<std::wstring> dir;
    if (SUCCEEDED(hr) && path) dir = std::wstring(path) + L"\\";
    CoTaskMemFree(path);
    return dir;
}

// The program's full path. A bare name (".exe" added when it has no
// extension) is looked for in the system directory (GetSystemDirectoryW),
// then in the request's install folder under Program Files, then in the
// absolute PATH directories. Unlike CreateProcessW's own search (see its
// lpCommandLine), neither the running program's folder nor the current
// folder is searched: a file planted there must never be run.
std::optional<std::wstring> find_program(const ProcessRequest& request) {
    const auto wide = win32::to_wide(request.program);
    if (!wide || wide->empty()) return std::nullopt;
    if (wide->find_first_of(L"\\/:") != std::wstring::npos) {
        if (is_file(*wide)) return *wide;
        return std::nullopt;
    }
    const std::wstring name = wide->find(L'.') == std::wstring::npos ? *wide + L".exe" : *wide;
    if (const auto system = win32::system_directory(); system && is_file(*system + name)) return *system + name;
    if (!request.installFolder.empty()) {
        const auto folder = win32::to_wide(request.installFolder);
        const auto programFiles = program_files_directory();
        if (folder && programFiles) {
            const std::wstring candidate = *programFiles + *folder + L"\\" + name;
            if (is_file(candidate)) return candidate;
        }
    }
    const auto wpath = path_variable();
    if (!wpath) return std::nullopt;
    std::size_t start = 0;
    while (start <= wpath->size()) {
        std::size_t end = wpath->find(L';', start);
        if (end == std::wstring::npos) end = wpath->size();
        std::wstring dir = wpath->substr(start, end - start);
        start = end + 1;
        if (dir.size() >= 2 && dir.front() == L'"' && dir.back() == L'"') dir = dir.substr(1, dir.size() - 2);
        if (!is_absolute_directory(dir)) continue;
        if (dir.back() != L'\\' && dir.back() != L'/') dir += L'\\';
        if (is_file(dir + name)) return dir + name;
    }
    return std::nullopt;
}

class ProcThreadAttributes {
public:
    explicit ProcThreadAttributes(DWORD count) {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, count, 0, &size);
        storage_.resize(size);
        list_ = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
        if (!InitializeProcThreadAttributeList(list_, count, 0, &size)) list_ = nullptr;
    }
    ~ProcThreadAttributes() {
        if (list_) DeleteProcThreadAttributeList(list_);
    }
    ProcThreadAttributes(const ProcThreadAttributes&) = delete;
    ProcThreadAttributes& operator=(const ProcThreadAttributes&) = delete;
    LPPROC_THREAD_ATTRIBUTE_LIST get() const { return list_; }

private:
    std::vector<char> storage_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

class Win32ProcessRunner final : public ProcessRunner {
public:
    std::optional<std::string> locate(const ProcessRequest& request) override {
        const auto app = find_program(request);
        if (!app) return std::nullopt;
        return win32::to_utf8(*app);
    }

    Result<ProcessOutcome> run(const ProcessRequest& request) override {
        const auto deadline = SteadyClock::now() + request.timeLimit;
        const auto app = find_program(request);
        if (!app) return fail(request.program + ": not found");
        auto command = win32::to_wide(windows_command_line(request.program, request.args));
        if (!command) return fail(request.program + ": arguments are not valid text");

        auto in = make_pipe(true);
        auto out = make_pipe(false);
        auto err = make_pipe(false);
        if (!in || !out || !err) return fail(os_error_text(GetLastError()));
        in->write.reset();  // standard input: empty, at its end at once

        // Only the three pipe ends reach the child, whatever else this
        // process holds as inheritable.
        std::array<HANDLE, 3> inherit{in->read.get(), out->write.get(), err->write.get()};
        ProcThreadAttributes attrs(1);
        if (!attrs.get() ||
            !UpdateProcThreadAttribute(attrs.get(), 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherit.data(),
                                       sizeof(inherit), nullptr, nullptr))
            return fail(os_error_text(GetLastError()));

        STARTUPINFOEXW si{};
        si.StartupInfo.cb = sizeof(si);
        si.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
        si.StartupInfo.hStdInput = in->read.get();
        si.StartupInfo.hStdOutput = out->write.get();
        si.StartupInfo.hStdError = err->write.get();
        si.lpAttributeList = attrs.get();
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(app->c_str(), command->data(), nullptr, nullptr, TRUE,
                            CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                            &si.StartupInfo, &pi))
            return fail(request.program + ": " + os_error_text(GetLastError()));
        Handle process(pi.hProcess);
        Handle thread(pi.hThread);
        in->read.reset();
        out->write.reset();
        err->write.reset();

        ProcessOutcome outcome;
        const bool drained = drain(out->read.get(), err->read.get(), request.outputLimit, deadline, outcome);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
        if (!drained || WaitForSingleObject(process.get(), static_cast<DWORD>(std::max<long long>(0, left.count()))) !=
                            WAIT_OBJECT_0) {
            TerminateProcess(process.get(), 1);
            WaitForSingleObject(process.get(), 5000);
            return fail(request.program + ": time limit reached");
        }
        DWORD code = 0;
        if (!GetExitCodeProcess(process.get(), &code)) return fail(os_error_text(GetLastError()));
        outcome.exitCode = static_cast<int>(code);
        return outcome;
    }

private:
    // Reads both pipes until the child side has closed them, without ever
    // blocking past the deadline. False when the deadline came first.
    static bool drain(HANDLE out, HANDLE err, std::size_t limit, SteadyClock::time_point deadline,
                      ProcessOutcome& outcome) {
        std::array<HANDLE, 2> pipes{out, err};
        std::array<bool, 2> open{true, true};
        std::array<char, 16384> chunk{};
        while (open[0] || open[1]) {
            if (SteadyClock::now() >= deadline) return false;
            bool progressed = false;
            for (std::size_t i = 0; i < pipes.size(); ++i) {
                if (!open[i]) continue;
                DWORD avail = 0;
                if (!PeekNamedPipe(pipes[i], nullptr, 0, nullptr, &avail, nullptr)) {
                    open[i] = false;  // broken: the child side is closed
                    continue;
                }
                if (avail == 0) continue;
                DWORD got = 0;
                const DWORD want = std::min<DWORD>(avail, static_cast<DWORD>(chunk.size()));
                if (!ReadFile(pipes[i], chunk.data(), want, &got, nullptr) || got == 0) {
                    open[i] = false;
                    continue;
                }
                progressed = true;
                if (i != 0) continue;  // standard error is dropped
                const auto room = limit - std::min(limit, outcome.output.size());
                const auto keep = std::min<std::size_t>(room, got);
                outcome.output.append(chunk.data(), keep);
                if (keep < got) outcome.truncated = true;
            }
            if (!progressed) Sleep(2);
        }
        return true;
    }
};

}  // namespace

std::shared_ptr<ProcessRunner> make_process_runner() {
    return std::make_shared<Win32ProcessRunner>();
}

}  // namespace hp::platform
