#pragma once
// The client's half of the protocol, for tests: a phone as the host sees it.
//
// It is written from the client's point of view and on purpose shares no code
// with the host's protocol module: its own framing, its own JSON (nlohmann
// directly), its own transcripts and key schedule on top of the crypto
// primitives. A bug in the host's framing or handshake therefore shows up as a
// disagreement instead of cancelling out. For the same reason it is not the
// reference client's library (src/client), which takes its codecs from the
// host; where a client is needed and no independent check (bench/), use that.
//
// Two layers:
//   - PairingClient, AuthClient, ClientChannel: pure computations (bodies to
//     send, checks of bodies received, frame sealing), usable without sockets
//     to drive the handshake handler frame by frame;
//   - TestClient: a blocking TCP client over Asio with time-outs that runs the
//     exchanges end to end against a listening host.
#include <chrono>
#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "base/bytes.h"
#include "base/result.h"
#include "crypto/crypto.h"

namespace hp::test {

// Frame type codes as the client knows them.
namespace frame_type {
inline constexpr std::uint8_t PairRequest = 0x10, PairChallenge = 0x11, PairConfirm = 0x12,
                              PairAccepted = 0x13, HostInfo = 0x14, PairRejected = 0x1f,
                              AuthHello = 0x20, AuthChallenge = 0x21, AuthResponse = 0x22,
                              AuthAccepted = 0x23, AuthRejected = 0x2f, Ping = 0x30, Pong = 0x31,
                              TextUtf8 = 0x32, ClipboardSet = 0x33, InputCommand = 0x34,
                              SasResult = 0x36, ClipboardGet = 0x37, ClipboardContent = 0x38,
                              ControllerState = 0x39, SessionEnded = 0x3f;
}

struct ClientFrame {
    std::uint8_t type = 0;
    Bytes body;
    std::string text() const { return to_string(body); }
    // The body parsed as JSON (discarded value when it is not JSON).
    nlohmann::json json() const;
};

// A plain frame as the client writes it: L (u32 LE) || type || body.
Bytes client_plain_frame(std::uint8_t type, ByteView body);

// The long-term identity of a client device.
struct ClientIdentity {
    std::string clientId;
    std::string deviceName;
    std::string deviceModel;
    crypto::Key32 ed25519Seed{};

    crypto::Key32 ed25519_public() const { return crypto::ed25519_public_key(ed25519Seed); }
    // A random UUID-like clientId and a random seed.
    static ClientIdentity generate(std::string deviceName = "Test Phone",
                                   std::string deviceModel = "Model T");
};

// What a client keeps about a host after pairing with it.
struct PinnedHost {
    std::string hostId;
    crypto::Key32 ed25519Public{};
    std::uint16_t udpPort = 0;
};

// Fresh per-handshake material of the client.
struct ClientEphemeral {
    crypto::Key32 x25519Secret{};
    crypto::Key32 x25519Public{};
    crypto::Nonce16 nonce{};
    static ClientEphemeral generate();
    static ClientEphemeral from(const crypto::Key32& secret, const crypto::Nonce16& nonce);
};

// Ways to spoil a PairConfirm for negative tests.
struct ConfirmTweaks {
    std::optional<std::string> macCode{};  // derive the MAC with this code instead
    bool corruptMac = false;               // flip a bit of the MAC
    bool corruptSignature = false;         // flip a bit of the signature
    bool upperCaseHex = false;             // write both members in upper-case hex
};

// Client side of pairing, without sockets.
class PairingClient {
public:
    explicit PairingClient(ClientIdentity identity,
                           ClientEphemeral ephemeral = ClientEphemeral::generate());

    // PairRequest (0x10) as an object with all six members; request_json()
    // gives the same as a value tests can alter.
    nlohmann::json request_json() const;
    std::string request_body() const { return request_json().dump(); }

    // Reads PairChallenge (0x11), derives the keys with `code` and returns the
    // PairConfirm (0x12) body.
    Result<std::string> confirm_body(ByteView challengeBody, std::string_view code,
                                     const ConfirmTweaks& tweaks = {});
    // Checks hostMacHex and hostSigHex of PairAccepted (0x13); remembers udpPort.
    Status verify_accepted(ByteView acceptedBody);

    // Available after confirm_body.
    const crypto::Key32& session_key() const { return sessionKey_; }
    const Bytes& transcript() const { return transcript_; }
    const nlohmann::json& challenge() const { return challenge_; }
    PinnedHost pinned_host() const { return host_; }

    const ClientIdentity& identity() const { return identity_; }
    const ClientEphemeral& ephemeral() const { return ephemeral_; }

private:
    ClientIdentity identity_;
    ClientEphemeral ephemeral_;
    nlohmann::json challenge_;
    PinnedHost host_;
    Bytes transcript_;
    crypto::Key32 sessionKey_{};
    crypto::Key32 confirmKey_{};
};

// Ways to shape or spoil an authentication.
struct AuthTweaks {
    std::optional<std::string> deviceName{};  // AuthHello deviceName; default: the identity's
    bool omitDeviceName = false;              // leave the member out
    bool corruptSignature = false;            // flip a bit of clientSig
    bool corruptHostCheck = false;            // verify hostSig with a wrong key (client refuses)
};

// Client side of authentication, without sockets.
class AuthClient {
public:
    AuthClient(ClientIdentity identity, PinnedHost host, AuthTweaks tweaks = {},
               ClientEphemeral ephemeral = ClientEphemeral::generate());

    nlohmann::json hello_json() const;
    std::string hello_body() const { return hello_json().dump(); }
    // Reads AuthChallenge (0x21), verifies hostSig with the pinned key, derives
    // the session key and returns the AuthResponse (0x22) body.
    Result<std::string> response_body(ByteView challengeBody);

    const crypto::Key32& session_key() const { return sessionKey_; }
    const Bytes& transcript() const { return transcript_; }
    const nlohmann::json& challenge() const { return challenge_; }
    const ClientEphemeral& ephemeral() const { return ephemeral_; }

private:
    ClientIdentity identity_;
    PinnedHost host_;
    AuthTweaks tweaks_;
    ClientEphemeral ephemeral_;
    nlohmann::json challenge_;
    Bytes transcript_;
    crypto::Key32 sessionKey_{};
};

// The client's secure mode: sends with "CTCP", receives with "HTCP".
struct ClientChannel {
    crypto::Key32 key{};
    std::uint64_t sendCounter = 0;
    std::uint64_t recvCounter = 0;

    // The whole frame on the wire; advances the send counter.
    Bytes seal(std::uint8_t type, ByteView plain);
    // Opens a host frame body; advances the receive counter on success.
    std::optional<Bytes> open(std::uint8_t type, ByteView wireBody);
};

struct HandshakeResult {
    enum class Kind {
        Established,  // session keys installed
        Rejected,     // PairRejected / AuthRejected; `detail` is the reason
        Closed,       // the host closed without (further) reply
        Failed,       // time-out, unexpected frame, or a host proof that did not verify
    };
    Kind kind = Kind::Failed;
    std::string detail;
    bool ok() const { return kind == Kind::Established; }
};

// Blocking loopback client. Every receive waits at most timeout() (5 s by
// default) so a host that stays silent fails the test instead of hanging it.
class TestClient {
public:
    explicit TestClient(ClientIdentity identity = ClientIdentity::generate());
    ~TestClient();
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;

    Status connect(std::uint16_t port, const std::string& host = "127.0.0.1");
    void close();
    bool is_open() const;

    void set_timeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }
    // A small receive buffer (set before connect) makes a client that does
    // not read fill up quickly.
    void set_receive_buffer(int bytes) { receiveBuffer_ = bytes; }
    // The loopback address to connect from (set before connect), so that one
    // program can act as several peers: 127.0.0.2, 127.0.0.3, ...
    void set_local_address(std::string address) { localAddress_ = std::move(address); }
    std::chrono::milliseconds timeout() const { return timeout_; }

    Status send_raw(ByteView bytes);
    Status send_plain(std::uint8_t type, ByteView body);
    Status send_plain(std::uint8_t type, std::string_view body) {
        return send_plain(type, as_bytes(body));
    }
    Status send_secure(std::uint8_t type, ByteView plain);
    Status send_secure(std::uint8_t type, std::string_view plain) {
        return send_secure(type, as_bytes(plain));
    }

    // The next frame exactly as it came (body still encrypted in secure mode).
    Result<ClientFrame> recv_plain();
    // The next frame, decrypted; fails outside secure mode or on a bad tag.
    Result<ClientFrame> recv_secure();
    // recv_secure in secure mode, recv_plain otherwise.
    Result<ClientFrame> recv();
    // True when the host ends the stream (end of file or reset) before any
    // further byte arrives; false on data or time-out.
    bool wait_closed();

    // Information request: an empty PairRequest, answered by HostInfo.
    Result<nlohmann::json> information();
    // PairRequest → PairChallenge → PairConfirm → PairAccepted; on success the
    // host is pinned and secure mode starts with both counters at 0.
    HandshakeResult pair(std::string_view code, const ConfirmTweaks& tweaks = {});
    // AuthHello → AuthChallenge → AuthResponse → AuthAccepted with the pinned
    // host; on success secure mode is on and AuthAccepted has been consumed.
    HandshakeResult authenticate(const AuthTweaks& tweaks = {});

    ClientIdentity& identity() { return identity_; }
    const std::optional<PinnedHost>& pinned_host() const { return host_; }
    void pin_host(PinnedHost host) { host_ = std::move(host); }
    // The last PairChallenge or AuthChallenge received, as JSON.
    const nlohmann::json& last_challenge() const { return lastChallenge_; }

    bool secure() const { return channel_.has_value(); }
    void start_secure(const crypto::Key32& key);
    ClientChannel& channel() { return *channel_; }

private:
    enum class ReadStatus { Ok, Closed, Timeout, Bad };
    ReadStatus read_frame(ClientFrame& out);
    static std::string describe(ReadStatus status);
    HandshakeResult from_read(ReadStatus status) const;

    struct Io;
    std::unique_ptr<Io> io_;
    ClientIdentity identity_;
    std::optional<PinnedHost> host_;
    std::optional<ClientChannel> channel_;
    nlohmann::json lastChallenge_;
    std::chrono::milliseconds timeout_{5000};
    std::optional<int> receiveBuffer_;
    std::optional<std::string> localAddress_;
};

}  // namespace hp::test
