#pragma once
// The one command surface of the front ends (the console host, the tray and
// its windows). Each operation takes the host's lock itself, and events it
// raises are delivered after unlocking; front ends never reach into the
// host record or the protocol themselves.
#include <optional>
#include <string>
#include <vector>

#include "discovery/network_snapshot.h"
#include "host/host_state.h"

namespace hp::server {

struct PairingOffer {
    std::string code;  // six digits
    std::string link;  // hearthpad://pair?... with the code, for the QR code
};

// Draws a new pairing code (any earlier one is replaced) and builds the
// pairing link from the current addresses.
PairingOffer open_pairing_code(host::HostState& state, const discovery::SharedNetworkSnapshot& network);

// Withdraws the pairing code, if one is open.
void withdraw_pairing_code(host::HostState& state);

struct DeviceView {
    std::string clientId;
    std::string deviceName;
    bool online = false;
};
// The paired devices in store order, with whether a session is open.
std::vector<DeviceView> list_devices(host::HostState& state);

// Deletes the device from the store (saving and announcing the change when it
// was there) and ends its open sessions with "removed_by_user"; if one of
// them had control, held input is released and the controller switched off
// at once.
void remove_device(host::HostState& state, const std::string& clientId);

// The device name of the session in control, if any.
std::optional<std::string> controlling_device(host::HostState& state);

// The endpoints the handshakes send right now ("a.b.c.d:port", "[v6]:port",
// and the MagicDNS name last in the Tailscale list).
struct Endpoints {
    std::vector<std::string> lan;
    std::vector<std::string> tailscale;
};
Endpoints endpoints(host::HostState& state, const discovery::SharedNetworkSnapshot& network);

// Lets go of everything held (keys, buttons, modifiers, pad).
void release_all_input(host::HostState& state);

}  // namespace hp::server
