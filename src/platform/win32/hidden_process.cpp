#include "platform/win32/hidden_process.h"

#include <windows.h>

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

}  // namespace

bool run_hidden(const std::wstring& program, const std::string& name, const std::vector<std::string>& args) {
    auto commandLine = to_wide(windows_command_line(name, args));
    if (!commandLine) return false;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    // lpApplicationName names the file to run: CreateProcessW then does no
    // search of its own (which would start in this program's folder).
    if (!CreateProcessW(program.c_str(), commandLine->data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &info))
        return false;
    const UniqueHandle process(info.hProcess);
    const UniqueHandle thread(info.hThread);
    WaitForSingleObject(process.get(), INFINITE);
    return true;
}

std::optional<std::wstring> powershell_path() { return system_program(L"WindowsPowerShell\\v1.0\\powershell.exe"); }

void run_brightness_step(bool up) {
    const auto program = powershell_path();
    if (!program) return;
    (void)run_hidden(*program, kBrightnessProgram, brightness_arguments(up));
}

}  // namespace hp::platform::win32
