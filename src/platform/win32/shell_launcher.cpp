#include "platform/shell_launcher.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/win32/dll_search.h"
#include "platform/win32/text.h"

namespace hp::platform {

namespace {

class Win32ShellLauncher final : public ShellLauncher {
public:
    void run_elevated(std::string_view program, std::string_view parameters) override {
        auto wprogram = win32::to_wide(program);
        const auto wparameters = win32::to_wide(parameters);
        if (!wprogram || !wparameters) return;
        // ShellExecuteW looks for a bare name in the current folder and this
        // program's folder too; a program of the system is started by its
        // full path in the system directory instead.
        if (wprogram->find_first_of(L"\\/:") == std::wstring::npos) {
            wprogram = win32::system_program(*wprogram);
            if (!wprogram) return;
        }
        // The prompt's outcome is not checked: a refused prompt leaves
        // things as they were.
        (void)ShellExecuteW(nullptr, L"runas", wprogram->c_str(), wparameters->c_str(), nullptr, SW_HIDE);
    }
};

}  // namespace

std::shared_ptr<ShellLauncher> make_shell_launcher() {
    return std::make_shared<Win32ShellLauncher>();
}

}  // namespace hp::platform
