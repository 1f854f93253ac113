// The tray window and session changes under Wine: registered for them, and
// a lock or a switch to another user lets go of what a phone holds down.
#include <gtest/gtest.h>

#include <windows.h>
#include <wtsapi32.h>

#include "input/held_input.h"
#include "pad_mapping_ui/mapping_editor.h"
#include "win32/desktop_fixture.h"

namespace hp::app {
namespace {

using namespace testing_desktop;

class TraySessionChange : public TrayFixture {
protected:
    // Ctrl+A and the left button held, as a phone's commands leave them,
    // with the input just in (the stale-input watchdog lets go of it only
    // 1.5 s later).
    void hold_input() {
        host::HostLock lock(state());
        input::key_down(lock, 4, input::kCtrl);
        input::button_down(lock, 1);
        state().input.lastInputAt = Clock::now();
    }
    bool holding() {
        host::HostLock lock(state());
        return state().input.holding();
    }
    static DWORD session() {
        DWORD id = 0;
        (void)ProcessIdToSessionId(GetCurrentProcessId(), &id);
        return id;
    }
};

TEST_F(TraySessionChange, LockAndSwitchingAwayLetGoOfHeldInput) {
    EXPECT_TRUE(tray_.sessionNotifications);
    const DWORD session = this->session();
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

// While the mapping window's keyboard hook waits for a key, the tray's
// thread takes no host lock: the release comes once the capture has ended.
TEST_F(TraySessionChange, DuringAKeyCaptureTheReleaseComesWhenTheCaptureEnds) {
    ASSERT_TRUE(tray_.mapping);
    tray_.mapping->open();
    const HWND mapping = tray_.mapping->window();
    ASSERT_TRUE(mapping);
    hold_input();
    const int change = pad_mapping_ui::row_change_id(0);
    SendMessageW(mapping, WM_COMMAND, MAKEWPARAM(change, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(mapping, change)));
    ASSERT_TRUE(tray_.mapping->capturing());
    SendMessageW(tray_.window, WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, session());
    EXPECT_TRUE(holding()) << "released while the hook was in";
    SendMessageW(mapping, WM_ACTIVATE, WA_INACTIVE, 0);  // the capture ends
    ASSERT_FALSE(tray_.mapping->capturing());
    // Well before the watchdog would.
    EXPECT_TRUE(pump_until([&] { return !holding(); }, std::chrono::milliseconds(1000)));
}

}  // namespace
}  // namespace hp::app
