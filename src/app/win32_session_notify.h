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
// WM_WTSSESSION_CHANGE with its wParam.
void session_changed(TrayState& tray, WPARAM wtsCode);

}  // namespace hp::app
