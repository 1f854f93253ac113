#pragma once
// One TCP connection to a host, frame by frame, with a deadline on every wait,
// and the session's UDP datagrams once it is established. Blocking: the
// client does one thing at a time.
#include <chrono>
#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "base/bytes.h"
#include "base/result.h"
#include "client/address.h"
#include "crypto/crypto.h"
#include "protocol/frame.h"

namespace hp::client {

// Receives one line per frame or datagram sent and received (--trace).
using Trace = std::function<void(const std::string&)>;

// The name of a frame type ("PairRequest"), or its number in hex.
std::string frame_name(std::uint8_t type);

struct ReceiveFailure {
    enum class Kind { Closed, Timeout, Bad };
    Kind kind = Kind::Bad;
    std::string text;
};

class Connection {
public:
    // Resolves and connects within `timeout`; the error says which endpoint
    // could not be reached and why.
    static Result<std::unique_ptr<Connection>> open(const Endpoint& endpoint,
                                                    std::chrono::milliseconds timeout, Trace trace = {});
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // One frame: plain until start_secure, encrypted after it.
    Status send(std::uint8_t type, ByteView body);
    Status send(std::uint8_t type, std::string_view body) { return send(type, as_bytes(body)); }
    // The next frame, its body decrypted in secure mode.
    std::expected<protocol::Frame, ReceiveFailure> receive();
    // True when the host ends the connection before sending anything else.
    bool wait_closed();

    // Installs the session key; both frame counters start at 0.
    void start_secure(const crypto::Key32& sessionKey);
    // Opens the body of a frame received before start_secure that the host
    // already sent encrypted (AuthAccepted follows the plain handshake).
    Result<Bytes> open(const protocol::Frame& frame);
    bool secure() const { return keys_ != nullptr; }

    // Sends a 20-byte input record as a datagram to the host's address and
    // `udpPort`, with the acknowledgement flag set, and waits for the
    // matching acknowledgement; sends it again up to two times.
    Status send_datagram(std::uint16_t udpPort, ByteView inputRecord);

    const Endpoint& endpoint() const { return endpoint_; }
    // The address actually connected to ("127.0.0.1", "fd00::5").
    std::string peer_address() const;

    void set_timeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }

private:
    struct Io;
    Connection(std::unique_ptr<Io> io, Endpoint endpoint, std::chrono::milliseconds timeout, Trace trace);
    void trace(const std::string& line) const;

    std::unique_ptr<Io> io_;
    Endpoint endpoint_;
    std::chrono::milliseconds timeout_;
    Trace trace_;
    std::unique_ptr<protocol::SessionKeys> keys_;
    protocol::FrameReader reader_;
};

}  // namespace hp::client
