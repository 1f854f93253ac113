#include "server/host_state.h"

namespace hp {

const char* host_event_name(HostEventKind kind) {
    switch (kind) {
        case HostEventKind::DevicePaired: return "DevicePaired";
        case HostEventKind::PairingCodeRevoked: return "PairingCodeRevoked";
        case HostEventKind::SessionOpened: return "SessionOpened";
        case HostEventKind::SessionClosed: return "SessionClosed";
        case HostEventKind::ControllerSwitched: return "ControllerSwitched";
        case HostEventKind::PairedDevicesChanged: return "PairedDevicesChanged";
    }
    return "Unknown";
}

}  // namespace hp
