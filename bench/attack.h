#pragma once
// A hostile peer on the loopback network, for measuring how much a paired
// phone suffers: silent connections held open, handshakes opened and
// abandoned, forged datagrams, all from 127.0.0.2 (and on, with more
// sources), until stopped.
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/test_client.h"

namespace hp::bench {

struct AttackPlan {
    std::uint16_t port = 0;
    int sources = 1;             // 127.0.0.2 .. 127.0.0.(1 + sources)
    int connections = 1000;      // silent connections held at most; at most 2000 new ones a second
    int datagramRate = 100000;   // forged datagrams a second
    // The attacker's threads stay on this CPU, if set: on a small machine
    // the attacker would otherwise take CPU time a remote attacker would not.
    std::optional<int> cpu;
};

struct AttackCounts {
    std::atomic<std::uint64_t> connections{0}, connectFailures{0}, foundClosed{0};
    std::atomic<std::uint64_t> handshakes{0}, challenges{0}, infos{0}, unanswered{0}, handshakeConnectFailures{0};
    std::atomic<std::uint64_t> datagrams{0};
};

class Attack {
public:
    // `victim` is the phone's identity: its client id travels in clear, so
    // an attacker can open authentications in its name.
    Attack(const AttackPlan& plan, const test::ClientIdentity& victim, const test::PinnedHost& host,
           AttackCounts& counts);
    ~Attack() { stop(); }
    Attack(const Attack&) = delete;
    Attack& operator=(const Attack&) = delete;
    void stop();

private:
    std::string source(std::uint64_t i) const;
    void connections();
    void handshakes();
    void datagrams();

    AttackPlan plan_;
    std::string authHello_;
    AttackCounts& counts_;
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};

}  // namespace hp::bench
