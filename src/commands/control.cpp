// Who is in control: the client whose command came last, the controller
// switch that follows its session, and what a session that ends leaves.
#include <utility>

#include "commands/commands.h"
#include "input/held_input.h"

namespace hp::commands {

using host::HostState;
using host::SessionMessage;

void refresh_controller_switch(const host::Locked& locked) {
    HostState& state = *locked;
    host::InputState& in = state.input;
    const host::SessionEntry* entry = nullptr;
    if (in.activeClient) {
        const auto it = state.sessions.find(*in.activeClient);
        if (it != state.sessions.end()) entry = &it->second;
    }
    const bool wanted = entry != nullptr && entry->controllerEnabled;
    if (wanted == in.lastSeenControllerSwitch) return;
    in.lastSeenControllerSwitch = wanted;
    if (wanted != in.padEnabled) {
        in.padEnabled = wanted;
        if (!wanted) input::reset_pad(locked);
    }
    if (state.pad) state.pad->setSwitch(locked, in.padEnabled, entry == nullptr);
    state.log(wanted ? "switch on" : "switch off");
    host::HostEvent event;
    event.kind = host::HostEventKind::ControllerSwitched;
    if (entry) event.deviceName = entry->deviceName;
    event.controllerOn = wanted;
    state.pendingEvents.push_back(std::move(event));
}

void set_active_client(const host::Locked& locked, std::uint64_t sessionId) {
    HostState& state = *locked;
    if (state.input.activeClient == sessionId) return;
    input::release_all(locked);
    state.input.activeClient = sessionId;
    refresh_controller_switch(locked);
}

void release_control(const host::Locked& locked, std::uint64_t sessionId) {
    HostState& state = *locked;
    if (state.input.activeClient != sessionId) return;
    input::release_all(locked);
    state.input.activeClient.reset();
    refresh_controller_switch(locked);
}

void end_client_sessions(const host::Locked& locked, std::string_view clientId) {
    for (auto& [id, entry] : locked->sessions) {
        if (entry.clientId != clientId) continue;
        if (entry.sender) entry.sender->send(SessionMessage{SessionMessage::Kind::RemovedByUser, 0, {}});
        release_control(locked, id);
    }
}

}  // namespace hp::commands
