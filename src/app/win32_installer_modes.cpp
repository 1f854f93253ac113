#include "app/win32_installer_modes.h"

#include <windows.h>

#include <string>

#include "app/win32_tray.h"
#include "platform/process_runner.h"
#include "platform/shell_launcher.h"
#include "platform/user_registry.h"
#include "platform/win32/current_user.h"
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

bool same_user_windows(std::string_view principal, std::string_view userSid) {
    if (startup::same_user_sid_text(principal, userSid)) return true;
    // The scheduler may keep the principal as the account's name.
    const auto sid = platform::win32::account_sid(principal);
    return sid && startup::same_user_sid_text(*sid, userSid);
}

std::string system_schtasks() {
    // Without the system directory the runner's own search starts there
    // anyway.
    const auto schtasks = platform::win32::system_program(L"schtasks.exe");
    return schtasks ? platform::win32::to_utf8(*schtasks).value_or(std::string(startup::kSchtasks))
                    : std::string(startup::kSchtasks);
}

startup::ForgetStartupOptions forget_startup_options() {
    startup::ForgetStartupOptions options;
    options.registry = platform::make_user_registry();
    options.processes = platform::make_process_runner();
    options.executablePath = own_path();
    options.schtasks = system_schtasks();
    options.samePath = same_path_windows;
    options.userSid = platform::win32::current_user_sid().value_or(std::string());
    return options;
}

startup::StartAsUserOptions start_as_user_options() {
    startup::StartAsUserOptions options;
    options.shell = platform::make_shell_launcher();
    options.processes = platform::make_process_runner();
    options.executablePath = own_path();
    // The user the shell would start the host as; this process's own
    // account only when there is no shell to tell.
    options.userSid = options.shell->shell_user_sid().value_or(
        platform::win32::current_user_sid().value_or(std::string()));
    options.schtasks = system_schtasks();
    options.sameUser = same_user_windows;
    options.samePath = same_path_windows;
    return options;
}

int run_start_as_user_mode() { return static_cast<int>(startup::start_as_user(start_as_user_options())); }

int run_forget_startup_mode() { return static_cast<int>(startup::forget_startup(forget_startup_options())); }

}  // namespace hp::app
