#include "app/win32_tray.h"

#include "app/win32_messages.h"
#include "platform/https_client.h"
#include "platform/thread_name.h"
#include "platform/win32/desktop.h"
#include "server/host_ops.h"
#include "update/check.h"

namespace hp::app {

static_assert(kWmApp == WM_APP);

namespace {

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
    server::release_all_input(*tray.host->state);
}

void on_host_event(TrayState& tray, WPARAM /*code*/) {
    // Codes 1 and 2 also close the pairing window, once there is one.
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

void attach_tray_state(TrayState& tray) {
    SetWindowLongPtrW(tray.window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&tray));
}

host::EventSink make_notify_tray(TrayWindowRef window) {
    return [window = std::move(window)](const host::HostEvent& event) {
        post_host_event(window, host_event_code(event.kind));
    };
}

std::function<void()> make_refresh_tray(TrayWindowRef window) {
    return [window = std::move(window)] { post_host_event(window, HostEventCode::Other); };
}

LRESULT CALLBACK tray_window_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    TrayState* tray = tray_of(window);
    switch (message) {
        case WM_HOST_EVENT:
            if (tray) on_host_event(*tray, wParam);
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
                remove_tray_icon(*tray);
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
        add_tray_icon(*tray);  // the shell restarted
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void add_tray_icon(TrayState&) {}
void remove_tray_icon(TrayState&) {}
void refresh_tray_icon(TrayState&) {}
void destroy_tray_icons(TrayState&) {}
void show_vigem_balloon(TrayState&) {}
void ask_start_at_login(TrayState&) {}
void start_automatic_update_check(const TrayState& tray) { update::start_automatic_check(update_services(tray)); }

bool start_manual_update_check(const TrayState& tray) {
    update::UpdateServices services = update_services(tray);
    return update::start_manual_check(services, [boxes = services.boxes, opener = services.opener](
                                                    const update::ManualResult& result) {
        update::show_manual_result(result, *boxes, *opener);
    });
}
bool take_dialog_message(TrayState&, MSG&) { return false; }

}  // namespace hp::app
