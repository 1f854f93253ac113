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
#include <mutex>
#include <string_view>

#include "app/win32_connection_check.h"
#include "app/win32_icons.h"
#include "app/win32_mapping_window.h"
#include "app/win32_pairing_window.h"
#include "connection_check/findings.h"
#include "main/start_host.h"
#include "pad_mapping/mapping.h"
#include "platform/user_registry.h"
#include "startup/start_at_login.h"
#include "text_catalogue/catalogue.h"
#include "tray/tray_model.h"

namespace hp::app {

inline constexpr wchar_t kTrayWindowClass[] = L"HearthpadTrayWindow";
inline constexpr wchar_t kAppCaption[] = L"Hearthpad";
inline constexpr UINT kTrayIconId = 1;

// The tray window handle as the event sinks see it: shared with them and
// cleared when the window goes, so a late event posts nothing.
using TrayWindowRef = std::shared_ptr<std::atomic<HWND>>;

// Whether the elevated task exists, as last learned on a worker thread:
// schtasks.exe can take seconds, and the menu never waits for it.
class ElevatedTaskAnswer {
public:
    // -1 not known yet, else 0 or 1.
    int known() const {
        std::lock_guard lock(mutex_);
        return known_;
    }
    // What the menu just changed it to; an answer asked for before is stale.
    void set(bool exists) {
        std::lock_guard lock(mutex_);
        known_ = exists ? 1 : 0;
        ++generation_;
    }
    // A query starts: its answer counts only if nothing was set meanwhile.
    unsigned begin_query() {
        std::lock_guard lock(mutex_);
        return generation_;
    }
    void query_answered(unsigned generation, bool exists) {
        std::lock_guard lock(mutex_);
        if (generation == generation_) known_ = exists ? 1 : 0;
    }
    std::atomic<bool> asking{false};
    // A change of the task runs: no query starts meanwhile, since one that
    // read the task before the change would put back the old answer.
    std::atomic<bool> changing{false};

private:
    mutable std::mutex mutex_;
    int known_ = -1;
    unsigned generation_ = 0;
};

// What the tray's commands reach besides the host.
struct TrayServices {
    std::shared_ptr<startup::StartAtLogin> startAtLogin;
    std::shared_ptr<platform::UserRegistry> registry;  // the taskbar theme
    // Starts the manual update check on its own thread ("update-manual")
    // unless a check (manual or automatic) runs: the update module's one
    // process-wide flag decides. Empty: no check is made.
    std::function<void()> manualUpdateCheck;
    std::shared_ptr<ElevatedTaskAnswer> taskAnswer = std::make_shared<ElevatedTaskAnswer>();
};

// Which balloon the icon shows now: the notice's clicks and the connection
// check's come back as the same notification.
enum class TrayBalloon { None, VigemNotice, Reach };

// The timer that adds the icon again until the shell takes it.
inline constexpr UINT_PTR kIconRetryTimer = 1;
// The connection check a little after the addresses changed (they change in
// bursts while an adapter comes up).
inline constexpr UINT_PTR kNetworkCheckTimer = 2;
inline constexpr UINT kNetworkCheckDelayMs = 5000;
// The icon's refresh that waited for the mapping window's key capture.
inline constexpr UINT_PTR kDeferredRefreshTimer = 4;
inline constexpr UINT kDeferredRefreshMs = 250;
// A notice that never reported its end counts as gone after this long.
inline constexpr UINT_PTR kBalloonTimer = 3;
inline constexpr UINT kBalloonLifetimeMs = 60000;
// Asks again for session notifications the system could not give yet.
inline constexpr UINT_PTR kSessionNotifyTimer = 5;
// A session change's release that waited for the mapping window's key
// capture (as kDeferredRefreshTimer does, every kDeferredRefreshMs).
inline constexpr UINT_PTR kSessionReleaseTimer = 6;

// Everything the tray window procedure works on. Owned by the entry on the
// main thread and reachable from the window through GWLP_USERDATA.
struct TrayState {
    HINSTANCE instance = nullptr;
    HWND window = nullptr;
    TrayWindowRef windowRef;
    // The language of the menu, the tooltip, the balloons and the windows
    // (chosen once at start-up; English unless set).
    text_catalogue::Catalogue texts;
    UINT taskbarCreatedMessage = 0;  // 0 when it could not be registered
    NOTIFYICONDATAW icon{};          // the icon record, filled by add_tray_icon
    // Shell_NotifyIconW; tests hand in a stand-in.
    std::function<bool(DWORD message, NOTIFYICONDATAW& icon)> notifyIcon;
    bool iconShown = false;          // the shell has taken the icon
    ULONGLONG iconRetriesSince = 0;  // GetTickCount64 at the first refused add
    bool vigemNoticeDue = false;     // the notice waits for the icon
    TrayBalloon balloon = TrayBalloon::None;
    TrayIcons icons;
    bool lightTheme = false;
    std::filesystem::path dataDir;
    std::unique_ptr<main::HostHandle> host;
    TrayServices services;
    std::unique_ptr<PairingWindow> pairing;
    std::unique_ptr<MappingWindow> mapping;
    std::unique_ptr<ConnectionCheck> check;
    connection_check::BalloonMemory reachMemory;
    // A problem waiting for the notice's balloon to end.
    std::optional<connection_check::Finding> reachBalloonDue;
    bool backgroundCheckDue = false;  // another check was asked for while one ran
    bool refreshDue = false;          // a host event came while a key was awaited
    bool sessionNotifications = false;  // registered for WM_WTSSESSION_CHANGE
    unsigned sessionNotifyFailures = 0;  // failed registrations in a row
    unsigned long sessionChangeDue = 0;  // a WTS_* code waiting for the key capture to end; 0 none
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

// Loads the icons, reads the taskbar theme and adds the icon (NIM_ADD). At
// logon the shell may be up but not yet answering, and no TaskbarCreated
// follows: a refused add is tried again by kIconRetryTimer, every 2 s for
// two minutes, then every 30 s, until the shell takes it.
void add_tray_icon(TrayState& tray);
// One retry (the timer's): NIM_MODIFY first, as an add that timed out may
// have gone through late, then NIM_ADD; once the icon is there the timer
// stops and a notice that waited for it is shown.
void retry_tray_icon(TrayState& tray);
void remove_tray_icon(TrayState& tray);
// Icon and tooltip from a fresh snapshot of the host (NIM_MODIFY).
void refresh_tray_icon(TrayState& tray);
// The same for a host event: while the mapping window's low-level keyboard
// hook is installed, this thread must not wait for the host's lock (Windows
// silently removes a hook whose thread does not answer within its time-out,
// LowLevelHooksTimeout), so the refresh waits until the capture has ended.
void refresh_after_host_event(TrayState& tray);
void destroy_tray_icons(TrayState& tray);

// The ViGEmBus notice, once per data directory, as a balloon of the icon;
// it (and its marker) waits until the icon is there.
void show_vigem_balloon(TrayState& tray);
// Shows a balloon of the icon and remembers which one shows; a balloon that
// is already up is replaced.
void show_balloon(TrayState& tray, TrayBalloon kind, std::wstring_view title, std::wstring_view text);
// The connection check the tray runs by itself (after start-up and after
// the addresses changed): a problem not shown before on this network comes
// up as one balloon; clicking it opens the check window.
void start_background_check(TrayState& tray);
// A finished check (WM_CONNECTION_CHECKED): to the window, and for a
// background check, the balloon rule.
void connection_checked(TrayState& tray);
// The balloon notifications of the icon (NIN_BALLOONUSERCLICK and the ends).
void balloon_event(TrayState& tray, UINT event);
// The start-at-login question, once per data directory.
void ask_start_at_login(TrayState& tray);
// The automatic update check on its thread "update-auto" for the life of
// the process.
void start_automatic_update_check(TrayState& tray);
// The manual check ("Check for Updates…") on its thread "update-manual":
// nothing when another check runs; else the answer's box.
void run_manual_update_check(const TrayState& tray);
// True when the open gamepad mapping dialog handled the message.
bool take_dialog_message(TrayState& tray, MSG& message);

// Asks on a worker thread whether the elevated task exists (schtasks.exe,
// at most once a minute); nothing when an answer is already being asked for.
void refresh_task_answer(TrayState& tray);

// What the menu shows right now: one snapshot of the host, one copy of the
// network snapshot, the start entry and the task as last learned (a fresh
// answer is asked for meanwhile).
tray::TrayView tray_view(TrayState& tray);
// Builds the menu from tray_view, shows it and runs the chosen command.
void show_tray_menu(TrayState& tray);
// Runs the command of a menu id as chosen from `menu`.
void dispatch_tray_command(TrayState& tray, const tray::Menu& menu, unsigned id);

}  // namespace hp::app
