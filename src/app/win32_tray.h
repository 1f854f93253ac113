#pragma once
// The hidden tray window of hearthpad.exe: its state, its window procedure,
// the notification-area icon with its tooltip, balloon and menu, and the
// start-at-login question.
//
// The update checks run with WinHTTP and message boxes owned by no window.
#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>

#include "app/win32_icons.h"
#include "app/win32_mapping_window.h"
#include "app/win32_pairing_window.h"
#include "main/start_host.h"
#include "pad_mapping/mapping.h"
#include "platform/user_registry.h"
#include "startup/start_at_login.h"
#include "tray/tray_model.h"

namespace hp::app {

inline constexpr wchar_t kTrayWindowClass[] = L"HearthpadTrayWindow";
inline constexpr wchar_t kAppCaption[] = L"Hearthpad";
inline constexpr UINT kTrayIconId = 1;

// The tray window handle as the event sinks see it: shared with them and
// cleared when the window goes, so a late event posts nothing.
using TrayWindowRef = std::shared_ptr<std::atomic<HWND>>;

// What the tray's commands reach besides the host.
struct TrayServices {
    std::shared_ptr<startup::StartAtLogin> startAtLogin;
    std::shared_ptr<platform::UserRegistry> registry;  // the taskbar theme
    // Set while an update check runs (manual or automatic); shared with the
    // automatic check's thread.
    std::shared_ptr<std::atomic<bool>> updateCheckRunning = std::make_shared<std::atomic<bool>>(false);
    // The manual update check, run on its own thread ("update-manual"); the
    // flag above is cleared when it returns. Empty: no check is made.
    std::function<void()> manualUpdateCheck;
};

// Everything the tray window procedure works on. Owned by the entry on the
// main thread and reachable from the window through GWLP_USERDATA.
struct TrayState {
    HINSTANCE instance = nullptr;
    HWND window = nullptr;
    TrayWindowRef windowRef;
    UINT taskbarCreatedMessage = 0;  // 0 when it could not be registered
    NOTIFYICONDATAW icon{};          // the icon record, filled by add_tray_icon
    TrayIcons icons;
    bool lightTheme = false;
    std::filesystem::path dataDir;
    std::unique_ptr<main::HostHandle> host;
    TrayServices services;
    std::unique_ptr<PairingWindow> pairing;
    std::unique_ptr<MappingWindow> mapping;
};

// The window procedure of the "HearthpadTrayWindow" class.
LRESULT CALLBACK tray_window_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The running program's full path; empty when the system cannot tell it.
std::wstring module_file_name();

// Makes `tray` the state the window procedure of tray.window works on, and
// gives it its pairing window and its gamepad mapping window.
void attach_tray_state(TrayState& tray);

// The sinks start_host is given: they post WM_HOST_EVENT to the tray window.
host::EventSink make_notify_tray(TrayWindowRef window);
std::function<void()> make_refresh_tray(TrayWindowRef window);

// Loads the icons, reads the taskbar theme and adds the icon (NIM_ADD).
void add_tray_icon(TrayState& tray);
void remove_tray_icon(TrayState& tray);
// Icon and tooltip from a fresh snapshot of the host (NIM_MODIFY).
void refresh_tray_icon(TrayState& tray);
void destroy_tray_icons(TrayState& tray);

// The ViGEmBus notice, once per data directory, as a balloon of the icon.
void show_vigem_balloon(TrayState& tray);
// The start-at-login question, once per data directory.
void ask_start_at_login(TrayState& tray);
// The automatic update check on its thread "update-auto" for the life of
// the process.
void start_automatic_update_check(TrayState& tray);
// The manual check ("Check for Updates…"), run by the menu on its thread
// "update-manual": nothing when another check runs; else the answer's box.
void run_manual_update_check(const TrayState& tray);
// True when the open gamepad mapping dialog handled the message.
bool take_dialog_message(TrayState& tray, MSG& message);

// What the menu shows right now: one snapshot of the host, one copy of the
// network snapshot, the start entry and the task.
tray::TrayView tray_view(TrayState& tray);
// Builds the menu from tray_view, shows it and runs the chosen command.
void show_tray_menu(TrayState& tray);
// Runs the command of a menu id as chosen from `menu`.
void dispatch_tray_command(TrayState& tray, const tray::Menu& menu, unsigned id);

}  // namespace hp::app
