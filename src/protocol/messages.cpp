#include "protocol/messages.h"

#include <array>

#include "base/json.h"

namespace hp::protocol {

namespace {

constexpr bool kRequired = true;
constexpr bool kOptional = false;

const std::string& str(const MemberValues& v, std::size_t i) {
    return v[i]->get_ref<const std::string&>();
}

std::string str_or(const MemberValues& v, std::size_t i, std::string_view fallback) {
    return v[i] ? str(v, i) : std::string(fallback);
}

bool bool_or(const MemberValues& v, std::size_t i, bool fallback) {
    return v[i] ? v[i]->get<bool>() : fallback;
}

}  // namespace

// --- client to host ----------------------------------------------------------

std::optional<PairRequest> parse_pair_request(ByteView body) {
    static constexpr std::array<MemberRule, 6> kMembers{{
        {"clientId", JsonType::String, kRequired},
        {"deviceName", JsonType::String, kRequired},
        {"deviceModel", JsonType::String, kOptional},
        {"clientX25519PubHex", JsonType::String, kRequired},
        {"clientEd25519PubHex", JsonType::String, kRequired},
        {"clientNonceHex", JsonType::String, kRequired},
    }};
    const auto v = read_members(body, kMembers);
    if (!v) return std::nullopt;
    const auto x25519 = crypto::hex_decode_array<32>(str(*v, 3));
    const auto ed25519 = crypto::hex_decode_array<32>(str(*v, 4));
    const auto nonce = crypto::hex_decode_array<16>(str(*v, 5));
    if (!x25519 || !ed25519 || !nonce) return std::nullopt;
    PairRequest out;
    out.clientId = str(*v, 0);
    out.deviceName = str(*v, 1);
    out.deviceModel = str_or(*v, 2, "");
    out.clientX25519Pub = *x25519;
    out.clientEd25519Pub = *ed25519;
    out.clientNonce = *nonce;
    return out;
}

std::optional<PairConfirm> parse_pair_confirm(ByteView body) {
    static constexpr std::array<MemberRule, 2> kMembers{{
        {"clientMacHex", JsonType::String, kRequired},
        {"clientSigHex", JsonType::String, kRequired},
    }};
    const auto v = read_members(body, kMembers);
    if (!v) return std::nullopt;
    return PairConfirm{str(*v, 0), str(*v, 1)};
}

std::optional<AuthHello> parse_auth_hello(ByteView body) {
    static constexpr std::array<MemberRule, 4> kMembers{{
        {"clientId", JsonType::String, kRequired},
        {"deviceName", JsonType::String, kOptional},
        {"clientX25519PubHex", JsonType::String, kRequired},
        {"clientNonceHex", JsonType::String, kRequired},
    }};
    const auto v = read_members(body, kMembers);
    if (!v) return std::nullopt;
    return AuthHello{str(*v, 0), str_or(*v, 1, ""), str(*v, 2), str(*v, 3)};
}

std::optional<AuthResponse> parse_auth_response(ByteView body) {
    static constexpr std::array<MemberRule, 1> kMembers{{
        {"clientSigHex", JsonType::String, kRequired},
    }};
    const auto v = read_members(body, kMembers);
    if (!v) return std::nullopt;
    return AuthResponse{str(*v, 0)};
}

std::optional<Ping> parse_ping(ByteView body) {
    static constexpr std::array<MemberRule, 1> kMembers{{
        {"ts", JsonType::Unsigned, kRequired},
    }};
    const auto v = read_members(body, kMembers);
    if (!v) return std::nullopt;
    return Ping{(*v)[0]->get<std::uint64_t>()};
}

std::optional<TextUtf8> parse_text_utf8(ByteView body) {
    static constexpr std::array<MemberRule, 1> kMembers{{
        {"text", JsonType::String, kRequired},
    }};
    const auto v = read_members(body, kMembers);
    if (!v) return std::nullopt;
    return TextUtf8{str(*v, 0)};
}

std::optional<ClipboardSet> parse_clipboard_set(ByteView body) {
    static constexpr std::array<MemberRule, 2> kMembers{{
        {"text", JsonType::String, kRequired},
        {"autoPaste", JsonType::Boolean, kOptional},
    }};
    const auto v = read_members(body, kMembers);
    if (!v) return std::nullopt;
    return ClipboardSet{str(*v, 0), bool_or(*v, 1, false)};
}

std::optional<ClipboardGet> parse_clipboard_get(ByteView body) {
    static constexpr std::array<MemberRule, 1> kMembers{{
        {"copyFirst", JsonType::Boolean, kOptional},
    }};
    const auto v = read_members(body, kMembers);
    if (!v) return std::nullopt;
    return ClipboardGet{bool_or(*v, 0, false)};
}

std::optional<ControllerState> parse_controller_state(ByteView body) {
    static constexpr std::array<MemberRule, 1> kMembers{{
        {"enabled", JsonType::Boolean, kOptional},
    }};
    const auto v = read_members(body, kMembers);
    if (!v) return std::nullopt;
    return ControllerState{bool_or(*v, 0, false)};
}

// --- host to client ----------------------------------------------------------

// One member per line, so each encoder reads like its message table.
// clang-format off

std::string encode_host_info(std::string_view hostId, std::string_view name, std::string_view fp,
                             std::uint16_t udpPort, std::string_view osType) {
    JsonWriter w;
    w.begin_object()
        .key("v").uint(1)
        .key("hostId").string(hostId)
        .key("name").string(name)
        .key("os").string(osType)
        .key("fp").string(fp)
        .key("udpPort").uint(udpPort)
        .end_object();
    return w.take();
}

std::string encode_pair_challenge(const ChallengeCommon& common, const crypto::Key32& hostX25519Pub,
                                  const crypto::Key32& hostEd25519Pub,
                                  const crypto::Nonce16& hostNonce) {
    JsonWriter w;
    w.begin_object()
        .key("hostId").string(common.hostId)
        .key("hostName").string(common.hostName)
        .key("osType").string(common.osType)
        .key("hostX25519PubHex").string(crypto::hex_encode(hostX25519Pub))
        .key("hostEd25519PubHex").string(crypto::hex_encode(hostEd25519Pub))
        .key("hostNonceHex").string(crypto::hex_encode(hostNonce))
        .key("lanEndpoints").string_array(common.lanEndpoints)
        .key("tailscaleEndpoints").string_array(common.tailscaleEndpoints)
        .key("deviceType").string(common.deviceType)
        .end_object();
    return w.take();
}

std::string encode_pair_accepted(const crypto::Key32& hostMac, const crypto::Sig64& hostSig,
                                 std::uint16_t udpPort) {
    JsonWriter w;
    w.begin_object()
        .key("hostMacHex").string(crypto::hex_encode(hostMac))
        .key("hostSigHex").string(crypto::hex_encode(hostSig))
        .key("udpPort").uint(udpPort)
        .end_object();
    return w.take();
}

std::string encode_auth_challenge(const ChallengeCommon& common, const crypto::Key32& hostX25519Pub,
                                  const crypto::Nonce16& hostNonce, const crypto::Sig64& hostSig) {
    JsonWriter w;
    w.begin_object()
        .key("hostId").string(common.hostId)
        .key("hostName").string(common.hostName)
        .key("osType").string(common.osType)
        .key("hostX25519PubHex").string(crypto::hex_encode(hostX25519Pub))
        .key("hostNonceHex").string(crypto::hex_encode(hostNonce))
        .key("hostSigHex").string(crypto::hex_encode(hostSig))
        .key("udpPort").uint(common.udpPort)
        .key("lanEndpoints").string_array(common.lanEndpoints)
        .key("tailscaleEndpoints").string_array(common.tailscaleEndpoints)
        .key("deviceType").string(common.deviceType)
        .end_object();
    return w.take();
}

std::string encode_reason(std::string_view reason) {
    JsonWriter w;
    w.begin_object().key("reason").string(reason).end_object();
    return w.take();
}

std::string encode_pong(std::uint64_t ts) {
    JsonWriter w;
    w.begin_object().key("ts").uint(ts).end_object();
    return w.take();
}

std::string encode_clipboard_content(std::string_view text, bool truncated) {
    JsonWriter w;
    w.begin_object().key("text").string(text).key("truncated").boolean(truncated).end_object();
    return w.take();
}

std::string encode_sas_result(std::string_view code, std::string_view message) {
    JsonWriter w;
    w.begin_object().key("code").string(code).key("message").string(message).end_object();
    return w.take();
}

// clang-format on

}  // namespace hp::protocol
