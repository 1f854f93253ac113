#include "app/win32_session_notify.h"

#include <wtsapi32.h>

#include "app/win32_sessions.h"

namespace hp::app {

static_assert(kWmWtsSessionChange == WM_WTSSESSION_CHANGE);
static_assert(kWtsConsoleConnect == WTS_CONSOLE_CONNECT && kWtsConsoleDisconnect == WTS_CONSOLE_DISCONNECT &&
              kWtsRemoteConnect == WTS_REMOTE_CONNECT && kWtsRemoteDisconnect == WTS_REMOTE_DISCONNECT &&
              kWtsSessionLogon == WTS_SESSION_LOGON && kWtsSessionLogoff == WTS_SESSION_LOGOFF &&
              kWtsSessionLock == WTS_SESSION_LOCK && kWtsSessionUnlock == WTS_SESSION_UNLOCK);

void register_session_notifications(TrayState& tray) {
    if (tray.sessionNotifications || !tray.window) return;
    // Called before the session services are up (at logon), this fails with
    // RPC_S_INVALID_BINDING until "Global\TermSrvReadyEvent" is set
    // (WTSRegisterSessionNotification, Remarks). The call itself is the
    // test: it is made again on a timer rather than by waiting for that
    // event, which keeps the message loop free and needs no thread.
    if (WTSRegisterSessionNotification(tray.window, NOTIFY_FOR_THIS_SESSION)) {
        tray.sessionNotifications = true;
        tray.sessionNotifyFailures = 0;
        (void)KillTimer(tray.window, kSessionNotifyTimer);
        return;
    }
    ++tray.sessionNotifyFailures;
    // The same id again replaces the timer's interval.
    (void)SetTimer(tray.window, kSessionNotifyTimer, session_registration_retry_ms(tray.sessionNotifyFailures),
                   nullptr);
}

void unregister_session_notifications(TrayState& tray) {
    if (!tray.window) return;
    (void)KillTimer(tray.window, kSessionNotifyTimer);
    (void)KillTimer(tray.window, kSessionReleaseTimer);  // the window's WM_DESTROY releases everything
    tray.sessionChangeDue = 0;
    // Every registration is paired with an unregistration before the window
    // is destroyed (WTSUnRegisterSessionNotification).
    if (tray.sessionNotifications) (void)WTSUnRegisterSessionNotification(tray.window);
    tray.sessionNotifications = false;
}

void session_changed(TrayState& tray, WPARAM wtsCode) {
    const auto code = static_cast<unsigned long>(wtsCode);
    if (tray.mapping && tray.mapping->capturing() &&
        session_change_action(code) != SessionChangeAction::None) {
        tray.sessionChangeDue = code;
        (void)SetTimer(tray.window, kSessionReleaseTimer, kDeferredRefreshMs, nullptr);
        return;
    }
    apply_session_change(tray.host ? tray.host->state.get() : nullptr, code);
}

void session_change_retry(TrayState& tray) {
    if (tray.mapping && tray.mapping->capturing()) return;  // the timer comes again
    (void)KillTimer(tray.window, kSessionReleaseTimer);
    const unsigned long code = tray.sessionChangeDue;
    tray.sessionChangeDue = 0;
    apply_session_change(tray.host ? tray.host->state.get() : nullptr, code);
}

}  // namespace hp::app
