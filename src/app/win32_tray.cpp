#include "app/win32_tray.h"

#include <cstring>
#include <exception>
#include <string>
#include <thread>

#include "app/win32_first_run.h"
#include "app/win32_messages.h"
#include "app/win32_session_notify.h"
#include "app/win32_text.h"
#include "app/win32_tray_menu.h"
#include "platform/https_client.h"
#include "platform/thread_name.h"
#include "platform/elevation.h"
#include "platform/win32/desktop.h"
#include "platform/win32/win32_system.h"
#include "host_ops/host_ops.h"
#include "update/check.h"

namespace hp::app {

static_assert(kWmApp == WM_APP);
// The whole record (balloon icon included) of current Windows versions.
static_assert(sizeof(NOTIFYICONDATAW) == 976);

namespace {

constexpr std::string_view kVigemBalloonText = text_catalogue::i18n("Install ViGEmBus for a real virtual controller");
constexpr wchar_t kVigemBalloonTitle[] = L"docs/GAMEPAD.md";

TrayState* tray_of(HWND window) {
    return reinterpret_cast<TrayState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

void post_host_event(const TrayWindowRef& window, HostEventCode code) {
    if (HWND hwnd = window->load()) {
        // A failed post is ignored: the next event refreshes the tray anyway.
        (void)PostMessageW(hwnd, WM_HOST_EVENT, static_cast<WPARAM>(code), 0);
    }
}

// Nothing stays pressed once the tray goes.
void release_held_input(TrayState& tray) {
    if (!tray.host || !tray.host->state) return;
    host_ops::release_all_input(*tray.host->state);
}

void close_pairing_window(TrayState& tray) {
    if (tray.pairing) tray.pairing->close();
}

// Icon and tooltip of the kept record from a fresh snapshot of the host.
void fill_icon(TrayState& tray) {
    host_ops::HostView view;
    if (tray.host && tray.host->state) view = host_ops::host_view(*tray.host->state, nullptr);
    NOTIFYICONDATAW& icon = tray.icon;
    icon.cbSize = sizeof(NOTIFYICONDATAW);
    icon.hWnd = tray.window;
    icon.uID = kTrayIconId;
    icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
    icon.uCallbackMessage = WM_TRAY_ICON;
    icon.hIcon = tray.icons.choose(tray::icon_role(view), tray.lightTheme);
    const std::u16string tip = tray::tooltip(view, tray.texts);  // at most 127 units
    std::memset(icon.szTip, 0, sizeof icon.szTip);
    std::memcpy(icon.szTip, tip.data(), tip.size() * sizeof(char16_t));
}

bool notify_icon(TrayState& tray, DWORD message) {
    if (tray.notifyIcon) return tray.notifyIcon(message, tray.icon);
    return Shell_NotifyIconW(message, &tray.icon) != FALSE;
}

constexpr UINT kIconRetryFastMs = 2000;
constexpr UINT kIconRetrySlowMs = 30000;
constexpr ULONGLONG kIconRetryFastPeriodMs = 120000;

void icon_refused(TrayState& tray) {
    tray.iconShown = false;
    if (tray.iconRetriesSince == 0) tray.iconRetriesSince = GetTickCount64();
    const bool fast = GetTickCount64() - tray.iconRetriesSince < kIconRetryFastPeriodMs;
    (void)SetTimer(tray.window, kIconRetryTimer, fast ? kIconRetryFastMs : kIconRetrySlowMs, nullptr);
}

void icon_taken(TrayState& tray) {
    const bool wasShown = tray.iconShown;
    tray.iconShown = true;
    tray.iconRetriesSince = 0;
    (void)KillTimer(tray.window, kIconRetryTimer);
    if (!wasShown && tray.vigemNoticeDue) show_vigem_balloon(tray);
    if (!wasShown && tray.reachBalloonDue && tray.balloon == TrayBalloon::None)
        balloon_event(tray, NIN_BALLOONHIDE);
}

class Win32TrayActions final : public tray::TrayActions {
public:
    explicit Win32TrayActions(TrayState& tray) : tray_(tray) {}

    void open_pairing_window() override {
        if (tray_.pairing) tray_.pairing->open();
    }
    void set_start_entry(bool enable) override {
        if (tray_.services.startAtLogin) (void)tray_.services.startAtLogin->set_start_entry(enable);
    }
    void toggle_elevated_task(bool currentlyExists) override {
        auto startAtLogin = tray_.services.startAtLogin;
        if (!startAtLogin) return;
        // Shown at once; schtasks.exe (and its elevated retry) runs on a
        // worker, never on the window's thread. The consent prompt belongs
        // to the tray window, which the menu just made the foreground window
        // (SHELLEXECUTEINFOW.hwnd: the parent of any UI the call shows);
        // without an owner the prompt may open behind other windows.
        auto answer = tray_.services.taskAnswer;
        answer->set(!currentlyExists);
        answer->changing.store(true);
        const auto owner = reinterpret_cast<std::uintptr_t>(tray_.window);
        try {
            std::thread([startAtLogin, answer, currentlyExists, owner] {
                platform::name_this_thread("elevated-task");
                startAtLogin->toggle_elevated_task(currentlyExists, owner);
                answer->changing.store(false);
            }).detach();
        } catch (const std::exception&) {
            answer->changing.store(false);
        }
    }
    void check_for_updates() override {
        if (tray_.services.manualUpdateCheck) tray_.services.manualUpdateCheck();
    }
    void exit() override { DestroyWindow(tray_.window); }
    void remove_device(const std::string& clientId) override {
        if (!tray_.host) return;
        host_ops::remove_device(*tray_.host->state, clientId);
        refresh_tray_icon(tray_);
    }
    void apply_preset(std::uint8_t index) override {
        if (!tray_.host || !tray_.host->gamepad) return;
        mapping_changed(host_ops::apply_preset(*tray_.host->state, *tray_.host->gamepad, tray_.dataDir, index));
    }
    void set_output(bool useMapping) override {
        if (!tray_.host || !tray_.host->gamepad) return;
        mapping_changed(host_ops::set_output(*tray_.host->state, *tray_.host->gamepad, tray_.dataDir, useMapping));
    }
    void open_mapping_window() override {
        if (tray_.mapping) tray_.mapping->open();
    }
    void open_connection_check() override {
        if (tray_.check) tray_.check->open();
    }

private:
    void mapping_changed(const pad_mapping::PadMapping& mapping) {
        if (tray_.mapping) tray_.mapping->mapping_changed_elsewhere(mapping);
    }
    TrayState& tray_;
};

void on_setting_change(TrayState& tray, LPARAM lParam) {
    const auto* area = reinterpret_cast<const wchar_t*>(lParam);
    if (!area || std::wcscmp(area, L"ImmersiveColorSet") != 0) return;
    const bool light = tray.services.registry && light_taskbar(*tray.services.registry);
    if (light == tray.lightTheme) return;
    tray.lightTheme = light;
    refresh_tray_icon(tray);
}

update::UpdateServices update_services(const TrayState& tray) {
    update::UpdateServices services;
    services.dataDir = tray.dataDir;
    services.https = platform::make_https_client();
    services.system = "Windows";
    services.boxes = platform::make_message_boxes();
    services.opener = platform::make_link_opener();
    services.nameThread = platform::name_this_thread;
    return services;
}

}  // namespace

std::wstring module_file_name() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
}

void attach_tray_state(TrayState& tray) {
    SetWindowLongPtrW(tray.window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&tray));
    refresh_task_answer(tray);  // known before the menu first opens
    register_session_notifications(tray);  // lock and user switches let go of held input
    if (!tray.mapping) {
        MappingWindowHooks hooks;
        hooks.instance = tray.instance;
        if (tray.host && tray.host->gamepad) {
            hooks.vigemFound = !tray.host->vigemMissing;
            auto state = tray.host->state;
            auto gamepad = tray.host->gamepad;
            hooks.current = [state, gamepad] { return host_ops::current_mapping(*state, *gamepad); };
            hooks.install = [state, gamepad, dir = tray.dataDir](const pad_mapping::PadMapping& mapping) {
                return host_ops::install_mapping(*state, *gamepad, dir, mapping);
            };
        }
        tray.mapping = std::make_unique<MappingWindow>(std::move(hooks));
    }
    if (!tray.check) {
        ConnectionCheckHooks hooks;
        hooks.instance = tray.instance;
        hooks.trayWindow = tray.window;
        hooks.texts = tray.texts;
        hooks.programPath = narrow(module_file_name());
        hooks.elevated = platform::make_elevated_runner();
        hooks.opener = platform::make_link_opener();
        if (tray.host) {
            hooks.gather = real_gatherer(platform::make_win32_system(), tray.host->advertState, tray.host->tcpPort,
                                         hooks.programPath);
        }
        tray.check = std::make_unique<ConnectionCheck>(std::move(hooks));
    }
    if (tray.pairing) return;
    PairingWindowHooks hooks;
    hooks.instance = tray.instance;
    hooks.trayWindow = tray.window;
    hooks.texts = tray.texts;
    if (tray.host) {
        auto state = tray.host->state;
        auto network = tray.host->network;
        hooks.open = [state, network] { return host_ops::open_pairing_code(*state, *network); };
        hooks.withdraw = [state] { host_ops::withdraw_pairing_code(*state); };
    }
    tray.pairing = std::make_unique<PairingWindow>(std::move(hooks));
}

host::EventSink make_notify_tray(TrayWindowRef window) {
    return [window = std::move(window)](const host::HostEvent& event) {
        post_host_event(window, host_event_code(event.kind));
    };
}

std::function<void()> make_refresh_tray(TrayWindowRef window) {
    return [window = std::move(window)] {
        post_host_event(window, HostEventCode::Other);
        // The check runs again on the new network; a failed post is ignored.
        if (HWND hwnd = window->load()) (void)PostMessageW(hwnd, WM_NETWORK_CHANGED, 0, 0);
    };
}

LRESULT CALLBACK tray_window_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    TrayState* tray = tray_of(window);
    switch (message) {
        case WM_HOST_EVENT:
            if (tray) {
                if (wParam == static_cast<WPARAM>(HostEventCode::DevicePaired) ||
                    wParam == static_cast<WPARAM>(HostEventCode::PairingCodeRevoked))
                    close_pairing_window(*tray);
                refresh_after_host_event(*tray);
            }
            return 0;
        case WM_TRAY_ICON:
            if (tray && (LOWORD(lParam) == WM_LBUTTONUP || LOWORD(lParam) == WM_RBUTTONUP)) show_tray_menu(*tray);
            if (tray && (LOWORD(lParam) == NIN_BALLOONUSERCLICK || LOWORD(lParam) == NIN_BALLOONTIMEOUT ||
                         LOWORD(lParam) == NIN_BALLOONHIDE))
                balloon_event(*tray, LOWORD(lParam));
            return 0;
        case WM_CONNECTION_CHECKED:
            if (tray) connection_checked(*tray);
            return 0;
        case WM_FIREWALL_FIXED:
            if (tray && tray->check) tray->check->firewall_fixed();
            return 0;
        case WM_NETWORK_CHANGED:
            if (tray) (void)SetTimer(window, kNetworkCheckTimer, kNetworkCheckDelayMs, nullptr);
            return 0;
        case WM_SETTINGCHANGE:
            if (tray) on_setting_change(*tray, lParam);
            break;
        case WM_TIMER:
            if (tray && wParam == kIconRetryTimer) {
                retry_tray_icon(*tray);
                return 0;
            }
            if (tray && wParam == kNetworkCheckTimer) {
                (void)KillTimer(window, kNetworkCheckTimer);
                start_background_check(*tray);
                return 0;
            }
            if (tray && wParam == kDeferredRefreshTimer) {
                refresh_after_host_event(*tray);
                return 0;
            }
            if (tray && wParam == kSessionNotifyTimer) {
                register_session_notifications(*tray);
                return 0;
            }
            if (tray && wParam == kSessionReleaseTimer) {
                session_change_retry(*tray);
                return 0;
            }
            if (tray && wParam == kBalloonTimer) {
                (void)KillTimer(window, kBalloonTimer);
                balloon_event(*tray, NIN_BALLOONTIMEOUT);
                return 0;
            }
            break;
        case WM_WTSSESSION_CHANGE:
            if (tray) session_changed(*tray, wParam);
            return 0;
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;  // nothing to save; the session may end
        case WM_ENDSESSION:
            // The process may be ended as soon as this returns: release the
            // input now rather than after the message loop.
            if (wParam) DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            if (tray) {
                close_pairing_window(*tray);
                tray->mapping.reset();  // unsaved edits end with the program
                tray->check.reset();
                remove_tray_icon(*tray);
                unregister_session_notifications(*tray);
                release_held_input(*tray);
                tray->windowRef->store(nullptr);
                SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            }
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    if (tray && tray->taskbarCreatedMessage != 0 && message == tray->taskbarCreatedMessage) {
        // The shell restarted: the icon is added again with the current state.
        fill_icon(*tray);
        tray->iconShown = false;
        if (notify_icon(*tray, NIM_ADD))
            icon_taken(*tray);
        else
            icon_refused(*tray);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void add_tray_icon(TrayState& tray) {
    if (!tray.icons.idleDark) tray.icons = load_tray_icons(tray.instance, tray_icon_side());
    tray.lightTheme = tray.services.registry && light_taskbar(*tray.services.registry);
    fill_icon(tray);
    if (notify_icon(tray, NIM_ADD))
        icon_taken(tray);
    else
        icon_refused(tray);
}

void retry_tray_icon(TrayState& tray) {
    if (tray.iconShown) {
        (void)KillTimer(tray.window, kIconRetryTimer);
        return;
    }
    fill_icon(tray);
    if (notify_icon(tray, NIM_MODIFY) || notify_icon(tray, NIM_ADD))
        icon_taken(tray);
    else
        icon_refused(tray);  // the next try, at the interval due now
}

void remove_tray_icon(TrayState& tray) {
    (void)KillTimer(tray.window, kIconRetryTimer);
    if (tray.icon.hWnd) (void)notify_icon(tray, NIM_DELETE);
}

void refresh_tray_icon(TrayState& tray) {
    fill_icon(tray);
    if (tray.iconShown) (void)notify_icon(tray, NIM_MODIFY);
}

void refresh_after_host_event(TrayState& tray) {
    if (tray.mapping && tray.mapping->capturing()) {
        tray.refreshDue = true;
        (void)SetTimer(tray.window, kDeferredRefreshTimer, kDeferredRefreshMs, nullptr);
        return;
    }
    if (tray.refreshDue) (void)KillTimer(tray.window, kDeferredRefreshTimer);
    tray.refreshDue = false;
    refresh_tray_icon(tray);
}

void destroy_tray_icons(TrayState& tray) {
    tray.icon.hIcon = nullptr;
    tray.icons = TrayIcons{};
}

void show_vigem_balloon(TrayState& tray) {
    if (!tray.host) return;
    if (!tray.iconShown) {
        // The notice, and its marker, wait for the icon.
        tray.vigemNoticeDue = tray.host->vigemMissing;
        return;
    }
    tray.vigemNoticeDue = false;
    if (!claim_vigem_notice(tray.dataDir, tray.host->vigemMissing)) return;
    show_balloon(tray, TrayBalloon::VigemNotice, kVigemBalloonTitle, widen(tray.texts.tr(kVigemBalloonText)));
}

void show_balloon(TrayState& tray, TrayBalloon kind, std::wstring_view title, std::wstring_view text) {
    NOTIFYICONDATAW& icon = tray.icon;
    icon.uFlags |= NIF_INFO;
    std::memset(icon.szInfo, 0, sizeof icon.szInfo);
    std::memset(icon.szInfoTitle, 0, sizeof icon.szInfoTitle);
    std::wcsncpy(icon.szInfo, std::wstring(text).c_str(), std::size(icon.szInfo) - 1);
    std::wcsncpy(icon.szInfoTitle, std::wstring(title).c_str(), std::size(icon.szInfoTitle) - 1);
    icon.dwInfoFlags = NIIF_INFO;
    if (notify_icon(tray, NIM_MODIFY)) {
        tray.balloon = kind;
        (void)SetTimer(tray.window, kBalloonTimer, kBalloonLifetimeMs, nullptr);
    }
    // Later updates of the icon must not show the balloon again.
    icon.uFlags &= ~static_cast<UINT>(NIF_INFO);
}

namespace {

void show_reach_balloon(TrayState& tray, const connection_check::Finding& finding) {
    // The notice of the first start is never replaced: the problem waits
    // for its end.
    if (tray.balloon == TrayBalloon::VigemNotice || !tray.iconShown) {
        tray.reachBalloonDue = finding;
        return;
    }
    // `finding` may be the waiting one itself: its text first, then it goes.
    const std::string text = finding.message.source.empty() ? finding.text : tray.texts.format(finding.message);
    tray.reachBalloonDue.reset();
    show_balloon(tray, TrayBalloon::Reach, widen(tray.texts.tr(connection_check::kBalloonTitle)), widen(text));
}

}  // namespace

void start_background_check(TrayState& tray) {
    if (!tray.check) return;
    if (!tray.check->start(true)) tray.backgroundCheckDue = tray.check->running();
}

void connection_checked(TrayState& tray) {
    if (!tray.check) return;
    auto result = tray.check->take_result();
    if (!result) return;
    tray.check->show(*result);
    if (result->background) {
        if (auto problem = tray.reachMemory.next(result->findings, result->networkKey))
            show_reach_balloon(tray, *problem);
    }
    if (tray.backgroundCheckDue) {
        tray.backgroundCheckDue = false;
        start_background_check(tray);
    }
}

void balloon_event(TrayState& tray, UINT event) {
    const TrayBalloon was = tray.balloon;
    tray.balloon = TrayBalloon::None;
    (void)KillTimer(tray.window, kBalloonTimer);
    if (event == NIN_BALLOONUSERCLICK && was == TrayBalloon::Reach && tray.check) tray.check->open();
    if (tray.reachBalloonDue) show_reach_balloon(tray, *tray.reachBalloonDue);
}

void ask_start_at_login(TrayState& tray) {
    if (!tray.services.startAtLogin) return;
    const std::wstring file = module_file_name();
    const std::string name = startup::program_name(std::u16string(file.begin(), file.end()));
    LoginQuestionBoxes boxes;
    HWND owner = tray.window;
    boxes.askYesNo = [owner](const std::string& text, const std::string& caption) {
        return MessageBoxW(owner, widen(text).c_str(), widen(caption).c_str(),
                           MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND) == IDYES;
    };
    boxes.warn = [owner](const std::string& text, const std::string& caption) {
        MessageBoxW(owner, widen(text).c_str(), widen(caption).c_str(), MB_ICONWARNING);
    };
    (void)ask_start_at_login_once(tray.dataDir, *tray.services.startAtLogin, name, boxes);
}

void start_automatic_update_check(TrayState& tray) { update::start_automatic_check(update_services(tray)); }

void run_manual_update_check(const TrayState& tray) {
    update::UpdateServices services = update_services(tray);
    auto boxes = services.boxes;
    auto opener = services.opener;
    // One check at a time in the whole process, the automatic one included.
    (void)update::start_manual_check(std::move(services), [boxes, opener](const update::ManualResult& result) {
        if (boxes && opener) update::show_manual_result(result, *boxes, *opener);
    });
}

bool take_dialog_message(TrayState& tray, MSG& message) {
    return (tray.mapping && tray.mapping->take_dialog_message(message)) ||
           (tray.check && tray.check->take_dialog_message(message));
}

tray::TrayView tray_view(TrayState& tray) {
    tray::TrayView view;
    if (tray.host) {
        view.hostName = tray.host->hostName;
        view.host = host_ops::host_view(*tray.host->state, tray.host->gamepad.get());
        if (tray.host->network) view.network = tray.host->network->get();
        view.vigemFound = !tray.host->vigemMissing;
    }
    if (auto& startAtLogin = tray.services.startAtLogin) {
        view.startEntryEnabled = startAtLogin->start_entry_enabled();
        view.elevatedTaskExists = tray.services.taskAnswer->known() == 1;
        refresh_task_answer(tray);
    }
    return view;
}

void refresh_task_answer(TrayState& tray) {
    auto startAtLogin = tray.services.startAtLogin;
    auto answer = tray.services.taskAnswer;
    if (!startAtLogin || !answer || answer->changing.load() || answer->asking.exchange(true)) return;
    try {
        std::thread([startAtLogin, answer, generation = answer->begin_query()] {
            platform::name_this_thread("elevated-task");
            answer->query_answered(generation, startAtLogin->elevated_task_exists());
            answer->asking.store(false);
        }).detach();
    } catch (const std::exception&) {
        answer->asking.store(false);
    }
}

void show_tray_menu(TrayState& tray) {
    const tray::Menu menu = tray::build_menu(tray_view(tray), tray.texts);
    unsigned id = 0;
    {
        UniqueMenu popup = build_popup_menu(menu.items);
        if (popup) id = track_popup_menu(popup.get(), tray.window);
    }  // destroyed before the command runs
    dispatch_tray_command(tray, menu, id);
}

void dispatch_tray_command(TrayState& tray, const tray::Menu& menu, unsigned id) {
    Win32TrayActions actions(tray);
    tray::run_command(tray::command_for(id, menu), actions);
}

}  // namespace hp::app
