// The tray window and session changes under Wine: registered for them, and
// a lock or a switch to another user lets go of what a phone holds down.
#include <gtest/gtest.h>

#include <windows.h>
#include <wtsapi32.h>

#include "input/held_input.h"
#include "win32/desktop_fixture.h"

namespace hp::app {
namespace {

using namespace testing_desktop;

class TraySessionChange : public TrayFixture {
protected:
    // Ctrl+A and the left button held, as a phone's commands leave them.
    void hold_input() {
        host::HostLock lock(state());
        input::key_down(lock, 4, input::kCtrl);
        input::button_down(lock, 1);
    }
    bool holding() {
        host::HostLock lock(state());
        return state().input.holding();
    }
};

TEST_F(TraySessionChange, LockAndSwitchingAwayLetGoOfHeldInput) {
    EXPECT_TRUE(tray_.sessionNotifications);
    DWORD session = 0;
    (void)ProcessIdToSessionId(GetCurrentProcessId(), &session);
    for (const WPARAM code : {WTS_SESSION_LOCK, WTS_CONSOLE_DISCONNECT, WTS_REMOTE_DISCONNECT}) {
        SCOPED_TRACE(code);
        hold_input();
        ASSERT_TRUE(holding());
        // Unlocking, or the console coming back, keeps it.
        SendMessageW(tray_.window, WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, session);
        SendMessageW(tray_.window, WM_WTSSESSION_CHANGE, WTS_CONSOLE_CONNECT, session);
        EXPECT_TRUE(holding());
        SendMessageW(tray_.window, WM_WTSSESSION_CHANGE, code, session);
        EXPECT_FALSE(holding());
    }
}

}  // namespace
}  // namespace hp::app
