#pragma once
// Typed protocol messages: parsers for the JSON bodies a client sends and
// encoders for the JSON bodies the host sends.
//
// Parsers take the plain body (already decrypted in a session) and return
// nothing on any JSON or shape error: not an object or member-ordered array,
// a repeated member, a required member missing, a member of the wrong type, or
// trailing bytes (see json.h for the reading rules).
//
// Encoders write compact JSON with the members in the fixed order clients
// expect; hex members are lowercase.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/bytes.h"
#include "crypto/crypto.h"

namespace hp::protocol {

// The system the host runs on, as the handshakes, the host information and
// the pairing link name it: "windows", or "linux" for the Linux desktop program.
inline constexpr std::string_view kOsType = "windows";
inline constexpr std::string_view kOsTypeLinux = "linux";
// The whole body of AuthAccepted.
inline constexpr std::string_view kAuthAcceptedBody = "{}";

// Reason codes of PairRejected, AuthRejected and SessionEnded.
inline constexpr std::string_view kReasonNoActiveCode = "no_active_code";
inline constexpr std::string_view kReasonInvalidCode = "invalid_code";
inline constexpr std::string_view kReasonInternalError = "internal_error";
inline constexpr std::string_view kReasonUnpaired = "unpaired";
inline constexpr std::string_view kReasonRemovedByUser = "removed_by_user";

// --- client to host ----------------------------------------------------------

// PairRequest (0x10). The three hex members are decoded here to their exact
// sizes; a wrong size, odd length or non-hex digit fails the parse. Length
// limits of clientId and deviceName are the handshake's business. An empty
// body is the information request and is not parsed by this function (it
// fails here).
struct PairRequest {
    std::string clientId;
    std::string deviceName;
    std::string deviceModel;  // default ""
    crypto::Key32 clientX25519Pub{};
    crypto::Key32 clientEd25519Pub{};
    crypto::Nonce16 clientNonce{};
};
std::optional<PairRequest> parse_pair_request(ByteView body);

// PairConfirm (0x12): both members required strings. They stay hex text here:
// an undecodable MAC or signature is answered, not just dropped.
struct PairConfirm {
    std::string clientMacHex;
    std::string clientSigHex;
};
std::optional<PairConfirm> parse_pair_confirm(ByteView body);

// AuthHello (0x20): clientId, deviceName (default ""), clientX25519PubHex,
// clientNonceHex. The hex members are decoded by the handshake after the
// client has been looked up.
struct AuthHello {
    std::string clientId;
    std::string deviceName;
    std::string clientX25519PubHex;
    std::string clientNonceHex;
};
std::optional<AuthHello> parse_auth_hello(ByteView body);

// AuthResponse (0x22): clientSigHex, required.
struct AuthResponse {
    std::string clientSigHex;
};
std::optional<AuthResponse> parse_auth_response(ByteView body);

// Ping (0x30): ts, a required unsigned 64-bit integer.
struct Ping {
    std::uint64_t ts = 0;
};
std::optional<Ping> parse_ping(ByteView body);

// TextUtf8 (0x32): text, required.
struct TextUtf8 {
    std::string text;
};
std::optional<TextUtf8> parse_text_utf8(ByteView body);

// ClipboardSet (0x33): text required, autoPaste default false.
struct ClipboardSet {
    std::string text;
    bool autoPaste = false;
};
std::optional<ClipboardSet> parse_clipboard_set(ByteView body);

// ClipboardGet (0x37): copyFirst default false.
struct ClipboardGet {
    bool copyFirst = false;
};
std::optional<ClipboardGet> parse_clipboard_get(ByteView body);

// ControllerState (0x39): enabled default false.
struct ControllerState {
    bool enabled = false;
};
std::optional<ControllerState> parse_controller_state(ByteView body);

// --- host to client ----------------------------------------------------------

// HostInfo (0x14): {"v":1,"hostId","name","os":"windows","fp","udpPort"}.
std::string encode_host_info(std::string_view hostId, std::string_view name, std::string_view fp,
                             std::uint16_t udpPort, std::string_view osType = kOsType);

// What PairChallenge and AuthChallenge share.
struct ChallengeCommon {
    std::string hostId;
    std::string hostName;
    std::string deviceType;  // "desktop" or "laptop"
    std::vector<std::string> lanEndpoints;
    std::vector<std::string> tailscaleEndpoints;
    std::uint16_t udpPort = 0;  // written by AuthChallenge only
    std::string osType = std::string(kOsType);
};

// PairChallenge (0x11): hostId, hostName, osType, hostX25519PubHex,
// hostEd25519PubHex, hostNonceHex, lanEndpoints, tailscaleEndpoints, deviceType.
std::string encode_pair_challenge(const ChallengeCommon& common, const crypto::Key32& hostX25519Pub,
                                  const crypto::Key32& hostEd25519Pub,
                                  const crypto::Nonce16& hostNonce);

// PairAccepted (0x13): hostMacHex, hostSigHex, udpPort.
std::string encode_pair_accepted(const crypto::Key32& hostMac, const crypto::Sig64& hostSig,
                                 std::uint16_t udpPort);

// AuthChallenge (0x21): hostId, hostName, osType, hostX25519PubHex,
// hostNonceHex, hostSigHex, udpPort, lanEndpoints, tailscaleEndpoints,
// deviceType.
std::string encode_auth_challenge(const ChallengeCommon& common, const crypto::Key32& hostX25519Pub,
                                  const crypto::Nonce16& hostNonce, const crypto::Sig64& hostSig);

// {"reason":...} for PairRejected (0x1f), AuthRejected (0x2f), SessionEnded (0x3f).
std::string encode_reason(std::string_view reason);

// Pong (0x31): {"ts":N}.
std::string encode_pong(std::uint64_t ts);

// ClipboardContent (0x38): {"text","truncated"}.
std::string encode_clipboard_content(std::string_view text, bool truncated);

// SasResult (0x36): {"code","message"}.
std::string encode_sas_result(std::string_view code, std::string_view message);

}  // namespace hp::protocol
