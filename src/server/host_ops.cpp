#include "server/host_ops.h"

#include "input/executor.h"

namespace hp::server {

void remove_paired_device(HostState& state, const std::string& clientId) {
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

std::vector<DeviceView> list_devices(const HostState& state) {
    std::vector<DeviceView> out;
    for (const auto& r : state.store.records()) {
        DeviceView v{r.clientId, r.deviceName, false};
        for (const auto& [id, entry] : state.sessions)
            if (entry.clientId == r.clientId) v.online = true;
        out.push_back(std::move(v));
    }
    return out;
}

std::optional<std::string> controlling_device(const HostState& state) {
    if (!state.input.activeClient) return std::nullopt;
    auto it = state.sessions.find(*state.input.activeClient);
    if (it == state.sessions.end()) return std::nullopt;
    return it->second.deviceName;
}

}  // namespace hp::server
