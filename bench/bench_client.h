#pragma once
// The measuring tools' phone: paired once with a child host, kept alive with
// Ping, able to authenticate again from any loopback address, and the input
// datagrams it sends (real ones and forged ones).
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "base/bytes.h"
#include "base/result.h"
#include "host_process.h"
#include "support/test_client.h"

namespace hp::bench {

// The datagrams are the reference client's (src/client): the phone sends
// what hearthpad-client sends.

// A zero-pixel mouse move (kind 1): a valid input the host takes in full
// (replay check, control, input time) without a pointer move, so figures do
// not include the console's printing of one.
Bytes sealed_datagram(const crypto::Key32& key, std::uint64_t seq, bool wantAck);
// The same move sealed with a random key: what a forger without the session
// key sends (right size and version, a tag that does not verify).
Bytes forged_datagram(std::uint64_t seq);
// The host's acknowledgement of `seq`, to compare replies with.
Bytes ack_of(const crypto::Key32& key, std::uint64_t seq);

class Phone {
public:
    // Pairs from 127.0.0.1 through the console's "pair" command.
    Status pair(HostProcess& host);

    // Sends Ping and waits for Pong when `every` has passed since the last
    // one (the host ends sessions silent for 10 s); authenticates again if
    // the session is gone. Returns the round trip in microseconds when a
    // ping was sent.
    Result<std::optional<double>> keepalive(std::chrono::milliseconds every = 2000ms);
    Result<double> ping_us();

    // A new connection from `source` that authenticates as this phone. Its
    // timeout is `timeout`; Rejected/Closed/Failed come back as errors.
    Result<std::unique_ptr<test::TestClient>> authenticate_from(const std::string& source,
                                                                std::chrono::milliseconds timeout = 5000ms);

    // Ends the phone's own session; it can still authenticate_from.
    void disconnect() { client_.close(); }

    const crypto::Key32& key() { return client_.channel().key; }
    std::uint64_t next_seq() { return ++seq_; }
    const test::ClientIdentity& identity() { return client_.identity(); }
    const test::PinnedHost& pinned_host() const { return *client_.pinned_host(); }
    std::uint16_t port() const { return port_; }
    int reauthentications() const { return reauthentications_; }

private:
    test::TestClient client_;
    std::uint16_t port_ = 0;
    std::uint64_t seq_ = 0;
    std::uint64_t pingTs_ = 0;
    int reauthentications_ = 0;
    SteadyClock::time_point lastPing_{};
};

}  // namespace hp::bench
