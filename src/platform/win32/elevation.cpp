// Running a program elevated and waiting for it: ShellExecuteExW with the
// "runas" verb shows the consent prompt (owned by the given window) and,
// with SEE_MASK_NOCLOSEPROCESS, hands back the new process, whose exit code
// is then read. A user who says no makes the call fail with ERROR_CANCELLED.
//
// ShellExecuteExW may pump messages and blocks while the prompt is up, so
// callers run this on a worker thread, never on a thread that owns windows.
#include <windows.h>
#include <shellapi.h>

#include <memory>

#include "base/atomic_file.h"
#include "base/command_line.h"
#include "platform/elevation.h"
#include "platform/win32/text.h"

namespace hp::platform {

namespace {

// The elevated program has done its work in well under a second when it
// starts at all; past this bound it is left running and the call fails.
constexpr DWORD kWaitLimitMs = 120'000;

struct HandleCloser {
    void operator()(HANDLE h) const {
        if (h) CloseHandle(h);
    }
};

class Win32ElevatedRunner final : public ElevatedRunner {
public:
    Result<ElevatedOutcome> run_elevated_and_wait(const std::string& program, const std::vector<std::string>& args,
                                                  std::uintptr_t owner) override {
        const auto file = win32::to_wide(program);
        std::string parameters;
        for (const auto& a : args) {
            if (!parameters.empty()) parameters += ' ';
            parameters += quote_windows_argument(a);
        }
        const auto wparameters = win32::to_wide(parameters);
        if (!file || !wparameters) return fail("the program's path is not valid text");

        SHELLEXECUTEINFOW info{};
        info.cbSize = sizeof info;
        // NOASYNC: the call returns only when the launch is done (this
        // thread may have no message loop to finish it); no error boxes of
        // the shell's own: the caller reports.
        info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
        info.hwnd = reinterpret_cast<HWND>(owner);
        info.lpVerb = L"runas";
        info.lpFile = file->c_str();
        info.lpParameters = wparameters->c_str();
        info.nShow = SW_HIDE;
        if (!ShellExecuteExW(&info)) {
            const DWORD error = GetLastError();
            if (error == ERROR_CANCELLED) return ElevatedOutcome{true, 0};
            return fail(os_error_text(error));
        }
        std::unique_ptr<void, HandleCloser> process(info.hProcess);
        if (!process) return fail("Windows did not report the started program");
        if (WaitForSingleObject(process.get(), kWaitLimitMs) != WAIT_OBJECT_0)
            return fail("the program did not finish");
        DWORD code = 0;
        if (!GetExitCodeProcess(process.get(), &code)) return fail(os_error_text(GetLastError()));
        return ElevatedOutcome{false, static_cast<std::uint32_t>(code)};
    }
};

}  // namespace

std::shared_ptr<ElevatedRunner> make_elevated_runner() { return std::make_shared<Win32ElevatedRunner>(); }

}  // namespace hp::platform
