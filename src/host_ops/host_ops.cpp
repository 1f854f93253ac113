#include "host_ops/host_ops.h"

#include "commands/commands.h"
#include "gamepad/gamepad_output.h"
#include "input/held_input.h"
#include "pad_mapping/mapping_file.h"
#include "protocol/handshake.h"

namespace hp::host_ops {

using host::HostEvent;
using host::HostEventKind;
using host::HostLock;
using host::SessionMessage;

PairingOffer open_pairing_code(host::HostState& state, const discovery::SharedNetworkSnapshot& network) {
    const discovery::NetworkSnapshot net = network.get();
    HostLock lock(state);
    PairingOffer offer;
    offer.code = protocol::new_pairing_code(state.pairing);
    offer.link = protocol::pairing_link(state.identity, state.info, net, offer.code);
    offer.lan = protocol::link_endpoint(net.lan, state.info.tcpPort);
    offer.tailscale = protocol::link_endpoint(net.tailscale, state.info.tcpPort);
    return offer;
}

void withdraw_pairing_code(host::HostState& state) {
    HostLock lock(state);
    protocol::clear_pairing_code(state.pairing);
}

namespace {

// The paired devices.
std::vector<DeviceView> devices_locked(const host::Locked& locked) {
    const host::HostState& state = *locked;
    std::vector<DeviceView> out;
    for (const auto& r : state.store.records()) {
        DeviceView v{r.clientId, r.deviceName, false};
        for (const auto& [id, entry] : state.sessions)
            if (entry.clientId == r.clientId) v.online = true;
        out.push_back(std::move(v));
    }
    return out;
}

// The device name of the session in control.
std::optional<std::string> controlling_locked(const host::Locked& locked) {
    const host::HostState& state = *locked;
    if (!state.input.activeClient) return std::nullopt;
    auto it = state.sessions.find(*state.input.activeClient);
    if (it == state.sessions.end()) return std::nullopt;
    return it->second.deviceName;
}

}  // namespace

std::vector<DeviceView> list_devices(host::HostState& state) {
    HostLock lock(state);
    return devices_locked(lock);
}

void remove_device(host::HostState& state, const std::string& clientId) {
    OrderedFileWriter::Ticket saved;
    {
        HostLock lock(state);
        if (state.store.remove(clientId) == 0) {
            commands::end_client_sessions(lock, clientId);
            return;
        }
        saved = state.store.save_later();
    }
    // The removal is on the disk before the tray hears of it and before the
    // device's sessions are told; the lock is free meanwhile.
    const bool ok = store::PairedDeviceStore::wait_saved(saved).has_value();
    HostLock lock(state);
    if (ok) state.pendingEvents.push_back(HostEvent{HostEventKind::PairedDevicesChanged, {}, false});
    commands::end_client_sessions(lock, clientId);
}

std::optional<std::string> controlling_device(host::HostState& state) {
    HostLock lock(state);
    return controlling_locked(lock);
}

Endpoints endpoints(host::HostState& state, const discovery::SharedNetworkSnapshot& network) {
    const discovery::NetworkSnapshot net = network.get();
    std::uint16_t port = 0;
    {
        HostLock lock(state);
        port = state.info.udpPort;
    }
    return Endpoints{discovery::lan_endpoints(net, port), discovery::tailscale_endpoints(net, port)};
}

void release_all_input(host::HostState& state) {
    HostLock lock(state);
    input::release_all(lock);
}

HostView host_view(host::HostState& state, const gamepad::GamepadOutput* gamepad) {
    HostLock lock(state);
    HostView view;
    view.controllingDevice = controlling_locked(lock);
    view.controllerOn = view.controllingDevice && state.input.lastSeenControllerSwitch;
    view.devices = devices_locked(lock);
    if (gamepad) view.mapping = gamepad->mapping();
    return view;
}

pad_mapping::PadMapping current_mapping(host::HostState& state, const gamepad::GamepadOutput& gamepad) {
    HostLock lock(state);
    return gamepad.mapping();
}

Status install_mapping(host::HostState& state, gamepad::GamepadOutput& gamepad,
                       const std::filesystem::path& dataDir, const pad_mapping::PadMapping& mapping) {
    {
        HostLock lock(state);
        gamepad.install(lock, mapping);
    }
    // Written after unlocking: the file is flushed to disk, which input
    // must never wait for.
    return pad_mapping::save_mapping(dataDir, mapping);
}

namespace {

template <typename Change>
pad_mapping::PadMapping change_mapping(host::HostState& state, gamepad::GamepadOutput& gamepad,
                                       const std::filesystem::path& dataDir, Change change) {
    pad_mapping::PadMapping next;
    {
        HostLock lock(state);
        next = change(gamepad.mapping());
        gamepad.install(lock, next);
    }
    (void)pad_mapping::save_mapping(dataDir, next);  // the tray reports no failure
    return next;
}

}  // namespace

pad_mapping::PadMapping apply_preset(host::HostState& state, gamepad::GamepadOutput& gamepad,
                                     const std::filesystem::path& dataDir, std::uint8_t index) {
    return change_mapping(state, gamepad, dataDir, [index](const pad_mapping::PadMapping& current) {
        return pad_mapping::applyPreset(current, index);
    });
}

pad_mapping::PadMapping set_output(host::HostState& state, gamepad::GamepadOutput& gamepad,
                                   const std::filesystem::path& dataDir, bool useMapping) {
    return change_mapping(state, gamepad, dataDir, [useMapping](pad_mapping::PadMapping current) {
        current.useMapping = useMapping;
        return current;
    });
}

}  // namespace hp::host_ops
