#pragma once
// The TCP stream between a client and the host: length-prefixed frames, and
// their ChaCha20-Poly1305 protection once a session is established.
//
// Frame on the wire: L (u32 little-endian, counts the type byte and the body),
// the type byte, then L - 1 body bytes. In secure mode the body is the
// ciphertext followed by the 16-byte tag; type and L travel in clear and are
// the associated data.
//
// Everything here is pure (no sockets): the session loop feeds received bytes
// into a FrameReader and writes what the encoders return.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "base/bytes.h"
#include "base/result.h"
#include "crypto/crypto.h"

namespace hp::protocol {

enum class FrameType : std::uint8_t {
    PairRequest = 0x10,
    PairChallenge = 0x11,
    PairConfirm = 0x12,
    PairAccepted = 0x13,
    HostInfo = 0x14,
    PairRejected = 0x1f,
    AuthHello = 0x20,
    AuthChallenge = 0x21,
    AuthResponse = 0x22,
    AuthAccepted = 0x23,
    AuthRejected = 0x2f,
    Ping = 0x30,
    Pong = 0x31,
    TextUtf8 = 0x32,
    ClipboardSet = 0x33,
    InputCommand = 0x34,
    SasResult = 0x36,
    ClipboardGet = 0x37,
    ClipboardContent = 0x38,
    ControllerState = 0x39,
    SessionEnded = 0x3f,
};

constexpr std::uint8_t type_byte(FrameType t) {
    return static_cast<std::uint8_t>(t);
}

// Largest accepted length field (type byte + body, tag included).
inline constexpr std::uint32_t kMaxFrameLength = 65536;
inline constexpr std::size_t kFrameHeaderSize = 4;
inline constexpr std::size_t kTagSize = 16;
// Largest body a plain frame can carry.
inline constexpr std::size_t kMaxPlainBody = kMaxFrameLength - 1;  // 65535
// Largest plain body that still fits once the tag is appended.
inline constexpr std::size_t kMaxSecurePlainBody = kMaxFrameLength - 1 - kTagSize;  // 65519

// Direction labels: the first four nonce bytes of each direction.
inline constexpr std::string_view kHostToClient = "HTCP";
inline constexpr std::string_view kClientToHost = "CTCP";

struct Frame {
    std::uint8_t type = 0;
    Bytes body;
};

// Cuts whole frames out of byte chunks of any size. A frame is handed out only
// once all 4 + L bytes are buffered; later bytes stay for the next frame.
// A length field outside 1..=65536 makes the reader Bad for good: the stream
// can no longer be delimited.
class FrameReader {
public:
    enum class Status { Frame, NeedMore, Bad };

    void feed(ByteView chunk);
    // Moves the next complete frame into `out` (Frame), or reports that more
    // bytes are needed (NeedMore) or that the stream is broken (Bad).
    Status next(Frame& out);
    // Bytes received but not yet handed out as frames.
    std::size_t buffered() const { return buffer_.size() - start_; }

private:
    Bytes buffer_;
    std::size_t start_ = 0;  // first byte not yet consumed
    bool bad_ = false;
};

// Per-connection AEAD state, installed when the handshake establishes a session.
struct SessionKeys {
    crypto::SessionKey key;
    std::uint64_t sendCounter = 0;
    std::uint64_t recvCounter = 0;
};

// The whole plain frame (header, type, body); fails for a body over 65535 bytes.
Result<Bytes> encode_plain(std::uint8_t type, ByteView body);

// The whole secure frame. nonce = sendLabel || sendCounter (u64 LE), associated
// data = type || L (u32 LE) with L = 1 + plain + 16. The send counter advances
// after sealing. Fails (counter untouched) for a plain body over 65519 bytes or
// when the counter is exhausted.
Result<Bytes> encode_secure(SessionKeys& keys, std::string_view sendLabel, std::uint8_t type,
                            ByteView plain);

// Opens the body of a received secure frame (ciphertext || tag, i.e. L - 1
// bytes). Nothing when the body is shorter than the tag (L < 17), longer than a
// frame allows, or the tag does not verify; the receive counter advances only
// on success.
std::optional<Bytes> decode_secure(SessionKeys& keys, std::string_view recvLabel, std::uint8_t type,
                                   ByteView wireBody);

// The 5 bytes of associated data of a secure frame: type || L (u32 LE).
ByteArray<5> secure_aad(std::uint8_t type, std::uint32_t frameLength);

}  // namespace hp::protocol
