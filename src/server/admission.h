#pragma once
// Limits before trust. Anyone who can reach the port may connect; only paired
// devices may use the host, and nobody may keep them out. So connections that
// have not proved anything yet are bounded per source and in total, must
// finish their handshake within a deadline, and may start handshakes only at
// a modest rate. Established sessions are never counted or evicted.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "base/clock.h"
#include "base/ip_address.h"

namespace hp::server {

struct AdmissionLimits {
    // Unauthenticated connections from one source (an IPv4 address, or an
    // IPv6 /64): a phone opens one or two; a scanner or a flood many.
    std::size_t perSource = 8;
    // Unauthenticated connections in all: each costs a descriptor and a
    // little memory, and the process has about a thousand descriptors.
    std::size_t total = 64;
    // From accept to an established session, whatever bytes arrive meanwhile
    // (the idle deadline alone is kept alive by a byte every few seconds).
    std::chrono::milliseconds handshakeDeadline{30000};
    // PairRequest (information requests included) and AuthHello per source:
    // a token bucket. Each handshake costs key agreement and a signature.
    double handshakesPerSecond = 10;
    double handshakeBurst = 20;
};

// The source a connection counts against: an IPv4 address as it is, an IPv6
// address cut to its /64 prefix.
IpAddress admission_source(const IpAddress& peer);

class Admission {
public:
    // Closes one connection (posted to its own task; never blocks).
    using Closer = std::function<void()>;

    explicit Admission(AdmissionLimits limits);

    struct Admitted {
        std::uint64_t id = 0;
        std::vector<Closer> evicted;  // to be called by the caller, outside any lock
    };
    // A new unauthenticated connection from peer. Nothing when its source
    // already holds its limit: the connection is closed at once, unread.
    // At the total limit the oldest connection of the source that holds the
    // most is evicted to make room, so a source with a single connection (a
    // phone) is the last to lose it.
    std::optional<Admitted> admit(const IpAddress& peer, Closer closer);

    // The connection is established (it no longer counts) or gone; repeated
    // calls are harmless.
    void release(std::uint64_t id);

    // Out of descriptors or memory: the connection to close by the same rule,
    // if any is unauthenticated.
    std::optional<Closer> evict_one();

    // A handshake request from peer at now; false when the source is over
    // its rate (the connection is then closed without a reply).
    bool allow_handshake(const IpAddress& peer, Instant now);

    std::size_t unauthenticated() const;
    const AdmissionLimits& limits() const { return limits_; }

private:
    struct Connection {
        IpAddress source;
        Closer closer;
    };
    struct Bucket {
        double tokens = 0;
        Instant refilled{};
    };
    std::optional<Closer> evict_locked();

    const AdmissionLimits limits_;
    mutable std::mutex mutex_;
    std::uint64_t nextId_ = 1;
    std::map<std::uint64_t, Connection> connections_;  // oldest first
    std::map<IpAddress, std::size_t> perSource_;
    std::map<IpAddress, Bucket> buckets_;
};

}  // namespace hp::server
