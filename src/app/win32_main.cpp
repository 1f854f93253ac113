// hearthpad.exe: the tray host. One process per machine (a named global
// mutex), a hidden tray window that only receives messages, the host itself
// (start_host) and the window message loop on the main thread. Reads one
// argument: "--allow-firewall" makes this run the connection check's
// elevated firewall fix and nothing else, "--start-as-user" and
// "--forget-startup" are the installer's and the uninstaller's runs
// (win32_installer_modes.h), each with exit codes of its own ("--background"
// from the start-at-login entries changes nothing); the host's exit status
// is 0 on every path.
#include <windows.h>
#include <shellapi.h>

#include <exception>
#include <memory>
#include <string>
#include <string_view>

#include "app/win32_connection_check.h"
#include "app/win32_first_run.h"
#include "app/win32_installer_modes.h"
#include "app/win32_language.h"
#include "app/win32_single_instance.h"
#include "app/win32_text.h"
#include "app/win32_tray.h"
#include "main/start_host.h"
#include "platform/elevation.h"
#include "platform/user_registry.h"
#include "platform/win32/current_user.h"
#include "platform/win32/dll_search.h"
#include "platform/win32/platform_services.h"
#include "platform/win32/text.h"
#include "platform/win32/win32_system.h"

namespace hp::app {
namespace {

// Loaded at run time so the program also starts where the call is missing.
void set_per_monitor_dpi_awareness() {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    if (!user32) return;
    using SetContext = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);
    auto set = reinterpret_cast<SetContext>(reinterpret_cast<void (*)()>(
        GetProcAddress(user32, "SetProcessDpiAwarenessContext")));
    if (set) (void)set(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
}

// The running program's full path as UTF-8; empty when the system cannot
// tell it or it is not valid text.
std::string executable_path() {
    return platform::win32::to_utf8(module_file_name()).value_or(std::string());
}

TrayServices make_tray_services() {
    TrayServices services;
    services.registry = platform::make_user_registry();
    startup::StartAtLoginOptions options;
    options.registry = services.registry;
    options.processes = platform::make_process_runner();
    options.elevated = platform::make_elevated_runner();
    options.executablePath = executable_path();
    options.userSid = platform::win32::current_user_sid().value_or(std::string());
    options.sameUser = same_user_windows;
    options.samePath = same_path_windows;
    services.startAtLogin = std::make_shared<startup::StartAtLogin>(std::move(options));
    return services;
}

void fatal_box(const std::wstring& text) {
    MessageBoxW(nullptr, text.c_str(), kAppCaption, MB_ICONERROR);
}

HWND create_tray_window(HINSTANCE instance) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = tray_window_proc;
    wc.hInstance = instance;
    wc.lpszClassName = kTrayWindowClass;
    RegisterClassW(&wc);  // a failure shows as CreateWindowExW failing
    return CreateWindowExW(WS_EX_TOOLWINDOW, kTrayWindowClass, kAppCaption, WS_POPUP, 0, 0, 0, 0,
                           nullptr, nullptr, instance, nullptr);
}

// Lets the shell's "TaskbarCreated" broadcast reach the window even when the
// process runs elevated; returns the message id, 0 if it has none.
UINT allow_taskbar_created(HWND window) {
    const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
    if (message != 0) (void)ChangeWindowMessageFilterEx(window, message, MSGFLT_ALLOW, nullptr);
    return message;
}

// Everything that can fail while the host starts comes back as an error,
// including what the standard library reports by throwing.
Result<std::unique_ptr<main::HostHandle>> start(TrayState& tray) {
    try {
        platform::use_system_random();
        main::StartOptions options;
        options.system = platform::make_win32_system();
        options.platform = platform::make_win32_platform_services();
        options.padBus = platform::make_virtual_pad_bus();
        // Without dnsapi's service registration (before Windows 10 1809) the
        // endpoints are still computed; nothing is advertised.
        if (auto responder = platform::make_mdns_responder()) options.mdns = *responder;
        options.processes = platform::make_process_runner();
        options.tailscaleApi = "100.100.100.100:80";
        options.notifyTray = make_notify_tray(tray.windowRef);
        options.refreshTray = make_refresh_tray(tray.windowRef);
        return main::start_host(std::move(options));
    } catch (const std::exception& e) {
        return fail(e.what());
    } catch (...) {
        return fail("unknown error");
    }
}

int run(HINSTANCE instance) {
    set_per_monitor_dpi_awareness();

    // Held (never released early) for the life of the process; without it
    // the host still runs, only unprotected against a second start.
    const SingleInstance singleton = acquire_single_instance();
    if (singleton.outcome == InstanceOutcome::AlreadyRunning) {
        // A host of this session (or one that does not say where it runs):
        // no window, no message. Another user's host on this PC: say so, as
        // this user would otherwise wait for an icon that never comes.
        if (const auto text = second_start_message(running_host_session()))
            MessageBoxW(nullptr, widen(*text).c_str(), kAppCaption, MB_ICONINFORMATION);
        return 0;
    }

    auto tray = std::make_unique<TrayState>();
    tray->instance = instance;
    tray->texts = user_catalogue();
    tray->window = create_tray_window(instance);
    if (!tray->window) {
        fatal_box(L"Could not create the tray window.");
        return 0;
    }
    tray->windowRef = std::make_shared<std::atomic<HWND>>(tray->window);
    tray->taskbarCreatedMessage = allow_taskbar_created(tray->window);

    auto host = start(*tray);
    if (!host) {
        fatal_box(widen(start_failure_text(host.error())));
        return 0;
    }
    tray->host = std::move(*host);
    tray->dataDir = tray->host->dataDir;
    tray->services = make_tray_services();
    tray->services.manualUpdateCheck = [t = tray.get()] { run_manual_update_check(*t); };

    add_tray_icon(*tray);
    show_vigem_balloon(*tray);
    attach_tray_state(*tray);
    // The host runs on its own threads: clients are served while the
    // question waits for an answer.
    ask_start_at_login(*tray);
    start_automatic_update_check(*tray);
    // Whether phones can reach this PC, once the first-run questions are
    // answered; again whenever the addresses change.
    start_background_check(*tray);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (take_dialog_message(*tray, message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }

    // The window is gone (its WM_DESTROY released all held input). Dropping
    // the host handle stops the runtime and with it every server task.
    destroy_tray_icons(*tray);
    tray->windowRef->store(nullptr);
    tray->pairing.reset();
    tray->host.reset();
    tray.reset();
    return 0;
}

}  // namespace
}  // namespace hp::app

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    (void)hp::platform::win32::restrict_dll_search();  // first: no DLL from this program's or the current folder
    // The firewall fix (this program started elevated by the connection
    // check) and the installer's runs. The first argument is the only one
    // read, before the single-instance mutex, and these runs never start a
    // host.
    int argc = 0;
    auto mode = hp::app::ProgramMode::Host;
    if (LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc)) {
        mode = hp::app::program_mode(argc, argv);
        LocalFree(argv);
    }
    switch (mode) {
        case hp::app::ProgramMode::AllowFirewall: return hp::app::run_allow_firewall_mode();
        case hp::app::ProgramMode::StartAsUser: return hp::app::run_start_as_user_mode();
        case hp::app::ProgramMode::ForgetStartup: return hp::app::run_forget_startup_mode();
        case hp::app::ProgramMode::Host: break;
    }
    return hp::app::run(instance);
}
