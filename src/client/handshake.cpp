#include "client/handshake.h"

#include "base/json.h"

namespace hp::client {

namespace {

using nlohmann::json;

std::optional<json> object_of(ByteView body) {
    auto j = parse_strict(body);
    if (!j || !j->is_object()) return std::nullopt;
    return j;
}

std::optional<std::string> text(const json& j, const char* name) {
    const auto it = j.find(name);
    if (it == j.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

template <std::size_t N>
std::optional<ByteArray<N>> hex(const json& j, const char* name) {
    const auto t = text(j, name);
    if (!t) return std::nullopt;
    return crypto::hex_decode_array<N>(*t);
}

std::optional<std::uint16_t> port(const json& j, const char* name) {
    const auto it = j.find(name);
    if (it == j.end() || !it->is_number_unsigned()) return std::nullopt;
    const auto v = it->get<std::uint64_t>();
    if (v > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(v);
}

std::optional<std::vector<std::string>> texts(const json& j, const char* name) {
    const auto it = j.find(name);
    if (it == j.end()) return std::vector<std::string>{};  // an address list may be left out
    if (!it->is_array()) return std::nullopt;
    std::vector<std::string> out;
    for (const auto& e : *it) {
        if (!e.is_string()) return std::nullopt;
        out.push_back(e.get<std::string>());
    }
    return out;
}

// The members both challenges share.
std::optional<Challenge> challenge_common(const json& j) {
    Challenge c;
    auto hostId = text(j, "hostId");
    auto hostX = hex<32>(j, "hostX25519PubHex");
    auto nonce = hex<16>(j, "hostNonceHex");
    auto lan = texts(j, "lanEndpoints");
    auto ts = texts(j, "tailscaleEndpoints");
    if (!hostId || !hostX || !nonce || !lan || !ts) return std::nullopt;
    c.hostId = std::move(*hostId);
    c.hostName = text(j, "hostName").value_or("");
    c.osType = text(j, "osType").value_or("");
    c.hostX25519Pub = *hostX;
    c.hostNonce = *nonce;
    c.lanEndpoints = std::move(*lan);
    c.tailscaleEndpoints = std::move(*ts);
    c.deviceType = text(j, "deviceType").value_or("");
    return c;
}

Bytes labelled(std::string_view label, const Bytes& transcript) {
    Bytes out;
    append(out, label);
    append(out, transcript);
    return out;
}

}  // namespace

Identity Identity::generate(std::string deviceName, std::string deviceModel) {
    Identity id;
    auto raw = crypto::random_bytes(16);
    raw[6] = static_cast<std::uint8_t>((raw[6] & 0x0f) | 0x40);
    raw[8] = static_cast<std::uint8_t>((raw[8] & 0x3f) | 0x80);
    const std::string h = crypto::hex_encode(raw);
    id.clientId = h.substr(0, 8) + "-" + h.substr(8, 4) + "-" + h.substr(12, 4) + "-" + h.substr(16, 4) +
                  "-" + h.substr(20, 12);
    id.deviceName = std::move(deviceName);
    id.deviceModel = std::move(deviceModel);
    crypto::random_bytes(id.seed);
    return id;
}

Ephemeral Ephemeral::from(const crypto::Key32& secret, const crypto::Nonce16& nonce) {
    const crypto::X25519KeyPair pair = crypto::x25519_keypair_from(secret);
    Ephemeral e;
    e.secret = pair.secret;
    e.publicKey = pair.public_key;
    e.nonce = nonce;
    return e;
}

Ephemeral Ephemeral::generate() {
    crypto::Key32 secret{};
    crypto::Nonce16 nonce{};
    crypto::random_bytes(secret);
    crypto::random_bytes(nonce);
    Ephemeral e = from(secret, nonce);
    crypto::wipe(secret);
    return e;
}

// --- host messages ---------------------------------------------------------------

std::optional<HostInfo> parse_host_info(ByteView body) {
    const auto j = object_of(body);
    if (!j) return std::nullopt;
    HostInfo info;
    auto hostId = text(*j, "hostId");
    auto fp = text(*j, "fp");
    auto udp = port(*j, "udpPort");
    if (!hostId || !fp || !udp) return std::nullopt;
    info.hostId = std::move(*hostId);
    info.name = text(*j, "name").value_or("");
    info.os = text(*j, "os").value_or("");
    info.fingerprint = std::move(*fp);
    info.udpPort = *udp;
    return info;
}

std::optional<Challenge> parse_pair_challenge(ByteView body) {
    const auto j = object_of(body);
    if (!j) return std::nullopt;
    auto c = challenge_common(*j);
    const auto hostEd = hex<32>(*j, "hostEd25519PubHex");
    if (!c || !hostEd) return std::nullopt;
    c->hostEd25519Pub = *hostEd;
    return c;
}

std::optional<Challenge> parse_auth_challenge(ByteView body) {
    const auto j = object_of(body);
    if (!j) return std::nullopt;
    auto c = challenge_common(*j);
    const auto sig = hex<64>(*j, "hostSigHex");
    const auto udp = port(*j, "udpPort");
    if (!c || !sig || !udp) return std::nullopt;
    c->hostSig = *sig;
    c->udpPort = *udp;
    return c;
}

std::string parse_reason(ByteView body) {
    const auto j = object_of(body);
    if (!j) return {};
    return text(*j, "reason").value_or("");
}

// --- pairing ---------------------------------------------------------------------

std::string Pairing::request_body() const {
    JsonWriter w;
    w.begin_object()
        .key("clientId").string(identity_.clientId)
        .key("deviceName").string(identity_.deviceName)
        .key("deviceModel").string(identity_.deviceModel)
        .key("clientX25519PubHex").string(crypto::hex_encode(ephemeral_.publicKey))
        .key("clientEd25519PubHex").string(crypto::hex_encode(identity_.public_key()))
        .key("clientNonceHex").string(crypto::hex_encode(ephemeral_.nonce))
        .end_object();
    return w.take();
}

Result<std::string> Pairing::confirm_body(ByteView challengeBody, std::string_view code,
                                          const std::optional<std::string>& expectedHostId,
                                          const std::optional<crypto::Key32>& expectedHostKey) {
    auto challenge = parse_pair_challenge(challengeBody);
    if (!challenge) return fail("the host's PairChallenge is malformed");
    if (expectedHostId && challenge->hostId != *expectedHostId)
        return fail("the host answering is not the one in the pairing link (host id " + challenge->hostId +
                    ", the link names " + *expectedHostId + ")");
    if (expectedHostKey && challenge->hostEd25519Pub != *expectedHostKey)
        return fail("the host answering is not the one in the pairing link (its key has fingerprint " +
                    crypto::fingerprint(challenge->hostEd25519Pub) + ", the link's has " +
                    crypto::fingerprint(*expectedHostKey) + ")");
    challenge_ = std::move(*challenge);

    transcript_ = crypto::pair_transcript(identity_.clientId, challenge_.hostId, ephemeral_.publicKey,
                                          challenge_.hostX25519Pub, identity_.public_key(),
                                          challenge_.hostEd25519Pub, ephemeral_.nonce, challenge_.hostNonce);
    crypto::Key32 shared = crypto::x25519(ephemeral_.secret, challenge_.hostX25519Pub);
    if (crypto::is_all_zero(shared)) return fail("the host's key agreement gives all zeros");
    const crypto::PairingKeys keys = crypto::derive_pairing_keys(code, shared, transcript_);
    crypto::wipe(shared);
    sessionKey_ = crypto::SessionKey(keys.session_key);
    confirmKey_ = crypto::SessionKey(keys.confirm_key);

    const crypto::Key32 mac = crypto::hmac_sha256(keys.confirm_key, labelled("CLIENT_CONFIRM", transcript_));
    const crypto::Sig64 sig = crypto::ed25519_sign(identity_.seed, transcript_);
    JsonWriter w;
    w.begin_object()
        .key("clientMacHex").string(crypto::hex_encode(mac))
        .key("clientSigHex").string(crypto::hex_encode(sig))
        .end_object();
    return w.take();
}

Result<PinnedHost> Pairing::accept(ByteView acceptedBody) const {
    const auto j = object_of(acceptedBody);
    if (!j) return fail("the host's PairAccepted is malformed");
    const auto mac = hex<32>(*j, "hostMacHex");
    const auto sig = hex<64>(*j, "hostSigHex");
    const auto udp = port(*j, "udpPort");
    if (!mac || !sig || !udp) return fail("the host's PairAccepted is malformed");
    const crypto::Key32 expected =
        crypto::hmac_sha256(confirmKey_.bytes(), labelled("HOST_CONFIRM", transcript_));
    if (!crypto::ct_equal(expected, *mac)) return fail("the host's confirmation MAC does not match");
    if (!crypto::ed25519_verify(challenge_.hostEd25519Pub, transcript_, *sig))
        return fail("the host's signature does not verify");
    PinnedHost host;
    host.hostId = challenge_.hostId;
    host.hostName = challenge_.hostName;
    host.publicKey = challenge_.hostEd25519Pub;
    host.udpPort = *udp;
    return host;
}

// --- authentication --------------------------------------------------------------

std::string Authentication::hello_body() const {
    JsonWriter w;
    w.begin_object()
        .key("clientId").string(identity_.clientId)
        .key("deviceName").string(identity_.deviceName)
        .key("clientX25519PubHex").string(crypto::hex_encode(ephemeral_.publicKey))
        .key("clientNonceHex").string(crypto::hex_encode(ephemeral_.nonce))
        .end_object();
    return w.take();
}

Result<std::string> Authentication::response_body(ByteView challengeBody) {
    auto challenge = parse_auth_challenge(challengeBody);
    if (!challenge) return fail("the host's AuthChallenge is malformed");
    if (challenge->hostId != host_.hostId)
        return fail("the host answers with host id " + challenge->hostId + ", not the paired " + host_.hostId);
    challenge_ = std::move(*challenge);
    transcript_ = crypto::auth_transcript(identity_.clientId, challenge_.hostId, ephemeral_.publicKey,
                                          challenge_.hostX25519Pub, ephemeral_.nonce, challenge_.hostNonce);
    if (!crypto::ed25519_verify(host_.publicKey, transcript_, challenge_.hostSig))
        return fail("the host's signature does not verify with the paired host's key");
    crypto::Key32 shared = crypto::x25519(ephemeral_.secret, challenge_.hostX25519Pub);
    if (crypto::is_all_zero(shared)) return fail("the host's key agreement gives all zeros");
    sessionKey_ = crypto::SessionKey(
        crypto::derive_auth_session_key(ephemeral_.nonce, challenge_.hostNonce, shared, transcript_));
    crypto::wipe(shared);
    const crypto::Sig64 sig = crypto::ed25519_sign(identity_.seed, transcript_);
    JsonWriter w;
    w.begin_object().key("clientSigHex").string(crypto::hex_encode(sig)).end_object();
    return w.take();
}

}  // namespace hp::client
