#include "platform/win32/hidden_process.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <type_traits>

#include "base/command_line.h"
#include "platform/brightness.h"
#include "platform/win32/dll_search.h"
#include "platform/win32/text.h"

namespace hp::platform::win32 {

namespace {

struct HandleCloser {
    void operator()(HANDLE h) const {
        if (h) CloseHandle(h);
    }
};
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

// After TerminateProcess the process is gone once its handle is signalled;
// this bounds that last wait too.
constexpr DWORD kTerminationWaitMs = 5000;

}  // namespace

HiddenRun run_hidden(const std::wstring& program, const std::string& name, const std::vector<std::string>& args,
                     std::chrono::milliseconds limit) {
    auto commandLine = to_wide(windows_command_line(name, args));
    if (!commandLine) return HiddenRun::NotStarted;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    // lpApplicationName names the file to run: CreateProcessW then does no
    // search of its own (which would start in this program's folder).
    if (!CreateProcessW(program.c_str(), commandLine->data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &info))
        return HiddenRun::NotStarted;
    const UniqueHandle process(info.hProcess);
    const UniqueHandle thread(info.hThread);
    const auto waitMs = static_cast<DWORD>(std::clamp<long long>(limit.count(), 0, INFINITE - 1));
    if (WaitForSingleObject(process.get(), waitMs) == WAIT_OBJECT_0) return HiddenRun::Exited;
    TerminateProcess(process.get(), 1);
    WaitForSingleObject(process.get(), kTerminationWaitMs);
    return HiddenRun::Ended;
}

std::optional<std::wstring> powershell_path() { return system_program(L"WindowsPowerShell\\v1.0\\powershell.exe"); }

void run_brightness_step(bool up) {
    const auto program = powershell_path();
    if (!program) return;
    (void)run_hidden(*program, kBrightnessProgram, brightness_arguments(up), kBrightnessRunLimit);
}

}  // namespace hp::platform::win32
