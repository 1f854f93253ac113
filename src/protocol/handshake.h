#pragma once
// Pairing and authentication: the step the host takes for every frame
// received before a session exists. The step reaches the host's shared parts
// only through HandshakeHost; the host runs it with its lock free, against
// copies of the pairing slot and lookups of the store it checks again under
// the lock afterwards (commands/handshake.cpp).
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "base/bytes.h"
#include "base/ip_address.h"
#include "crypto/crypto.h"
#include "protocol/frame.h"
#include "protocol/handshake_host.h"
#include "protocol/messages.h"

namespace hp::protocol {

// The active pairing code and its failure count.
struct PairingSlot {
    std::optional<std::string> code;
    std::uint8_t failures = 0;
    friend bool operator==(const PairingSlot&, const PairingSlot&) = default;
};

// What the host tells clients about itself.
struct HostInfo {
    std::string hostName;
    std::string deviceType = "desktop";  // or "laptop"
    std::string osType = std::string(kOsType);  // or kOsTypeLinux
    std::uint16_t tcpPort = 0;
    std::uint16_t udpPort = 0;
};

// Fills a buffer with random bytes.
using RandomSource = std::function<void(std::span<std::uint8_t>)>;

// The part of the host a handshake reads and changes. The caller sees to it
// that no one else changes them while the step runs (by holding the host's
// lock, or by handing in copies and a view it checks afterwards).
struct HandshakeHost {
    const HostIdentity& identity;
    const HostInfo& info;
    PairingSlot& pairing;
    PairedDevices& devices;
    // Where each handshake's ephemeral X25519 secret and then its host nonce
    // come from. Empty, as the host always leaves it: the system's generator.
    // The published test vectors hand in fixed bytes here.
    RandomSource random{};
};

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
    crypto::SessionKey sessionKey;
    std::vector<Frame> plainFrames;   // sent before encryption starts
    std::vector<Frame> secureFrames;  // sent encrypted, first with counter 0
};

struct HandshakeOutcome {
    enum class Kind { Reply, ReplyAndClose, Reject, Established };
    Kind kind = Kind::Reject;
    std::vector<Frame> frames;  // Reply, ReplyAndClose
    std::optional<protocol::Established> established;
    // What the host announces once its lock is released.
    bool codeRevoked = false;                // the fifth wrong confirmation withdrew the code
    std::optional<std::string> pairedDevice;  // a device paired (its name)
    // A pairing replaced the record of this client id, which held another
    // key: the sessions that key opened end before the new one is
    // registered. Set whenever the record was replaced, also when the store
    // then could not be saved (the host holds the new key either way).
    std::optional<std::string> rekeyedClientId;
};

// The largest clientId and deviceName a client may send; longer ones are
// refused before any handshake work.
inline constexpr std::size_t kMaxClientIdBytes = 128;
inline constexpr std::size_t kMaxDeviceNameBytes = 256;

// Handles one frame received before a session exists.
HandshakeOutcome handle_handshake_frame(HandshakeState& hs, const HandshakeHost& host,
                                        const HostAddresses& net, const IpAddress& peer,
                                        std::uint8_t type, ByteView body);

// A uniform six-digit code from a 32-bit draw (rejection above 4293999999).
std::string pairing_code_from(std::uint32_t (*draw)());
// Draws a new code into the slot (failures reset) and returns it.
std::string new_pairing_code(PairingSlot& slot);
// Withdraws the code; the failure count is left as it is.
void clear_pairing_code(PairingSlot& slot);

// Percent-encoding of the pairing link: unreserved bytes kept, others %XX.
std::string percent_encode(std::string_view s);
// The endpoint a pairing link names for one address list: the first IPv4
// address, else the first address, with the port; empty for an empty list.
std::string link_endpoint(std::span<const IpAddress> list, std::uint16_t port);
// hearthpad://pair?v=1&id=…&name=…&os=windows&lan=…&ts=…&pk=…&code=…
std::string pairing_link(const HostIdentity& identity, const HostInfo& info, const HostAddresses& net,
                         std::string_view code);

}  // namespace hp::protocol
