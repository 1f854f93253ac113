#pragma once
// The client's half of pairing and authentication, without sockets: the
// bodies it sends, the checks of what the host answers, and the keys both
// sides end up with. Every function is a pure function of its inputs and
// the identity and ephemeral values it is given.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/bytes.h"
#include "base/result.h"
#include "crypto/crypto.h"

namespace hp::client {

// The long-term identity of this client: an id of 1 to 128 bytes, the name
// the host shows, and the Ed25519 seed whose public key the host pins.
struct Identity {
    std::string clientId;
    std::string deviceName;
    std::string deviceModel;
    crypto::Key32 seed{};

    crypto::Key32 public_key() const { return crypto::ed25519_public_key(seed); }
    // A random version-4 UUID as id and a random seed.
    static Identity generate(std::string deviceName, std::string deviceModel);
};

// What the client keeps about the host it paired with.
struct PinnedHost {
    std::string hostId;
    std::string hostName;
    crypto::Key32 publicKey{};
    std::string endpoint;  // where it was reached, "host:port"
    std::uint16_t udpPort = 0;
    std::uint64_t pairedAtUnix = 0;
    // First 16 lowercase hex digits of SHA-256 of the public key.
    std::string fingerprint() const { return crypto::fingerprint(publicKey); }
};

// One handshake's fresh X25519 key pair and 16-byte nonce.
struct Ephemeral {
    crypto::Key32 secret{};
    crypto::Key32 publicKey{};
    crypto::Nonce16 nonce{};
    Ephemeral() = default;
    Ephemeral(const Ephemeral&) = default;
    Ephemeral& operator=(const Ephemeral&) = default;
    ~Ephemeral() { crypto::wipe(secret); }
    static Ephemeral generate();
    static Ephemeral from(const crypto::Key32& secret, const crypto::Nonce16& nonce);
};

// --- what the host sends ---------------------------------------------------------

// HostInfo (0x14).
struct HostInfo {
    std::string hostId;
    std::string name;
    std::string os;
    std::string fingerprint;
    std::uint16_t udpPort = 0;
};
std::optional<HostInfo> parse_host_info(ByteView body);

// PairChallenge (0x11) and AuthChallenge (0x21); the Ed25519 key comes only
// with pairing, the signature and UDP port only with authentication.
struct Challenge {
    std::string hostId;
    std::string hostName;
    std::string osType;
    crypto::Key32 hostX25519Pub{};
    crypto::Key32 hostEd25519Pub{};
    crypto::Nonce16 hostNonce{};
    crypto::Sig64 hostSig{};
    std::uint16_t udpPort = 0;
    std::vector<std::string> lanEndpoints;
    std::vector<std::string> tailscaleEndpoints;
    std::string deviceType;
};
std::optional<Challenge> parse_pair_challenge(ByteView body);
std::optional<Challenge> parse_auth_challenge(ByteView body);

// The reason member of PairRejected, AuthRejected and SessionEnded.
std::string parse_reason(ByteView body);

// --- pairing ---------------------------------------------------------------------

class Pairing {
public:
    Pairing(Identity identity, Ephemeral ephemeral) : identity_(std::move(identity)), ephemeral_(ephemeral) {}

    // PairRequest (0x10): the six members in order.
    std::string request_body() const;

    // Reads PairChallenge, derives the keys with the code and returns the
    // PairConfirm (0x12) body. When the client knows the host from its link
    // (id and key), a challenge from any other host is refused.
    Result<std::string> confirm_body(ByteView challengeBody, std::string_view code,
                                     const std::optional<std::string>& expectedHostId = std::nullopt,
                                     const std::optional<crypto::Key32>& expectedHostKey = std::nullopt);

    // Checks hostMacHex and hostSigHex of PairAccepted (0x13) and returns the
    // host to pin (endpoint left empty).
    Result<PinnedHost> accept(ByteView acceptedBody) const;

    // Available once confirm_body succeeded.
    const Bytes& transcript() const { return transcript_; }
    const crypto::Key32& session_key() const { return sessionKey_.bytes(); }
    const Challenge& challenge() const { return challenge_; }

private:
    Identity identity_;
    Ephemeral ephemeral_;
    Challenge challenge_;
    Bytes transcript_;
    crypto::SessionKey sessionKey_;
    crypto::SessionKey confirmKey_;
};

// --- authentication --------------------------------------------------------------

class Authentication {
public:
    Authentication(Identity identity, PinnedHost host, Ephemeral ephemeral)
        : identity_(std::move(identity)), host_(std::move(host)), ephemeral_(ephemeral) {}

    // AuthHello (0x20): clientId, deviceName, clientX25519PubHex, clientNonceHex.
    std::string hello_body() const;

    // Reads AuthChallenge, checks that it comes from the pinned host (id and
    // signature), derives the session key and returns the AuthResponse
    // (0x22) body.
    Result<std::string> response_body(ByteView challengeBody);

    const Bytes& transcript() const { return transcript_; }
    const crypto::Key32& session_key() const { return sessionKey_.bytes(); }
    const Challenge& challenge() const { return challenge_; }

private:
    Identity identity_;
    PinnedHost host_;
    Ephemeral ephemeral_;
    Challenge challenge_;
    Bytes transcript_;
    crypto::SessionKey sessionKey_;
};

}  // namespace hp::client
