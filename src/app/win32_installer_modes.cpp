#include "app/win32_installer_modes.h"

#include <windows.h>

#include <string>

#include "app/win32_tray.h"
#include "platform/shell_launcher.h"
#include "platform/win32/dll_search.h"
#include "platform/win32/text.h"
#include "startup/start_as_user.h"

namespace hp::app {

namespace {

std::string own_path() { return platform::win32::to_utf8(module_file_name()).value_or(std::string()); }

}  // namespace

ProgramMode program_mode(int argc, const wchar_t* const* argv) {
    if (argc < 2 || !argv || !argv[1]) return ProgramMode::Host;
    const std::wstring_view first = argv[1];
    if (first == L"--allow-firewall") return ProgramMode::AllowFirewall;
    if (first == L"--start-as-user") return ProgramMode::StartAsUser;
    if (first == L"--forget-startup") return ProgramMode::ForgetStartup;
    return ProgramMode::Host;
}

bool same_path_windows(std::string_view a, std::string_view b) {
    const auto wa = platform::win32::to_wide(a);
    const auto wb = platform::win32::to_wide(b);
    if (!wa || !wb) return false;
    // File names compare as CompareStringOrdinal with bIgnoreCase: ordinal,
    // after the system's uppercase mapping, independent of the locale.
    return CompareStringOrdinal(wa->c_str(), static_cast<int>(wa->size()), wb->c_str(), static_cast<int>(wb->size()),
                                TRUE) == CSTR_EQUAL;
}

startup::ForgetStartupOptions forget_startup_options() {
    startup::ForgetStartupOptions options;
    options.registry = platform::make_user_registry();
    options.processes = platform::make_process_runner();
    options.executablePath = own_path();
    // Without the system directory the runner's own search starts there
    // anyway.
    if (const auto schtasks = platform::win32::system_program(L"schtasks.exe"))
        options.schtasks = platform::win32::to_utf8(*schtasks).value_or(options.schtasks);
    options.samePath = same_path_windows;
    return options;
}

int run_start_as_user_mode() {
    const auto shell = platform::make_shell_launcher();
    return static_cast<int>(startup::start_as_user(*shell, own_path()));
}

int run_forget_startup_mode() { return static_cast<int>(startup::forget_startup(forget_startup_options())); }

}  // namespace hp::app
