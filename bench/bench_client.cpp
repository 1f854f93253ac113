#include "bench_client.h"

#include "client/datagram.h"
#include "client/input.h"
#include "crypto/crypto.h"

namespace hp::bench {

namespace {

Bytes zero_move(const crypto::Key32& key, std::uint64_t seq, bool wantAck) {
    client::InputCommand move = client::mouse_move(0.0f, 0.0f);
    move.seq = seq;
    const auto d = client::seal_input(key, protocol::encode_input_record(move), wantAck);
    return Bytes(d.begin(), d.end());
}

}  // namespace

Bytes sealed_datagram(const crypto::Key32& key, std::uint64_t seq, bool wantAck) {
    return zero_move(key, seq, wantAck);
}

Bytes forged_datagram(std::uint64_t seq) {
    crypto::Key32 notTheKey{};
    crypto::random_bytes(notTheKey);
    return zero_move(notTheKey, seq, false);
}

Bytes ack_of(const crypto::Key32& key, std::uint64_t seq) {
    const auto ack = client::expected_ack(key, seq);
    return Bytes(ack.begin(), ack.end());
}

Status Phone::pair(HostProcess& host) {
    port_ = host.port();
    auto code = host.pairing_code();
    if (!code) return std::unexpected(code.error());
    client_.set_local_address("127.0.0.1");
    if (auto s = client_.connect(port_); !s) return s;
    const auto r = client_.pair(*code);
    if (!r.ok()) return fail("pairing failed: " + r.detail);
    lastPing_ = SteadyClock::now();
    return {};
}

Result<double> Phone::ping_us() {
    const std::string body = "{\"ts\":" + std::to_string(++pingTs_) + "}";
    const auto t0 = SteadyClock::now();
    if (auto s = client_.send_secure(test::frame_type::Ping, std::string_view(body)); !s)
        return std::unexpected(s.error());
    for (;;) {
        auto f = client_.recv();
        if (!f) return std::unexpected(f.error());
        if (f->type == test::frame_type::Pong) break;  // anything else is skipped
    }
    lastPing_ = SteadyClock::now();
    return std::chrono::duration<double, std::micro>(lastPing_ - t0).count();
}

Result<std::optional<double>> Phone::keepalive(std::chrono::milliseconds every) {
    if (SteadyClock::now() - lastPing_ < every) return std::optional<double>{};
    if (auto rtt = ping_us()) return std::optional<double>{*rtt};
    // The session is gone: a new one from the same address (a fresh key;
    // sequence numbers keep rising).
    client_.set_local_address("127.0.0.1");
    if (auto s = client_.connect(port_); !s) return std::unexpected(s.error());
    const auto r = client_.authenticate();
    if (!r.ok()) return fail("authentication failed: " + r.detail);
    ++reauthentications_;
    lastPing_ = SteadyClock::now();
    return std::optional<double>{};
}

Result<std::unique_ptr<test::TestClient>> Phone::authenticate_from(const std::string& source,
                                                                   std::chrono::milliseconds timeout) {
    auto c = std::make_unique<test::TestClient>(client_.identity());
    c->pin_host(*client_.pinned_host());
    c->set_timeout(timeout);
    c->set_local_address(source);
    if (auto s = c->connect(port_); !s) return std::unexpected(s.error());
    const auto r = c->authenticate();
    if (!r.ok()) return fail(r.detail.empty() ? "refused" : r.detail);
    return c;
}

}  // namespace hp::bench
