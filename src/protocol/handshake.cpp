#include "protocol/handshake.h"

#include "protocol/messages.h"

namespace hp::protocol {

namespace {

using Kind = HandshakeOutcome::Kind;

// What each side's confirmation MAC covers, before the transcript.
constexpr std::string_view kClientConfirmLabel = "CLIENT_CONFIRM";
constexpr std::string_view kHostConfirmLabel = "HOST_CONFIRM";

Frame frame(FrameType type, const std::string& body) {
    return Frame{static_cast<std::uint8_t>(type), Bytes(body.begin(), body.end())};
}

HandshakeOutcome outcome(Kind kind) {
    HandshakeOutcome o;
    o.kind = kind;
    return o;
}

HandshakeOutcome reject() { return outcome(Kind::Reject); }

HandshakeOutcome reply(Frame f) {
    HandshakeOutcome o = outcome(Kind::Reply);
    o.frames.push_back(std::move(f));
    return o;
}

HandshakeOutcome reply_and_close(Frame f) {
    HandshakeOutcome o = outcome(Kind::ReplyAndClose);
    o.frames.push_back(std::move(f));
    return o;
}

HandshakeOutcome refuse(FrameType type, std::string_view reason) {
    return reply_and_close(frame(type, encode_reason(reason)));
}

ChallengeCommon challenge_common(const HandshakeHost& host, const HostAddresses& net) {
    ChallengeCommon c;
    c.hostId = host.identity.hostId;
    c.hostName = host.info.hostName;
    c.deviceType = host.info.deviceType;
    c.osType = host.info.osType;
    c.lanEndpoints = lan_endpoints(net, host.info.udpPort);
    c.tailscaleEndpoints = tailscale_endpoints(net, host.info.udpPort);
    c.udpPort = host.info.udpPort;
    return c;
}

// A handshake's ephemeral key pair and nonce, drawn in that order.
crypto::X25519KeyPair ephemeral_key(const HandshakeHost& host) {
    if (!host.random) return crypto::x25519_keypair();
    crypto::Key32 secret{};
    host.random(secret);
    crypto::X25519KeyPair pair = crypto::x25519_keypair_from(secret);
    crypto::wipe(secret);
    return pair;
}

crypto::Nonce16 host_nonce(const HandshakeHost& host) {
    crypto::Nonce16 n{};
    if (host.random)
        host.random(n);
    else
        crypto::random_bytes(n);
    return n;
}

// Whether the client's stored key is `key` (an unreadable one is no key).
bool holds_key(const PairedClient& client, const crypto::Key32& key) {
    return client.ed25519PublicKey && *client.ed25519PublicKey == key;
}

// A wrong confirmation: the fifth one withdraws the code. Returns whether
// this one did.
bool record_failure(PairingSlot& pairing) {
    if (!pairing.code) return false;
    if (pairing.failures < 255) ++pairing.failures;
    if (pairing.failures < 5) return false;
    pairing.code.reset();
    return true;
}

HandshakeOutcome refuse_invalid_code(PairingSlot& pairing) {
    HandshakeOutcome o = refuse(FrameType::PairRejected, kReasonInvalidCode);
    o.codeRevoked = record_failure(pairing);
    return o;
}

HandshakeOutcome on_info_request(const HandshakeHost& host) {
    return reply_and_close(frame(
        FrameType::HostInfo,
        encode_host_info(host.identity.hostId, host.info.hostName,
                         crypto::fingerprint(host.identity.publicKey), host.info.udpPort, host.info.osType)));
}

HandshakeOutcome on_pair_request(HandshakeState& hs, const HandshakeHost& host,
                                 const HostAddresses& net, ByteView body) {
    auto req = parse_pair_request(body);
    if (!req) return reject();
    if (req->clientId.empty() || req->clientId.size() > kMaxClientIdBytes ||
        req->deviceName.size() > kMaxDeviceNameBytes)
        return reject();
    if (!host.pairing.code || host.pairing.failures >= 5)
        return refuse(FrameType::PairRejected, kReasonNoActiveCode);

    AwaitPairConfirm next;
    next.clientId = std::move(req->clientId);
    next.deviceName = std::move(req->deviceName);
    next.deviceModel = std::move(req->deviceModel);
    next.clientX25519Pub = req->clientX25519Pub;
    next.clientEd25519Pub = req->clientEd25519Pub;
    next.clientNonce = req->clientNonce;
    next.host = ephemeral_key(host);
    next.hostNonce = host_nonce(host);

    std::string body_out = encode_pair_challenge(challenge_common(host, net), next.host.public_key,
                                                 host.identity.publicKey, next.hostNonce);
    hs = std::move(next);
    return reply(frame(FrameType::PairChallenge, body_out));
}

HandshakeOutcome on_pair_confirm(AwaitPairConfirm& p, const HandshakeHost& host, const IpAddress& peer,
                                 ByteView body) {
    auto confirm = parse_pair_confirm(body);
    if (!confirm) return reject();
    if (!host.pairing.code) return refuse(FrameType::PairRejected, kReasonNoActiveCode);

    crypto::Key32 shared = crypto::x25519(p.host.secret, p.clientX25519Pub);
    if (crypto::is_all_zero(shared)) return refuse_invalid_code(host.pairing);
    const Bytes transcript = crypto::pair_transcript(
        p.clientId, host.identity.hostId, p.clientX25519Pub, p.host.public_key,
        p.clientEd25519Pub, host.identity.publicKey, p.clientNonce, p.hostNonce);
    const crypto::PairingKeys keys = crypto::derive_pairing_keys(*host.pairing.code, shared, transcript);
    crypto::wipe(shared);

    Bytes client_confirm;
    append(client_confirm, kClientConfirmLabel);
    append(client_confirm, transcript);
    const crypto::Key32 expected_mac = crypto::hmac_sha256(keys.confirm_key, client_confirm);
    const auto mac = crypto::hex_decode(confirm->clientMacHex, 32);
    const auto sig = crypto::hex_decode_array<64>(confirm->clientSigHex);
    const bool mac_ok = mac && crypto::ct_equal(*mac, expected_mac);
    const bool sig_ok = sig && crypto::ed25519_verify(p.clientEd25519Pub, transcript, *sig);
    if (!mac_ok || !sig_ok) return refuse_invalid_code(host.pairing);

    host.pairing.code.reset();  // a code admits one pairing

    // Pairing again under a client id that holds another key replaces that
    // key: whatever it opened must not outlive it.
    std::optional<std::string> rekeyed;
    if (const auto old = host.devices.paired_client(p.clientId); old && !holds_key(*old, p.clientEd25519Pub))
        rekeyed = p.clientId;

    const std::string remoteIp = peer.unmapped().to_string();
    if (!host.devices.record_pairing(
            {p.clientId, p.deviceName, p.deviceModel, p.clientEd25519Pub, remoteIp})) {
        HandshakeOutcome o = refuse(FrameType::PairRejected, kReasonInternalError);
        o.rekeyedClientId = std::move(rekeyed);
        return o;
    }

    Bytes host_confirm;
    append(host_confirm, kHostConfirmLabel);
    append(host_confirm, transcript);
    const crypto::Key32 host_mac = crypto::hmac_sha256(keys.confirm_key, host_confirm);
    const crypto::Sig64 host_sig = crypto::ed25519_sign(host.identity.seed, transcript);

    HandshakeOutcome o = outcome(Kind::Established);
    o.established.emplace();
    o.established->clientId = p.clientId;
    o.established->deviceName = p.deviceName;
    o.established->sessionKey = crypto::SessionKey(keys.session_key);
    o.established->plainFrames.push_back(
        frame(FrameType::PairAccepted, encode_pair_accepted(host_mac, host_sig, host.info.udpPort)));
    o.pairedDevice = p.deviceName;
    o.rekeyedClientId = std::move(rekeyed);
    return o;
}

HandshakeOutcome on_auth_hello(HandshakeState& hs, const HandshakeHost& host,
                               const HostAddresses& net, ByteView body) {
    auto hello = parse_auth_hello(body);
    if (!hello) return reject();
    // The same limit as at pairing: a name this long costs nothing more.
    if (hello->deviceName.size() > kMaxDeviceNameBytes) return reject();
    const auto record = host.devices.paired_client(hello->clientId);
    if (!record) return refuse(FrameType::AuthRejected, kReasonUnpaired);
    const auto& client_ed = record->ed25519PublicKey;
    if (!client_ed) return refuse(FrameType::AuthRejected, kReasonUnpaired);

    AwaitAuthResponse next;
    next.clientId = hello->clientId;
    next.deviceName = hello->deviceName.empty() ? record->deviceName : hello->deviceName;
    next.clientEd25519Pub = *client_ed;

    const auto client_x = crypto::hex_decode_array<32>(hello->clientX25519PubHex);
    const auto client_nonce = crypto::hex_decode_array<16>(hello->clientNonceHex);
    if (!client_x || !client_nonce) return reject();
    next.clientX25519Pub = *client_x;
    next.clientNonce = *client_nonce;
    next.host = ephemeral_key(host);
    next.hostNonce = host_nonce(host);
    next.transcript = crypto::auth_transcript(next.clientId, host.identity.hostId,
                                              next.clientX25519Pub, next.host.public_key,
                                              next.clientNonce, next.hostNonce);
    const crypto::Sig64 host_sig = crypto::ed25519_sign(host.identity.seed, next.transcript);

    std::string body_out = encode_auth_challenge(challenge_common(host, net), next.host.public_key,
                                                 next.hostNonce, host_sig);
    hs = std::move(next);
    return reply(frame(FrameType::AuthChallenge, body_out));
}

HandshakeOutcome on_auth_response(AwaitAuthResponse& a, const HandshakeHost& host, const IpAddress& peer,
                                  ByteView body) {
    auto response = parse_auth_response(body);
    if (!response) return reject();
    const auto sig = crypto::hex_decode_array<64>(response->clientSigHex);
    if (!sig) return reject();
    if (!crypto::ed25519_verify(a.clientEd25519Pub, a.transcript, *sig)) return reject();
    // The record must still hold the key that AuthHello found: removed in
    // between, or paired again with another key, the client is unpaired.
    const auto record = host.devices.paired_client(a.clientId);
    if (!record || !holds_key(*record, a.clientEd25519Pub))
        return refuse(FrameType::AuthRejected, kReasonUnpaired);

    crypto::Key32 shared = crypto::x25519(a.host.secret, a.clientX25519Pub);
    if (crypto::is_all_zero(shared)) return reject();
    const crypto::SessionKey key(
        crypto::derive_auth_session_key(a.clientNonce, a.hostNonce, shared, a.transcript));
    crypto::wipe(shared);

    host.devices.record_authentication(a.clientId, peer.unmapped().to_string());

    HandshakeOutcome o = outcome(Kind::Established);
    o.established.emplace();
    o.established->clientId = a.clientId;
    o.established->deviceName = a.deviceName;
    o.established->sessionKey = key;
    o.established->secureFrames.push_back(frame(FrameType::AuthAccepted, std::string(kAuthAcceptedBody)));
    return o;
}

}  // namespace

HandshakeOutcome handle_handshake_frame(HandshakeState& hs, const HandshakeHost& host,
                                        const HostAddresses& net, const IpAddress& peer,
                                        std::uint8_t type, ByteView body) {
    if (std::holds_alternative<std::monostate>(hs)) {
        switch (static_cast<FrameType>(type)) {
            case FrameType::PairRequest:
                if (body.empty()) return on_info_request(host);
                return on_pair_request(hs, host, net, body);
            case FrameType::AuthHello: return on_auth_hello(hs, host, net, body);
            default: return reject();
        }
    }
    // Any frame in a waiting step ends that step, whatever happens.
    HandshakeState current = std::move(hs);
    hs = std::monostate{};
    if (auto* p = std::get_if<AwaitPairConfirm>(&current)) {
        if (type != static_cast<std::uint8_t>(FrameType::PairConfirm)) return reject();
        return on_pair_confirm(*p, host, peer, body);
    }
    auto& a = std::get<AwaitAuthResponse>(current);
    if (type != static_cast<std::uint8_t>(FrameType::AuthResponse)) return reject();
    return on_auth_response(a, host, peer, body);
}

std::string pairing_code_from(std::uint32_t (*draw)()) {
    std::uint32_t n = draw();
    while (n > 4293999999u) n = draw();
    std::string code = std::to_string(n % 1000000u);
    return std::string(6 - code.size(), '0') + code;
}

std::string new_pairing_code(PairingSlot& slot) {
    std::string code = pairing_code_from(&crypto::random_u32);
    slot.code = code;
    slot.failures = 0;
    return code;
}

void clear_pairing_code(PairingSlot& slot) { slot.code.reset(); }

std::string percent_encode(std::string_view s) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~') {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

std::vector<std::string> lan_endpoints(const HostAddresses& addresses, std::uint16_t port) {
    std::vector<std::string> out;
    out.reserve(addresses.lan.size());
    for (const auto& a : addresses.lan) out.push_back(format_endpoint(a, port));
    return out;
}

std::vector<std::string> tailscale_endpoints(const HostAddresses& addresses, std::uint16_t port) {
    std::vector<std::string> out;
    out.reserve(addresses.tailscale.size() + 1);
    for (const auto& a : addresses.tailscale) out.push_back(format_endpoint(a, port));
    if (!addresses.tailscaleDnsName.empty())
        out.push_back(std::string(addresses.tailscaleDnsName) + ":" + std::to_string(port));
    return out;
}

std::string link_endpoint(std::span<const IpAddress> list, std::uint16_t port) {
    for (const auto& a : list)
        if (a.is_v4()) return format_endpoint(a, port);
    return list.empty() ? std::string() : format_endpoint(list.front(), port);
}

std::string pairing_link(const HostIdentity& identity, const HostInfo& info, const HostAddresses& net,
                         std::string_view code) {
    std::string link = "hearthpad://pair?v=1&id=" + percent_encode(identity.hostId);
    link += "&name=" + percent_encode(info.hostName);
    link += "&os=" + percent_encode(info.osType);
    link += "&lan=" + percent_encode(link_endpoint(net.lan, info.tcpPort));
    link += "&ts=" + percent_encode(link_endpoint(net.tailscale, info.tcpPort));
    link += "&pk=" + crypto::hex_encode(identity.publicKey);
    link += "&code=";
    link += code;
    return link;
}

}  // namespace hp::protocol
