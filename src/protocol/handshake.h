#pragma once
// Pairing and authentication: the handler the session loop calls, under the
// HostState lock, for every frame received before a session exists.
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "common/bytes.h"
#include "common/ip_address.h"
#include "crypto/crypto.h"
#include "discovery/network_snapshot.h"
#include "protocol/frame.h"
#include "server/host_state.h"

namespace hp::protocol {

struct AwaitPairConfirm {
    std::string clientId, deviceName, deviceModel;
    crypto::Key32 clientX25519Pub{}, clientEd25519Pub{};
    crypto::Nonce16 clientNonce{};
    crypto::X25519KeyPair host;
    crypto::Nonce16 hostNonce{};
};

struct AwaitAuthResponse {
    std::string clientId;
    std::string deviceName;  // the session's device name
    Bytes transcript;
    crypto::Key32 clientX25519Pub{}, clientEd25519Pub{};
    crypto::Nonce16 clientNonce{};
    crypto::X25519KeyPair host;
    crypto::Nonce16 hostNonce{};
};

using HandshakeState = std::variant<std::monostate, AwaitPairConfirm, AwaitAuthResponse>;

struct Established {
    std::string clientId;
    std::string deviceName;
    crypto::Key32 sessionKey{};
    std::vector<Frame> plainFrames;   // sent before encryption starts
    std::vector<Frame> secureFrames;  // sent encrypted, first with counter 0
};

struct HandshakeOutcome {
    enum class Kind { Reply, ReplyAndClose, Reject, Established };
    Kind kind = Kind::Reject;
    std::vector<Frame> frames;  // Reply, ReplyAndClose
    std::optional<protocol::Established> established;
};

// `state` must be locked by the caller. Events are queued in pendingEvents.
HandshakeOutcome handle_handshake_frame(HandshakeState& hs, HostState& state,
                                        const NetworkSnapshot& net, const IpAddress& peer,
                                        std::uint8_t type, ByteView body);

// A uniform six-digit code from a 32-bit draw (rejection above 4293999999).
std::string pairing_code_from(std::uint32_t (*draw)());
// Draws a new code into the slot (failures reset) and returns it.
std::string new_pairing_code(HostState& state);
// Withdraws the code; the failure count is left as it is.
void clear_pairing_code(HostState& state);

// Percent-encoding of the pairing link: unreserved bytes kept, others %XX.
std::string percent_encode(std::string_view s);
// hearthpad://pair?v=1&id=…&name=…&os=windows&lan=…&ts=…&pk=…&code=…
std::string pairing_link(const HostState& state, const NetworkSnapshot& net,
                         std::string_view code);

}  // namespace hp::protocol
