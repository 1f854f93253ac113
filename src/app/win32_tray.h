#pragma once
// The hidden tray window of hearthpad.exe: its state, its window procedure
// and the points where the notification-area icon, its balloon, the
// start-at-login question, the automatic update check and the mapping
// dialog plug in.
//
// The notification-area icon, its balloon and menu and the start-at-login
// question are added by the tray module and the dialog hook by the mapping
// window; until then add_tray_icon, remove_tray_icon, refresh_tray_icon,
// destroy_tray_icons, show_vigem_balloon, ask_start_at_login and
// take_dialog_message do nothing, and the marker files that make the notice
// and the question once-only are not written (they are claimed where the
// notice is shown and the question asked).
#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <filesystem>
#include <memory>

#include "main/start_host.h"

namespace hp::app {

inline constexpr wchar_t kTrayWindowClass[] = L"HearthpadTrayWindow";
inline constexpr wchar_t kAppCaption[] = L"Hearthpad";

// The tray window handle as the event sinks see it: shared with them and
// cleared when the window goes, so a late event posts nothing.
using TrayWindowRef = std::shared_ptr<std::atomic<HWND>>;

// Everything the tray window procedure works on. Owned by the entry on the
// main thread and reachable from the window through GWLP_USERDATA.
struct TrayState {
    HWND window = nullptr;
    TrayWindowRef windowRef;
    UINT taskbarCreatedMessage = 0;  // 0 when it could not be registered
    NOTIFYICONDATAW icon{};          // the icon record, filled by add_tray_icon
    std::filesystem::path dataDir;
    std::unique_ptr<main::HostHandle> host;
};

// The window procedure of the "HearthpadTrayWindow" class.
LRESULT CALLBACK tray_window_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Makes `tray` the state the window procedure of tray.window works on.
void attach_tray_state(TrayState& tray);

// The sinks start_host is given: they post WM_HOST_EVENT to the tray window.
host::EventSink make_notify_tray(TrayWindowRef window);
std::function<void()> make_refresh_tray(TrayWindowRef window);

void add_tray_icon(TrayState& tray);
void remove_tray_icon(TrayState& tray);
void refresh_tray_icon(TrayState& tray);
void destroy_tray_icons(TrayState& tray);
void show_vigem_balloon(TrayState& tray);
void ask_start_at_login(TrayState& tray);
// The update checks with WinHTTP, message boxes owned by no window and the
// shell: the automatic one on its thread "update-auto" for the life of the
// process, and the manual one ("Check for Updates…") on a thread
// "update-manual" unless a check runs already (then false, nothing started).
void start_automatic_update_check(const TrayState& tray);
bool start_manual_update_check(const TrayState& tray);
// True when the open gamepad mapping dialog handled the message.
bool take_dialog_message(TrayState& tray, MSG& message);

}  // namespace hp::app
