#pragma once
// Window messages private to hearthpad.exe, and the code each host event is
// posted with. Plain numbers, so window-free code and native tests can use
// them; win32_tray.cpp checks them against <windows.h>.
#include <cstdint>

#include "host/host_state.h"

namespace hp::app {

inline constexpr unsigned kWmApp = 0x8000;              // WM_APP
inline constexpr unsigned WM_TRAY_ICON = kWmApp + 1;    // callback of the notification-area icon
inline constexpr unsigned WM_HOST_EVENT = kWmApp + 2;   // posted by the server side, lParam 0

// wParam of WM_HOST_EVENT.
enum class HostEventCode : std::uintptr_t {
    DevicePaired = 1,        // the tray closes the pairing window
    PairingCodeRevoked = 2,  // likewise
    Other = 3,               // only the icon, tooltip and menu are refreshed
};

constexpr HostEventCode host_event_code(host::HostEventKind kind) {
    switch (kind) {
        case host::HostEventKind::DevicePaired: return HostEventCode::DevicePaired;
        case host::HostEventKind::PairingCodeRevoked: return HostEventCode::PairingCodeRevoked;
        default: return HostEventCode::Other;
    }
}

}  // namespace hp::app
