#pragma once
// The one command surface of the front ends (the console host, the tray and
// its windows). Each operation takes the host's lock itself, and events it
// raises are delivered after unlocking; front ends never reach into the
// host record or the protocol themselves.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/result.h"
#include "discovery/network_snapshot.h"
#include "host/host_state.h"
#include "pad_mapping/mapping.h"

namespace hp::gamepad {
class GamepadOutput;
}  // namespace hp::gamepad

namespace hp::host_ops {

struct PairingOffer {
    std::string code;       // six digits
    std::string link;       // hearthpad://pair?... with the code, for the QR code
    std::string lan;        // the link's LAN endpoint ("a.b.c.d:port"), empty without one
    std::string tailscale;  // the link's Tailscale endpoint, likewise
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
// at once. The save is waited for with the host lock free; the change is
// announced and the sessions told only once it is on the disk.
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

// What the tray shows, read under one lock: who controls the PC and whether
// that device's controller switch is on, the paired devices, and the mapping
// in force (when a gamepad output is given).
struct HostView {
    std::optional<std::string> controllingDevice;
    bool controllerOn = false;
    std::vector<DeviceView> devices;
    pad_mapping::PadMapping mapping = pad_mapping::defaultMapping();
};
HostView host_view(host::HostState& state, const gamepad::GamepadOutput* gamepad);

// The mapping in force.
pad_mapping::PadMapping current_mapping(host::HostState& state, const gamepad::GamepadOutput& gamepad);

// Makes `mapping` the one in force (under the lock) and then writes it to
// "gamepad_mapping.json" in `dataDir`. The mapping stays in force when the
// write fails; the error says why. Saves come from the main thread only, so
// the file always ends with the last mapping installed.
Status install_mapping(host::HostState& state, gamepad::GamepadOutput& gamepad,
                       const std::filesystem::path& dataDir, const pad_mapping::PadMapping& mapping);

// The current mapping with the bindings, sticks and preset of preset `index`
// (0 to 3; 4 and above give the shooter preset), output kept; installed and
// saved as above. Returns the mapping now in force.
pad_mapping::PadMapping apply_preset(host::HostState& state, gamepad::GamepadOutput& gamepad,
                                     const std::filesystem::path& dataDir, std::uint8_t index);

// The current mapping with its output set (true: keyboard/mouse mapping,
// false: virtual pad); installed and saved as above. Returns the mapping now
// in force.
pad_mapping::PadMapping set_output(host::HostState& state, gamepad::GamepadOutput& gamepad,
                                   const std::filesystem::path& dataDir, bool useMapping);

}  // namespace hp::host_ops
