#include "test_client.h"

#include <algorithm>
#include <array>
#include <asio.hpp>
#include <cctype>

namespace hp::test {

namespace {

constexpr std::uint32_t kMaxLength = 65536;
constexpr std::size_t kTag = 16;

std::string upper(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::optional<nlohmann::json> parse_json(ByteView body) {
    auto j = nlohmann::json::parse(body.begin(), body.end(), nullptr, false);
    if (j.is_discarded()) return std::nullopt;
    return j;
}

template <std::size_t N>
std::optional<ByteArray<N>> hex_member(const nlohmann::json& j, const char* name) {
    if (!j.is_object() || !j.contains(name) || !j[name].is_string()) return std::nullopt;
    return crypto::hex_decode_array<N>(j[name].get<std::string>());
}

std::optional<std::string> string_member(const nlohmann::json& j, const char* name) {
    if (!j.is_object() || !j.contains(name) || !j[name].is_string()) return std::nullopt;
    return j[name].get<std::string>();
}

ByteArray<12> nonce_for(std::string_view label, std::uint64_t counter) {
    ByteArray<12> n{};
    std::copy(label.begin(), label.end(), n.begin());
    for (int i = 0; i < 8; ++i) n[4 + i] = static_cast<std::uint8_t>(counter >> (8 * i));
    return n;
}

Bytes aad_for(std::uint8_t type, std::uint32_t length) {
    Bytes aad{type};
    put_u32le(aad, length);
    return aad;
}

void flip_last_bit(std::span<std::uint8_t> b) {
    b.back() ^= 0x01;
}

}  // namespace

// --- small pieces --------------------------------------------------------------

nlohmann::json ClientFrame::json() const {
    return nlohmann::json::parse(body.begin(), body.end(), nullptr, false);
}

Bytes client_plain_frame(std::uint8_t type, ByteView body) {
    Bytes out;
    put_u32le(out, static_cast<std::uint32_t>(body.size() + 1));
    out.push_back(type);
    append(out, body);
    return out;
}

ClientIdentity ClientIdentity::generate(std::string deviceName, std::string deviceModel) {
    ClientIdentity id;
    auto raw = crypto::random_bytes(16);
    raw[6] = static_cast<std::uint8_t>((raw[6] & 0x0f) | 0x40);
    raw[8] = static_cast<std::uint8_t>((raw[8] & 0x3f) | 0x80);
    const std::string h = crypto::hex_encode(raw);
    id.clientId = h.substr(0, 8) + "-" + h.substr(8, 4) + "-" + h.substr(12, 4) + "-" +
                  h.substr(16, 4) + "-" + h.substr(20, 12);
    id.deviceName = std::move(deviceName);
    id.deviceModel = std::move(deviceModel);
    crypto::random_bytes(id.ed25519Seed);
    return id;
}

ClientEphemeral ClientEphemeral::from(const crypto::Key32& secret, const crypto::Nonce16& nonce) {
    crypto::Key32 basePoint{};
    basePoint[0] = 9;
    ClientEphemeral e;
    e.x25519Secret = secret;
    e.x25519Public = crypto::x25519(secret, basePoint);
    e.nonce = nonce;
    return e;
}

ClientEphemeral ClientEphemeral::generate() {
    crypto::Key32 secret{};
    crypto::Nonce16 nonce{};
    crypto::random_bytes(secret);
    crypto::random_bytes(nonce);
    return from(secret, nonce);
}

Bytes ClientChannel::seal(std::uint8_t type, ByteView plain) {
    const auto length = static_cast<std::uint32_t>(1 + plain.size() + kTag);
    const Bytes sealed =
        crypto::aead_seal(key, nonce_for("CTCP", sendCounter), aad_for(type, length), plain);
    ++sendCounter;
    return client_plain_frame(type, sealed);
}

std::optional<Bytes> ClientChannel::open(std::uint8_t type, ByteView wireBody) {
    if (wireBody.size() < kTag) return std::nullopt;
    const auto length = static_cast<std::uint32_t>(1 + wireBody.size());
    auto plain =
        crypto::aead_open(key, nonce_for("HTCP", recvCounter), aad_for(type, length), wireBody);
    if (plain) ++recvCounter;
    return plain;
}

// --- pairing -------------------------------------------------------------------

PairingClient::PairingClient(ClientIdentity identity, ClientEphemeral ephemeral)
    : identity_(std::move(identity)), ephemeral_(ephemeral) {}

nlohmann::json PairingClient::request_json() const {
    return nlohmann::json{
        {"clientId", identity_.clientId},
        {"deviceName", identity_.deviceName},
        {"deviceModel", identity_.deviceModel},
        {"clientX25519PubHex", crypto::hex_encode(ephemeral_.x25519Public)},
        {"clientEd25519PubHex", crypto::hex_encode(identity_.ed25519_public())},
        {"clientNonceHex", crypto::hex_encode(ephemeral_.nonce)},
    };
}

Result<std::string> PairingClient::confirm_body(ByteView challengeBody, std::string_view code,
                                                const ConfirmTweaks& tweaks) {
    auto challenge = parse_json(challengeBody);
    if (!challenge || !challenge->is_object()) return fail("PairChallenge is not a JSON object");
    const auto hostId = string_member(*challenge, "hostId");
    const auto hostX = hex_member<32>(*challenge, "hostX25519PubHex");
    const auto hostEd = hex_member<32>(*challenge, "hostEd25519PubHex");
    const auto hostNonce = hex_member<16>(*challenge, "hostNonceHex");
    if (!hostId || !hostX || !hostEd || !hostNonce) return fail("PairChallenge lacks a member");
    challenge_ = std::move(*challenge);
    host_.hostId = *hostId;
    host_.ed25519Public = *hostEd;

    // "RC_PAIR_V1" || clientId || hostId || clientX || hostX || clientEd || hostEd
    //   || clientNonce || hostNonce
    transcript_.clear();
    append(transcript_, std::string_view("RC_PAIR_V1"));
    append(transcript_, std::string_view(identity_.clientId));
    append(transcript_, std::string_view(*hostId));
    append(transcript_, ephemeral_.x25519Public);
    append(transcript_, *hostX);
    append(transcript_, identity_.ed25519_public());
    append(transcript_, *hostEd);
    append(transcript_, ephemeral_.nonce);
    append(transcript_, *hostNonce);

    const crypto::Key32 shared = crypto::x25519(ephemeral_.x25519Secret, *hostX);
    auto derive = [&](std::string_view salt) {
        return crypto::hkdf_sha256(as_bytes(salt), shared, transcript_, 64);
    };
    const Bytes okm = derive(code);
    std::copy(okm.begin(), okm.begin() + 32, sessionKey_.begin());
    std::copy(okm.begin() + 32, okm.end(), confirmKey_.begin());

    crypto::Key32 macKey = confirmKey_;
    if (tweaks.macCode) {
        const Bytes other = derive(*tweaks.macCode);
        std::copy(other.begin() + 32, other.end(), macKey.begin());
    }
    Bytes macInput;
    append(macInput, std::string_view("CLIENT_CONFIRM"));
    append(macInput, transcript_);
    auto mac = crypto::hmac_sha256(macKey, macInput);
    auto sig = crypto::ed25519_sign(identity_.ed25519Seed, transcript_);
    if (tweaks.corruptMac) flip_last_bit(mac);
    if (tweaks.corruptSignature) flip_last_bit(sig);

    std::string macHex = crypto::hex_encode(mac), sigHex = crypto::hex_encode(sig);
    if (tweaks.upperCaseHex) {
        macHex = upper(macHex);
        sigHex = upper(sigHex);
    }
    return nlohmann::json{{"clientMacHex", macHex}, {"clientSigHex", sigHex}}.dump();
}

Status PairingClient::verify_accepted(ByteView acceptedBody) {
    const auto accepted = parse_json(acceptedBody);
    if (!accepted || !accepted->is_object()) return fail("PairAccepted is not a JSON object");
    const auto mac = hex_member<32>(*accepted, "hostMacHex");
    const auto sig = hex_member<64>(*accepted, "hostSigHex");
    if (!mac || !sig) return fail("PairAccepted lacks hostMacHex or hostSigHex");
    if (!accepted->contains("udpPort") || !(*accepted)["udpPort"].is_number_unsigned())
        return fail("PairAccepted lacks udpPort");
    Bytes macInput;
    append(macInput, std::string_view("HOST_CONFIRM"));
    append(macInput, transcript_);
    if (!crypto::ct_equal(crypto::hmac_sha256(confirmKey_, macInput), *mac))
        return fail("hostMac does not match");
    if (!crypto::ed25519_verify(host_.ed25519Public, transcript_, *sig))
        return fail("hostSig does not verify");
    host_.udpPort = (*accepted)["udpPort"].get<std::uint16_t>();
    return {};
}

// --- authentication ------------------------------------------------------------

AuthClient::AuthClient(ClientIdentity identity, PinnedHost host, AuthTweaks tweaks,
                       ClientEphemeral ephemeral)
    : identity_(std::move(identity)),
      host_(std::move(host)),
      tweaks_(std::move(tweaks)),
      ephemeral_(ephemeral) {}

nlohmann::json AuthClient::hello_json() const {
    nlohmann::json j = nlohmann::json::object();
    j["clientId"] = identity_.clientId;
    if (!tweaks_.omitDeviceName)
        j["deviceName"] = tweaks_.deviceName.value_or(identity_.deviceName);
    j["clientX25519PubHex"] = crypto::hex_encode(ephemeral_.x25519Public);
    j["clientNonceHex"] = crypto::hex_encode(ephemeral_.nonce);
    return j;
}

Result<std::string> AuthClient::response_body(ByteView challengeBody) {
    auto challenge = parse_json(challengeBody);
    if (!challenge || !challenge->is_object()) return fail("AuthChallenge is not a JSON object");
    const auto hostId = string_member(*challenge, "hostId");
    const auto hostX = hex_member<32>(*challenge, "hostX25519PubHex");
    const auto hostNonce = hex_member<16>(*challenge, "hostNonceHex");
    const auto hostSig = hex_member<64>(*challenge, "hostSigHex");
    if (!hostId || !hostX || !hostNonce || !hostSig) return fail("AuthChallenge lacks a member");
    challenge_ = std::move(*challenge);
    if (*hostId != host_.hostId) return fail("AuthChallenge hostId differs from the paired host");

    // "RC_AUTH_V1" || clientId || hostId || clientX || hostX || clientNonce || hostNonce
    transcript_.clear();
    append(transcript_, std::string_view("RC_AUTH_V1"));
    append(transcript_, std::string_view(identity_.clientId));
    append(transcript_, std::string_view(*hostId));
    append(transcript_, ephemeral_.x25519Public);
    append(transcript_, *hostX);
    append(transcript_, ephemeral_.nonce);
    append(transcript_, *hostNonce);

    crypto::Key32 pinned = host_.ed25519Public;
    if (tweaks_.corruptHostCheck) flip_last_bit(pinned);
    if (!crypto::ed25519_verify(pinned, transcript_, *hostSig))
        return fail("hostSig does not verify with the pinned key");

    const crypto::Key32 shared = crypto::x25519(ephemeral_.x25519Secret, *hostX);
    Bytes salt;
    append(salt, ephemeral_.nonce);
    append(salt, *hostNonce);
    const Bytes okm = crypto::hkdf_sha256(salt, shared, transcript_, 32);
    std::copy(okm.begin(), okm.end(), sessionKey_.begin());

    auto sig = crypto::ed25519_sign(identity_.ed25519Seed, transcript_);
    if (tweaks_.corruptSignature) flip_last_bit(sig);
    return nlohmann::json{{"clientSigHex", crypto::hex_encode(sig)}}.dump();
}

// --- the socket client ---------------------------------------------------------

struct TestClient::Io {
    asio::io_context context;
    asio::ip::tcp::socket socket{context};
    Bytes pending;  // received bytes not yet cut into frames

    // Starts one asynchronous operation and runs it for at most `limit`.
    // On time-out the operation is cancelled and timed_out is reported.
    template <class Start>
    asio::error_code run(std::chrono::steady_clock::duration limit, Start start,
                         std::size_t* transferred = nullptr) {
        std::optional<asio::error_code> result;
        start([&](const asio::error_code& ec, auto n) {
            result = ec;
            if constexpr (std::is_convertible_v<decltype(n), std::size_t>)
                if (transferred) *transferred = n;
        });
        context.restart();
        context.run_for(std::max(limit, std::chrono::steady_clock::duration::zero()));
        if (result) return *result;
        asio::error_code ignored;
        socket.cancel(ignored);
        context.restart();
        context.run();
        // The operation may have finished just before the cancellation.
        if (result && *result != asio::error::operation_aborted) return *result;
        return asio::error::timed_out;
    }
};

TestClient::TestClient(ClientIdentity identity)
    : io_(std::make_unique<Io>()), identity_(std::move(identity)) {}

TestClient::~TestClient() {
    close();
}

Status TestClient::connect(std::uint16_t port, const std::string& host) {
    close();
    asio::error_code ec;
    const auto address = asio::ip::make_address(host, ec);
    if (ec) return fail("bad address " + host);
    const asio::ip::tcp::endpoint endpoint(address, port);
    if (receiveBuffer_ || localAddress_) {
        io_->socket.open(endpoint.protocol(), ec);
        if (!ec && receiveBuffer_)
            io_->socket.set_option(asio::socket_base::receive_buffer_size(*receiveBuffer_), ec);
        if (ec) return fail("socket options: " + ec.message());
        if (localAddress_) {
            const auto local = asio::ip::make_address(*localAddress_, ec);
            if (!ec) io_->socket.bind(asio::ip::tcp::endpoint(local, 0), ec);
            if (ec) {
                close();
                return fail("bind to " + *localAddress_ + ": " + ec.message());
            }
        }
    }
    ec = io_->run(timeout_, [&](auto handler) {
        io_->socket.async_connect(endpoint,
                                  [handler](const asio::error_code& e) mutable { handler(e, 0); });
    });
    if (ec) {
        close();
        return fail("connect failed: " + ec.message());
    }
    io_->socket.set_option(asio::ip::tcp::no_delay(true), ec);
    return {};
}

void TestClient::close() {
    asio::error_code ignored;
    if (io_->socket.is_open()) {
        io_->socket.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
        io_->socket.close(ignored);
    }
    io_->pending.clear();
    channel_.reset();
}

bool TestClient::is_open() const {
    return io_->socket.is_open();
}

Status TestClient::send_raw(ByteView bytes) {
    if (!is_open()) return fail("not connected");
    const auto ec = io_->run(timeout_, [&](auto handler) {
        asio::async_write(io_->socket, asio::buffer(bytes.data(), bytes.size()), handler);
    });
    if (ec) return fail("send failed: " + ec.message());
    return {};
}

Status TestClient::send_plain(std::uint8_t type, ByteView body) {
    return send_raw(client_plain_frame(type, body));
}

Status TestClient::send_secure(std::uint8_t type, ByteView plain) {
    if (!channel_) return fail("not in secure mode");
    return send_raw(channel_->seal(type, plain));
}

void TestClient::start_secure(const crypto::Key32& key) {
    channel_ = ClientChannel{};
    channel_->key = key;
}

TestClient::ReadStatus TestClient::read_frame(ClientFrame& out) {
    const auto deadline = std::chrono::steady_clock::now() + timeout_;
    Bytes chunk(16384);
    for (;;) {
        auto& pending = io_->pending;
        if (pending.size() >= 4) {
            const std::uint32_t length = get_u32le(pending.data());
            if (length == 0 || length > kMaxLength) return ReadStatus::Bad;
            if (pending.size() >= 4 + std::size_t{length}) {
                out.type = pending[4];
                out.body.assign(pending.begin() + 5, pending.begin() + 4 + length);
                pending.erase(pending.begin(), pending.begin() + 4 + length);
                return ReadStatus::Ok;
            }
        }
        if (!is_open()) return ReadStatus::Closed;
        std::size_t n = 0;
        const auto ec = io_->run(
            deadline - std::chrono::steady_clock::now(),
            [&](auto handler) { io_->socket.async_read_some(asio::buffer(chunk), handler); }, &n);
        if (ec == asio::error::timed_out) return ReadStatus::Timeout;
        if (ec) return ReadStatus::Closed;
        pending.insert(pending.end(), chunk.begin(),
                       chunk.begin() + static_cast<std::ptrdiff_t>(n));
    }
}

std::string TestClient::describe(ReadStatus status) {
    switch (status) {
        case ReadStatus::Ok:
            return "ok";
        case ReadStatus::Closed:
            return "connection closed";
        case ReadStatus::Timeout:
            return "timed out waiting for a frame";
        case ReadStatus::Bad:
            return "bad frame length from the host";
    }
    return "?";
}

HandshakeResult TestClient::from_read(ReadStatus status) const {
    if (status == ReadStatus::Closed) return {HandshakeResult::Kind::Closed, describe(status)};
    return {HandshakeResult::Kind::Failed, describe(status)};
}

Result<ClientFrame> TestClient::recv_plain() {
    ClientFrame f;
    const auto status = read_frame(f);
    if (status != ReadStatus::Ok) return fail(describe(status));
    return f;
}

Result<ClientFrame> TestClient::recv_secure() {
    if (!channel_) return fail("not in secure mode");
    auto f = recv_plain();
    if (!f) return f;
    auto plain = channel_->open(f->type, f->body);
    if (!plain) return fail("host frame does not decrypt");
    f->body = std::move(*plain);
    return f;
}

Result<ClientFrame> TestClient::recv() {
    return channel_ ? recv_secure() : recv_plain();
}

bool TestClient::wait_closed() {
    if (!io_->pending.empty()) return false;
    if (!is_open()) return true;
    Bytes chunk(4096);
    std::size_t n = 0;
    const auto ec = io_->run(
        timeout_, [&](auto handler) { io_->socket.async_read_some(asio::buffer(chunk), handler); },
        &n);
    if (ec == asio::error::timed_out) return false;
    if (ec) return true;
    append(io_->pending, ByteView(chunk.data(), n));
    return false;
}

namespace {

std::string reason_of(const ClientFrame& f) {
    const auto j = f.json();
    if (j.is_object() && j.contains("reason") && j["reason"].is_string())
        return j["reason"].get<std::string>();
    return "(no reason) " + f.text();
}

}  // namespace

Result<nlohmann::json> TestClient::information() {
    if (auto s = send_plain(frame_type::PairRequest, ByteView{}); !s)
        return std::unexpected(s.error());
    auto f = recv_plain();
    if (!f) return std::unexpected(f.error());
    if (f->type != frame_type::HostInfo)
        return fail("expected HostInfo, got type " + std::to_string(f->type));
    auto j = f->json();
    if (!j.is_object()) return fail("HostInfo is not a JSON object");
    return j;
}

HandshakeResult TestClient::pair(std::string_view code, const ConfirmTweaks& tweaks) {
    using Kind = HandshakeResult::Kind;
    PairingClient pairing(identity_);
    if (!send_plain(frame_type::PairRequest, pairing.request_body()))
        return {Kind::Failed, "could not send PairRequest"};

    ClientFrame f;
    if (auto s = read_frame(f); s != ReadStatus::Ok) return from_read(s);
    if (f.type == frame_type::PairRejected) return {Kind::Rejected, reason_of(f)};
    if (f.type != frame_type::PairChallenge)
        return {Kind::Failed, "expected PairChallenge, got type " + std::to_string(f.type)};
    lastChallenge_ = f.json();
    auto confirm = pairing.confirm_body(f.body, code, tweaks);
    if (!confirm) return {Kind::Failed, confirm.error().text};
    if (!send_plain(frame_type::PairConfirm, *confirm))
        return {Kind::Failed, "could not send PairConfirm"};

    if (auto s = read_frame(f); s != ReadStatus::Ok) return from_read(s);
    if (f.type == frame_type::PairRejected) return {Kind::Rejected, reason_of(f)};
    if (f.type != frame_type::PairAccepted)
        return {Kind::Failed, "expected PairAccepted, got type " + std::to_string(f.type)};
    if (auto s = pairing.verify_accepted(f.body); !s) return {Kind::Failed, s.error().text};
    host_ = pairing.pinned_host();
    start_secure(pairing.session_key());
    return {Kind::Established, {}};
}

HandshakeResult TestClient::authenticate(const AuthTweaks& tweaks) {
    using Kind = HandshakeResult::Kind;
    if (!host_) return {Kind::Failed, "no pinned host"};
    AuthClient auth(identity_, *host_, tweaks);
    if (!send_plain(frame_type::AuthHello, auth.hello_body()))
        return {Kind::Failed, "could not send AuthHello"};

    ClientFrame f;
    if (auto s = read_frame(f); s != ReadStatus::Ok) return from_read(s);
    if (f.type == frame_type::AuthRejected) return {Kind::Rejected, reason_of(f)};
    if (f.type != frame_type::AuthChallenge)
        return {Kind::Failed, "expected AuthChallenge, got type " + std::to_string(f.type)};
    lastChallenge_ = f.json();
    auto response = auth.response_body(f.body);
    if (!response) return {Kind::Failed, response.error().text};
    if (!send_plain(frame_type::AuthResponse, *response))
        return {Kind::Failed, "could not send AuthResponse"};

    if (auto s = read_frame(f); s != ReadStatus::Ok) return from_read(s);
    if (f.type == frame_type::AuthRejected) return {Kind::Rejected, reason_of(f)};
    if (f.type != frame_type::AuthAccepted)
        return {Kind::Failed, "expected AuthAccepted, got type " + std::to_string(f.type)};
    start_secure(auth.session_key());
    auto body = channel_->open(f.type, f.body);
    if (!body) return {Kind::Failed, "AuthAccepted does not decrypt"};
    if (to_string(*body) != "{}") return {Kind::Failed, "AuthAccepted body is " + to_string(*body)};
    return {Kind::Established, {}};
}

}  // namespace hp::test
