#pragma once
// The tray window and this Windows session: notifications of lock, unlock
// and user switches (WM_WTSSESSION_CHANGE), on which held input is let go
// (session_change_action in win32_sessions.h decides).
#include "app/win32_tray.h"

namespace hp::app {

// Registers the tray window for its own session's notifications. Where the
// system cannot take the registration yet (early at logon), kSessionNotifyTimer
// calls this again (session_registration_retry_ms); the message loop never
// waits for it.
void register_session_notifications(TrayState& tray);
// Before the window goes: the registration (if any) ends, the retry stops.
void unregister_session_notifications(TrayState& tray);
// WM_WTSSESSION_CHANGE with its wParam. While the mapping window's keyboard
// hook is installed this thread must not wait for the host's lock (see
// refresh_after_host_event): a release then waits for the capture to end,
// on kSessionReleaseTimer.
void session_changed(TrayState& tray, WPARAM wtsCode);
// kSessionReleaseTimer: the waiting change, once the capture has ended.
void session_change_retry(TrayState& tray);

}  // namespace hp::app
