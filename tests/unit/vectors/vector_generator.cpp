#include "vector_generator.h"

#include <deque>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "base/json.h"
#include "client/connection.h"
#include "client/handshake.h"
#include "client/input.h"
#include "discovery/network_snapshot.h"
#include "protocol/datagram.h"
#include "protocol/frame.h"
#include "protocol/handshake.h"
#include "protocol/messages.h"
#include "store/identity.h"
#include "store/paired_store.h"

namespace hp::vectors {

namespace {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;
using protocol::FrameType;
using protocol::HandshakeOutcome;
using protocol::type_byte;
using Kind = HandshakeOutcome::Kind;

// --- the fixed inputs ------------------------------------------------------------

// N bytes counting up from `first`: easy to recognise in a hex dump.
template <std::size_t N>
ByteArray<N> counting(std::uint8_t first) {
    ByteArray<N> out{};
    for (std::size_t i = 0; i < N; ++i) out[i] = static_cast<std::uint8_t>(first + i);
    return out;
}

constexpr std::string_view kHostId = "7d0c3f4e-6a1b-4c2d-9e8f-0a1b2c3d4e5f";
constexpr std::string_view kHostName = "Büro PC";
constexpr std::uint16_t kPort = 49182;
constexpr std::string_view kCode = "042917";
constexpr std::string_view kWrongCode = "111111";
constexpr std::string_view kClientId = "c0ffee00-1234-4abc-8def-0123456789ab";
constexpr std::uint64_t kPingTs = 1700000000000;

const auto kHostSeed = counting<32>(0xa0);
const auto kClientSeed = counting<32>(0x01);
// Pairing: ephemeral X25519 secrets and nonces.
const auto kPairClientSecret = counting<32>(0x20);
const auto kPairClientNonce = counting<16>(0x40);
const auto kPairHostSecret = counting<32>(0x50);
const auto kPairHostNonce = counting<16>(0x70);
// Authentication.
const auto kAuthClientSecret = counting<32>(0x80);
const auto kAuthClientNonce = counting<16>(0x10);
const auto kAuthHostSecret = counting<32>(0xc0);
const auto kAuthHostNonce = counting<16>(0xe0);

std::string hex(ByteView b) { return crypto::hex_encode(b); }

std::string type_text(std::uint8_t type) {
    static constexpr char digits[] = "0123456789abcdef";
    return std::string("0x") + digits[type >> 4] + digits[type & 15];
}

// The host as the handshake handler sees it, with a fixed random source.
struct Host {
    fs::path dir;
    store::HostIdentity identity;
    protocol::HostInfo info;
    protocol::PairingSlot pairing;
    store::PairedDeviceStore store;
    discovery::NetworkSnapshot net;
    IpAddress peer = IpAddress::v4(192, 168, 1, 50);
    std::deque<Bytes> draws;
    bool drawsWrong = false;

    Host() {
        dir = fs::temp_directory_path() / ("hp-vectors-" + hex(crypto::random_bytes(6)));
        fs::create_directories(dir);
        identity.hostId = std::string(kHostId);
        identity.seed = kHostSeed;
        identity.publicKey = crypto::ed25519_public_key(identity.seed);
        info.hostName = std::string(kHostName);
        info.deviceType = "desktop";
        info.tcpPort = kPort;
        info.udpPort = kPort;
        store = store::PairedDeviceStore(dir / "paired_devices.json", crypto::derive_store_key(identity.seed));
        net.lan = {*IpAddress::parse("192.168.1.20"), *IpAddress::parse("fd00::20")};
        net.tailscale = {*IpAddress::parse("100.101.102.103")};
        net.tailscaleDnsName = "buero-pc.tail1234.ts.net";
    }
    ~Host() {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    // One frame into the handler; the next random draws are `secret` and `nonce`.
    HandshakeOutcome handle(protocol::HandshakeState& hs, FrameType type, std::string_view body,
                            std::deque<Bytes> nextDraws = {}) {
        draws = std::move(nextDraws);
        protocol::HandshakeHost view{identity, info, pairing, store, [this](std::span<std::uint8_t> out) {
                                         if (draws.empty() || draws.front().size() != out.size()) {
                                             drawsWrong = true;
                                             std::fill(out.begin(), out.end(), 0);
                                             return;
                                         }
                                         std::copy(draws.front().begin(), draws.front().end(), out.begin());
                                         draws.pop_front();
                                     }};
        return protocol::handle_handshake_frame(hs, view, net, peer, type_byte(type), as_bytes(body));
    }
};

std::deque<Bytes> draws_of(const crypto::Key32& secret, const crypto::Nonce16& nonce) {
    return {Bytes(secret.begin(), secret.end()), Bytes(nonce.begin(), nonce.end())};
}

client::Identity client_identity() {
    client::Identity id;
    id.clientId = std::string(kClientId);
    id.deviceName = "Anna's phone";
    id.deviceModel = "Pixel 8";
    id.seed = kClientSeed;
    return id;
}

json ephemeral_json(const crypto::Key32& secret, const crypto::Nonce16& nonce) {
    const auto pair = crypto::x25519_keypair_from(secret);
    return {{"x25519SecretHex", hex(secret)}, {"x25519PublicHex", hex(pair.public_key)}, {"nonceHex", hex(nonce)}};
}

json plain_frame(std::string_view direction, std::uint8_t type, std::string_view body) {
    const auto wire = protocol::encode_plain(type, as_bytes(body));
    return {{"direction", direction}, {"type", type_text(type)}, {"name", client::frame_name(type)},
            {"body", body}, {"wireHex", hex(*wire)}};
}

json plain_frame(std::string_view direction, const protocol::Frame& f) {
    return plain_frame(direction, f.type, to_string(f.body));
}

// A secure frame with everything that goes into it.
json secure_frame(std::string_view direction, std::string_view label, std::uint64_t counter,
                  const crypto::Key32& key, std::uint8_t type, ByteView plain, bool textBody = true) {
    protocol::SessionKeys keys;
    keys.key = crypto::SessionKey(key);
    keys.sendCounter = counter;
    const Bytes wire = *protocol::encode_secure(keys, label, type, plain);
    const auto length = static_cast<std::uint32_t>(1 + plain.size() + protocol::kTagSize);
    const auto nonce = crypto::make_nonce(label, counter);
    const auto aad = protocol::secure_aad(type, length);
    const ByteView sealed = ByteView(wire).subspan(5);
    json j = {{"direction", direction}, {"type", type_text(type)}, {"name", client::frame_name(type)},
              {"counter", counter}};
    if (textBody) j["plainBody"] = to_string(plain);
    else j["plainBodyHex"] = hex(plain);
    j["length"] = length;
    j["nonceHex"] = hex(nonce);
    j["associatedDataHex"] = hex(aad);
    j["ciphertextHex"] = hex(sealed.first(plain.size()));
    j["tagHex"] = hex(sealed.subspan(plain.size()));
    j["wireHex"] = hex(wire);
    return j;
}

std::string member(std::string_view body, const char* name) {
    const auto j = parse_strict(as_bytes(body));
    if (!j || !j->is_object() || !j->contains(name) || !(*j)[name].is_string()) return {};
    return (*j)[name].get<std::string>();
}

json hkdf_json(ByteView salt, const crypto::Key32& ikm, ByteView info, std::size_t length) {
    return {{"saltHex", hex(salt)},
            {"inputKeyMaterialHex", hex(ikm)},
            {"infoHex", hex(info)},
            {"prkHex", hex(crypto::hmac_sha256(salt, ikm))},
            {"length", length},
            {"outputHex", hex(crypto::hkdf_sha256(salt, ikm, info, length))}};
}

Status expect(bool ok, std::string what) {
    if (!ok) return fail(std::move(what));
    return {};
}

#define HP_CHECK(cond, text)                                 \
    do {                                                     \
        if (auto s_ = expect((cond), (text)); !s_) return std::unexpected(s_.error()); \
    } while (0)

std::string text_of(const json& j) { return j.dump(2) + "\n"; }

// --- pairing ---------------------------------------------------------------------

struct Paired {
    client::PinnedHost host;
};

Result<json> pairing_vector(Host& host, Paired& out) {
    host.pairing.code = std::string(kCode);
    host.pairing.failures = 0;
    const client::Identity identity = client_identity();
    client::Pairing pairing(identity, client::Ephemeral::from(kPairClientSecret, kPairClientNonce));
    protocol::HandshakeState hs;

    const std::string request = pairing.request_body();
    auto challenge = host.handle(hs, FrameType::PairRequest, request, draws_of(kPairHostSecret, kPairHostNonce));
    HP_CHECK(challenge.kind == Kind::Reply && challenge.frames.size() == 1 && !host.drawsWrong,
             "the host did not answer the fixed PairRequest with PairChallenge");
    const std::string link = protocol::pairing_link(host.identity, host.info, host.net, kCode);
    auto confirm = pairing.confirm_body(challenge.frames[0].body, kCode, std::string(kHostId), host.identity.publicKey);
    HP_CHECK(confirm.has_value(), "the client refused the PairChallenge");
    auto done = host.handle(hs, FrameType::PairConfirm, *confirm);
    HP_CHECK(done.kind == Kind::Established && done.established && done.established->plainFrames.size() == 1,
             "the host did not accept the fixed PairConfirm");
    const auto& accepted = done.established->plainFrames[0];
    auto pinned = pairing.accept(accepted.body);
    HP_CHECK(pinned.has_value(), "the client refused the host's PairAccepted");
    out.host = *pinned;
    out.host.endpoint = "192.168.1.20:49182";

    const auto clientX = crypto::x25519_keypair_from(kPairClientSecret).public_key;
    const auto hostX = crypto::x25519_keypair_from(kPairHostSecret).public_key;
    const crypto::Key32 shared = crypto::x25519(kPairClientSecret, hostX);
    HP_CHECK(shared == crypto::x25519(kPairHostSecret, clientX), "the two sides disagree on the shared secret");
    const Bytes& transcript = pairing.transcript();
    const Bytes okm = crypto::hkdf_sha256(as_bytes(kCode), shared, transcript, 64);
    const crypto::Key32 sessionKey = pairing.session_key();
    HP_CHECK(std::equal(sessionKey.begin(), sessionKey.end(), okm.begin()) &&
                 done.established->sessionKey.bytes() == sessionKey,
             "the session keys differ");

    json j;
    j["description"] =
        "A complete pairing: PairRequest, PairChallenge, PairConfirm, PairAccepted, then the first encrypted "
        "frame in each direction. Every random value is fixed in inputs; Ed25519 signatures are "
        "deterministic, so every byte below follows from them.";
    j["inputs"] = {
        {"host",
         {{"hostId", kHostId},
          {"hostName", kHostName},
          {"ed25519SeedHex", hex(kHostSeed)},
          {"ed25519PublicHex", hex(host.identity.publicKey)},
          {"fingerprint", crypto::fingerprint(host.identity.publicKey)},
          {"tcpPort", kPort},
          {"udpPort", kPort},
          {"deviceType", "desktop"},
          {"lanAddresses", {"192.168.1.20", "fd00::20"}},
          {"tailscaleAddresses", {"100.101.102.103"}},
          {"tailscaleDnsName", "buero-pc.tail1234.ts.net"}}},
        {"client",
         {{"clientId", identity.clientId},
          {"deviceName", identity.deviceName},
          {"deviceModel", identity.deviceModel},
          {"ed25519SeedHex", hex(identity.seed)},
          {"ed25519PublicHex", hex(identity.public_key())}}},
        {"pairingCode", kCode},
        {"clientEphemeral", ephemeral_json(kPairClientSecret, kPairClientNonce)},
        {"hostEphemeral", ephemeral_json(kPairHostSecret, kPairHostNonce)}};
    j["pairingLink"] = link;
    j["frames"] = json::array({plain_frame("client to host", type_byte(FrameType::PairRequest), request),
                               plain_frame("host to client", challenge.frames[0]),
                               plain_frame("client to host", type_byte(FrameType::PairConfirm), *confirm),
                               plain_frame("host to client", accepted)});
    j["derivation"] = {
        {"transcriptHex", hex(transcript)},
        {"transcriptLength", transcript.size()},
        {"sharedSecretHex", hex(shared)},
        {"hkdf", hkdf_json(as_bytes(kCode), shared, transcript, 64)},
        {"sessionKeyHex", hex(ByteView(okm).first(32))},
        {"confirmationKeyHex", hex(ByteView(okm).subspan(32))},
        {"clientMacHex", member(*confirm, "clientMacHex")},
        {"clientSigHex", member(*confirm, "clientSigHex")},
        {"hostMacHex", member(to_string(accepted.body), "hostMacHex")},
        {"hostSigHex", member(to_string(accepted.body), "hostSigHex")}};
    const std::string ping = "{\"ts\":" + std::to_string(kPingTs) + "}";
    const std::string pong = protocol::encode_pong(kPingTs);
    j["firstSecureFrames"] = json::array(
        {secure_frame("client to host", protocol::kClientToHost, 0, sessionKey, type_byte(FrameType::Ping),
                      as_bytes(ping)),
         secure_frame("host to client", protocol::kHostToClient, 0, sessionKey, type_byte(FrameType::Pong),
                      as_bytes(pong))});
    return j;
}

// --- authentication --------------------------------------------------------------

Result<json> authentication_vector(Host& host, const Paired& paired, crypto::Key32& sessionKeyOut) {
    const client::Identity identity = client_identity();
    protocol::HandshakeState infoState;
    auto info = host.handle(infoState, FrameType::PairRequest, "");
    HP_CHECK(info.kind == Kind::ReplyAndClose && info.frames.size() == 1,
             "the host did not answer the information request with HostInfo");

    client::Authentication auth(identity, paired.host, client::Ephemeral::from(kAuthClientSecret, kAuthClientNonce));
    protocol::HandshakeState hs;
    const std::string hello = auth.hello_body();
    auto challenge = host.handle(hs, FrameType::AuthHello, hello, draws_of(kAuthHostSecret, kAuthHostNonce));
    HP_CHECK(challenge.kind == Kind::Reply && challenge.frames.size() == 1 && !host.drawsWrong,
             "the host did not answer the fixed AuthHello with AuthChallenge");
    auto response = auth.response_body(challenge.frames[0].body);
    HP_CHECK(response.has_value(), "the client refused the AuthChallenge");
    auto done = host.handle(hs, FrameType::AuthResponse, *response);
    HP_CHECK(done.kind == Kind::Established && done.established && done.established->secureFrames.size() == 1,
             "the host did not accept the fixed AuthResponse");

    const auto clientX = crypto::x25519_keypair_from(kAuthClientSecret).public_key;
    const auto hostX = crypto::x25519_keypair_from(kAuthHostSecret).public_key;
    const crypto::Key32 shared = crypto::x25519(kAuthClientSecret, hostX);
    HP_CHECK(shared == crypto::x25519(kAuthHostSecret, clientX), "the two sides disagree on the shared secret");
    Bytes salt(kAuthClientNonce.begin(), kAuthClientNonce.end());
    append(salt, kAuthHostNonce);
    const Bytes& transcript = auth.transcript();
    const crypto::Key32 sessionKey = auth.session_key();
    HP_CHECK(done.established->sessionKey.bytes() == sessionKey, "the session keys differ");
    sessionKeyOut = sessionKey;

    json j;
    j["description"] =
        "A later connection of the client paired in pairing.json: first the information request on a connection "
        "of its own (the client compares hostId and fp with what it pinned), then AuthHello, AuthChallenge, "
        "AuthResponse and AuthAccepted, the host's first encrypted frame. The host's key pair and the "
        "client's identity are those of pairing.json; the client kept the host's public key from pairing.";
    j["inputs"] = {{"clientEphemeral", ephemeral_json(kAuthClientSecret, kAuthClientNonce)},
                   {"hostEphemeral", ephemeral_json(kAuthHostSecret, kAuthHostNonce)},
                   {"pinnedHostEd25519PublicHex", hex(paired.host.publicKey)}};
    j["informationRequest"] = json::array({plain_frame("client to host", type_byte(FrameType::PairRequest), ""),
                                           plain_frame("host to client", info.frames[0])});
    j["frames"] = json::array({plain_frame("client to host", type_byte(FrameType::AuthHello), hello),
                               plain_frame("host to client", challenge.frames[0]),
                               plain_frame("client to host", type_byte(FrameType::AuthResponse), *response)});
    j["derivation"] = {{"transcriptHex", hex(transcript)},
                       {"transcriptLength", transcript.size()},
                       {"hostSigHex", member(to_string(challenge.frames[0].body), "hostSigHex")},
                       {"clientSigHex", member(*response, "clientSigHex")},
                       {"sharedSecretHex", hex(shared)},
                       {"hkdf", hkdf_json(salt, shared, transcript, 32)},
                       {"sessionKeyHex", hex(sessionKey)}};
    const auto& acceptedFrame = done.established->secureFrames[0];
    const std::string ping = "{\"ts\":" + std::to_string(kPingTs) + "}";
    j["firstSecureFrames"] = json::array(
        {secure_frame("host to client", protocol::kHostToClient, 0, sessionKey, acceptedFrame.type, acceptedFrame.body),
         secure_frame("client to host", protocol::kClientToHost, 0, sessionKey, type_byte(FrameType::Ping),
                      as_bytes(ping))});
    return j;
}

// --- datagrams and input records --------------------------------------------------

json record_json(std::string_view name, std::string_view meaning, client::InputCommand c, std::uint64_t seq) {
    c.seq = seq;
    const auto r = protocol::encode_input_record(c);
    return {{"kind", c.kind}, {"name", name}, {"meaning", meaning}, {"seq", seq}, {"recordHex", hex(r)}};
}

Result<json> datagram_vector(const crypto::Key32& key) {
    client::InputCommand move = client::mouse_move(12.5f, -3.25f);
    move.seq = 1;
    move.flags = protocol::kAckFlag;
    const auto record = protocol::encode_input_record(move);
    const auto datagram = protocol::seal_datagram(key, record);
    const auto opened = protocol::open_datagram(key, datagram);
    HP_CHECK(opened && std::equal(opened->begin(), opened->end(), record.begin()), "the host cannot open the datagram");
    const auto ack = protocol::make_ack(key, 1);

    client::InputCommand keyDown = client::key(4, client::kKeyDown, 2);
    keyDown.seq = 2;
    const auto keyRecord = protocol::encode_input_record(keyDown);

    json j;
    j["description"] =
        "Input after the authentication of authentication.json (its session key): a MouseMove as a UDP datagram "
        "with the acknowledgement flag, the host's acknowledgement, the same kind of record inside an "
        "encrypted InputCommand frame, and one record of every kind.";
    j["sessionKeyHex"] = hex(key);
    j["udpPort"] = kPort;
    j["datagram"] = {{"command", "MouseMove dx 12.5, dy -3.25, seq 1, flags 0x01 (acknowledge)"},
                     {"recordHex", hex(record)},
                     {"nonceHex", hex(crypto::make_nonce("CUDP", 1))},
                     {"associatedDataHex", hex(ByteView(datagram).first(12))},
                     {"ciphertextHex", hex(ByteView(datagram).subspan(12, 8))},
                     {"tagHex", hex(ByteView(datagram).subspan(20))},
                     {"datagramHex", hex(datagram)}};
    j["acknowledgement"] = {{"nonceHex", hex(crypto::make_nonce("HUDP", 1))},
                            {"associatedDataHex", hex(ByteView(ack).first(12))},
                            {"tagHex", hex(ByteView(ack).subspan(12))},
                            {"acknowledgementHex", hex(ack)}};
    j["inputCommandFrame"] = secure_frame("client to host", protocol::kClientToHost, 1, key,
                                          type_byte(FrameType::InputCommand), keyRecord, false);
    j["inputCommandFrame"]["command"] =
        "Key a (code 4) down with Ctrl (modifiers 0x02), seq 2, sent after the Ping of authentication.json, so "
        "counter 1";
    j["records"] = json::array({
        record_json("MouseMove", "dx 12.5, dy -3.25 pixels", client::mouse_move(12.5f, -3.25f), 10),
        record_json("MouseButton", "left button down", client::mouse_button(client::kLeftButton, true), 11),
        record_json("Scroll", "y 1 (one step away from the user), x 0", client::scroll(0.0f, 1.0f), 12),
        record_json("Key", "a down with Ctrl", client::key(4, client::kKeyDown, 2), 13),
        record_json("Key", "a up with Ctrl", client::key(4, client::kKeyUp, 2), 14),
        record_json("MediaKey", "mute (code 3)", client::media_key(3), 15),
        record_json("EditShortcut", "lock the session (code 8)", client::edit_shortcut(client::kEditLock), 16),
    });
    // Kinds the client program does not send itself, built by hand.
    auto raw = [](std::uint8_t kind, std::uint8_t flags, std::initializer_list<std::uint8_t> payload) {
        client::InputCommand c;
        c.kind = kind;
        c.flags = flags;
        std::copy(payload.begin(), payload.end(), c.payload.begin());
        return c;
    };
    j["records"].push_back(record_json("PinchZoom", "phase 2 (change), delta 0.25",
                                       raw(6, 0x20, {0x00, 0x00, 0x80, 0x3e}), 17));
    j["records"].push_back(record_json("DesktopShortcut", "Win+D (code 2)", raw(7, 0, {2}), 18));
    j["records"].push_back(record_json("ModifierSet", "hold Shift and Ctrl (mask 0x03)", raw(9, 0, {3}), 19));
    j["records"].push_back(record_json("PadSticks", "left stick x 16384, y -16384; right stick 0, 0",
                                       raw(11, 0, {0x00, 0x40, 0x00, 0xc0}), 20));
    j["records"].push_back(record_json("PadButtons", "A held (bit 0), d-pad 1 (up), left trigger 0, right trigger 255",
                                       raw(12, 0, {0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0xff}), 21));
    j["records"].push_back(record_json("ReleaseAll", "release everything held", raw(15, 0, {}), 22));
    return j;
}

// --- refusals --------------------------------------------------------------------

json refusal(std::string_view description, json frames, std::string_view hostAction) {
    return {{"description", description}, {"frames", std::move(frames)}, {"host", hostAction}};
}

std::string with_flipped_signature(const std::string& body, const char* name, const char* other) {
    std::string sig = member(body, name);
    sig.back() = sig.back() == '0' ? '1' : '0';
    JsonWriter w;
    w.begin_object();
    if (other) w.key(other).string(member(body, other));
    w.key(name).string(sig);
    w.end_object();
    return w.take();
}

Result<json> refusal_vectors(Host& host, const Paired& paired) {
    const client::Identity identity = client_identity();
    json list = json::array();

    {  // a PairConfirm made with another code
        host.pairing = {std::string(kCode), 0};
        client::Pairing pairing(identity, client::Ephemeral::from(kPairClientSecret, kPairClientNonce));
        protocol::HandshakeState hs;
        const std::string request = pairing.request_body();
        auto challenge = host.handle(hs, FrameType::PairRequest, request, draws_of(kPairHostSecret, kPairHostNonce));
        HP_CHECK(challenge.kind == Kind::Reply, "no PairChallenge for the wrong-code case");
        auto confirm = pairing.confirm_body(challenge.frames[0].body, kWrongCode);
        HP_CHECK(confirm.has_value(), "the client refused the PairChallenge");
        auto refused = host.handle(hs, FrameType::PairConfirm, *confirm);
        HP_CHECK(refused.kind == Kind::ReplyAndClose && refused.frames.size() == 1, "the wrong code was not refused");
        list.push_back(refusal(
            "Wrong code: the client derives its keys with the code 111111 while the host holds 042917 (the same "
            "fixed values as pairing.json otherwise). The host records a failure; the fifth one withdraws the code.",
            json::array({plain_frame("client to host", type_byte(FrameType::PairRequest), request),
                         plain_frame("host to client", challenge.frames[0]),
                         plain_frame("client to host", type_byte(FrameType::PairConfirm), *confirm),
                         plain_frame("host to client", refused.frames[0])}),
            "replies PairRejected {\"reason\":\"invalid_code\"} and closes the connection"));
    }
    {  // the right MAC with a broken signature
        host.pairing = {std::string(kCode), 0};
        client::Pairing pairing(identity, client::Ephemeral::from(kPairClientSecret, kPairClientNonce));
        protocol::HandshakeState hs;
        const std::string request = pairing.request_body();
        auto challenge = host.handle(hs, FrameType::PairRequest, request, draws_of(kPairHostSecret, kPairHostNonce));
        auto confirm = pairing.confirm_body(challenge.frames.at(0).body, kCode);
        HP_CHECK(confirm.has_value(), "the client refused the PairChallenge");
        const std::string spoiled = with_flipped_signature(*confirm, "clientSigHex", "clientMacHex");
        auto refused = host.handle(hs, FrameType::PairConfirm, spoiled);
        HP_CHECK(refused.kind == Kind::ReplyAndClose && refused.frames.size() == 1, "the bad signature was not refused");
        list.push_back(refusal(
            "Bad signature in pairing: the MAC is right (code 042917), but the last hex digit of clientSigHex "
            "is changed. The host answers exactly as for a wrong code.",
            json::array({plain_frame("client to host", type_byte(FrameType::PairConfirm), spoiled),
                         plain_frame("host to client", refused.frames[0])}),
            "replies PairRejected {\"reason\":\"invalid_code\"} and closes the connection"));
    }
    {  // authentication with a broken signature
        client::Authentication auth(identity, paired.host, client::Ephemeral::from(kAuthClientSecret, kAuthClientNonce));
        protocol::HandshakeState hs;
        const std::string hello = auth.hello_body();
        auto challenge = host.handle(hs, FrameType::AuthHello, hello, draws_of(kAuthHostSecret, kAuthHostNonce));
        auto response = auth.response_body(challenge.frames.at(0).body);
        HP_CHECK(response.has_value(), "the client refused the AuthChallenge");
        const std::string spoiled = with_flipped_signature(*response, "clientSigHex", nullptr);
        auto refused = host.handle(hs, FrameType::AuthResponse, spoiled);
        HP_CHECK(refused.kind == Kind::Reject && refused.frames.empty(), "the bad signature was not refused silently");
        list.push_back(refusal(
            "Bad signature in authentication: the AuthHello and AuthChallenge of authentication.json, then an "
            "AuthResponse whose last hex digit is changed.",
            json::array({plain_frame("client to host", type_byte(FrameType::AuthResponse), spoiled)}),
            "closes the connection without a reply"));
    }
    {  // a client the host does not know
        client::Identity stranger = identity;
        stranger.clientId = "0badc0de-0000-4000-8000-000000000000";
        client::Authentication auth(stranger, paired.host, client::Ephemeral::from(kAuthClientSecret, kAuthClientNonce));
        protocol::HandshakeState hs;
        const std::string hello = auth.hello_body();
        auto refused = host.handle(hs, FrameType::AuthHello, hello);
        HP_CHECK(refused.kind == Kind::ReplyAndClose && refused.frames.size() == 1, "the stranger was not refused");
        list.push_back(refusal("Unknown client: an AuthHello with a clientId that is not in the host's paired list.",
                               json::array({plain_frame("client to host", type_byte(FrameType::AuthHello), hello),
                                            plain_frame("host to client", refused.frames[0])}),
                               "replies AuthRejected {\"reason\":\"unpaired\"} and closes the connection"));
    }
    {  // no pairing code open
        host.pairing = {};
        client::Pairing pairing(identity, client::Ephemeral::from(kPairClientSecret, kPairClientNonce));
        protocol::HandshakeState hs;
        const std::string request = pairing.request_body();
        auto refused = host.handle(hs, FrameType::PairRequest, request);
        HP_CHECK(refused.kind == Kind::ReplyAndClose && refused.frames.size() == 1, "no_active_code was not sent");
        list.push_back(refusal("No pairing code open: the PairRequest of pairing.json while the host shows no code.",
                               json::array({plain_frame("host to client", refused.frames[0])}),
                               "replies PairRejected {\"reason\":\"no_active_code\"} and closes the connection"));
    }
    json j;
    j["description"] = "Refusals, each on a fresh connection to the host of pairing.json.";
    j["cases"] = std::move(list);
    return j;
}

}  // namespace

Result<std::map<std::string, std::string>> generate_all() {
    crypto::init();
    Host host;
    Paired paired;
    auto pairing = pairing_vector(host, paired);
    if (!pairing) return std::unexpected(pairing.error());
    crypto::Key32 sessionKey{};
    auto auth = authentication_vector(host, paired, sessionKey);
    if (!auth) return std::unexpected(auth.error());
    auto datagram = datagram_vector(sessionKey);
    if (!datagram) return std::unexpected(datagram.error());
    auto refusals = refusal_vectors(host, paired);
    if (!refusals) return std::unexpected(refusals.error());
    return std::map<std::string, std::string>{{"pairing.json", text_of(*pairing)},
                                              {"authentication.json", text_of(*auth)},
                                              {"datagram.json", text_of(*datagram)},
                                              {"refusals.json", text_of(*refusals)}};
}

}  // namespace hp::vectors
