#pragma once
// What the handshakes need to know of the host, as plain values and one
// narrow interface, so that the codecs depend on no store and no discovery:
// the store implements PairedDevices (store/paired_store.h), and discovery's
// snapshot gives its addresses as HostAddresses (discovery/network_snapshot.h).
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/ip_address.h"
#include "base/result.h"
#include "crypto/crypto.h"

namespace hp::protocol {

// The host's long-lived identity: host id and Ed25519 key pair.
struct HostIdentity {
    std::string hostId;
    crypto::Key32 seed{};
    crypto::Key32 publicKey{};  // derived from seed
};

// Where the host can be reached: borrowed for the length of one call.
struct HostAddresses {
    std::span<const IpAddress> lan;
    std::span<const IpAddress> tailscale;
    std::string_view tailscaleDnsName;  // empty when unknown
};

// Endpoint strings for the handshake replies: every address with the port;
// the Tailscale list ends with the MagicDNS name when it is known.
std::vector<std::string> lan_endpoints(const HostAddresses& addresses, std::uint16_t port);
std::vector<std::string> tailscale_endpoints(const HostAddresses& addresses, std::uint16_t port);

// A paired client as the handshakes see it.
struct PairedClient {
    std::string deviceName;
    // The key it paired with; nothing when the stored key cannot be read
    // (such a client is treated as unpaired, and pairing again replaces it).
    std::optional<crypto::Key32> ed25519PublicKey;
    friend bool operator==(const PairedClient&, const PairedClient&) = default;
};

// A pairing that succeeded, to be kept.
struct NewPairing {
    std::string_view clientId, deviceName, deviceModel;
    crypto::Key32 ed25519PublicKey{};
    std::string_view remoteIp;
};

// The paired devices, as the handshakes read and change them; guarded as
// the HandshakeHost that carries them says.
class PairedDevices {
public:
    virtual std::optional<PairedClient> paired_client(std::string_view clientId) const = 0;
    // Keeps the pairing (replacing any record of the client id) and saves;
    // an error when it could not be saved.
    virtual Status record_pairing(const NewPairing& pairing) = 0;
    // Notes an authentication from `remoteIp` and saves; a failed save is
    // not the client's problem.
    virtual void record_authentication(std::string_view clientId, std::string_view remoteIp) = 0;

protected:
    PairedDevices() = default;
    PairedDevices(const PairedDevices&) = default;
    PairedDevices& operator=(const PairedDevices&) = default;
    ~PairedDevices() = default;
};

}  // namespace hp::protocol
