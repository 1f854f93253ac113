// Handshake frames: the protocol's step applied to the host record.
#include "commands/commands.h"

namespace hp::commands {

using host::HostEvent;
using host::HostEventKind;
using host::HostLock;

protocol::HandshakeOutcome handshake_frame(host::HostState& state, protocol::HandshakeState& hs,
                                           const protocol::HostAddresses& net, const IpAddress& peer,
                                           std::uint8_t type, ByteView body, const RegisterSession& registerSession,
                                           const protocol::RandomSource& random) {
    using Kind = protocol::HandshakeOutcome::Kind;
    HostLock lock(state);
    protocol::HandshakeHost host = state.handshake_host(lock);
    host.random = random;
    protocol::HandshakeOutcome outcome = protocol::handle_handshake_frame(hs, host, net, peer, type, body);
    if (outcome.codeRevoked)
        state.pendingEvents.push_back(HostEvent{HostEventKind::PairingCodeRevoked, {}, false});
    if (outcome.pairedDevice) {
        state.pendingEvents.push_back(HostEvent{HostEventKind::DevicePaired, *outcome.pairedDevice, false});
        state.pendingEvents.push_back(HostEvent{HostEventKind::PairedDevicesChanged, {}, false});
    }
    if (outcome.rekeyedClientId) end_client_sessions(lock, *outcome.rekeyedClientId);
    if (outcome.kind == Kind::Established) registerSession(lock, *outcome.established);
    return outcome;
}

}  // namespace hp::commands
