#include "server/host_ops.h"

#include "input/executor.h"
#include "protocol/handshake.h"

namespace hp::server {

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
    return offer;
}

void withdraw_pairing_code(host::HostState& state) {
    HostLock lock(state);
    protocol::clear_pairing_code(state.pairing);
}

std::vector<DeviceView> list_devices(host::HostState& state) {
    HostLock lock(state);
    std::vector<DeviceView> out;
    for (const auto& r : state.store.records()) {
        DeviceView v{r.clientId, r.deviceName, false};
        for (const auto& [id, entry] : state.sessions)
            if (entry.clientId == r.clientId) v.online = true;
        out.push_back(std::move(v));
    }
    return out;
}

void remove_device(host::HostState& state, const std::string& clientId) {
    HostLock lock(state);
    if (state.store.remove(clientId) > 0 && state.store.save())
        state.pendingEvents.push_back(HostEvent{HostEventKind::PairedDevicesChanged, {}, false});
    for (auto& [id, entry] : state.sessions) {
        if (entry.clientId != clientId) continue;
        if (entry.sender) entry.sender->send(SessionMessage{SessionMessage::Kind::RemovedByUser, 0, {}});
        if (state.input.activeClient == id) {
            input::release_all(state);
            state.input.activeClient.reset();
            input::refresh_controller_switch(state);
        }
    }
}

std::optional<std::string> controlling_device(host::HostState& state) {
    HostLock lock(state);
    if (!state.input.activeClient) return std::nullopt;
    auto it = state.sessions.find(*state.input.activeClient);
    if (it == state.sessions.end()) return std::nullopt;
    return it->second.deviceName;
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
    input::release_all(state);
}

}  // namespace hp::server
