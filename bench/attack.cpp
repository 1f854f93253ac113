#include "attack.h"

#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <deque>

#include "bench_client.h"
#include "bench_net.h"
#include "host_process.h"

namespace hp::bench {

Attack::Attack(const AttackPlan& plan, const test::ClientIdentity& victim, const test::PinnedHost& host,
               AttackCounts& counts)
    : plan_(plan), authHello_(test::AuthClient(victim, host).hello_body()), counts_(counts) {
    auto pinned = [this](void (Attack::*work)()) {
        return [this, work] {
            if (plan_.cpu) pin_task(0, plan_.cpu);
            (this->*work)();
        };
    };
    threads_.emplace_back(pinned(&Attack::connections));
    threads_.emplace_back(pinned(&Attack::handshakes));
    threads_.emplace_back(pinned(&Attack::datagrams));
}

void Attack::stop() {
    stop_ = true;
    for (auto& t : threads_)
        if (t.joinable()) t.join();
    threads_.clear();
}

std::string Attack::source(std::uint64_t i) const {
    return loopback(2 + static_cast<int>(i % static_cast<std::uint64_t>(plan_.sources)));
}

// Connections that never send: up to plan_.connections held, the oldest
// replaced by a new one, at most 2000 new ones a second.
void Attack::connections() {
    std::deque<Fd> held;
    const auto t0 = SteadyClock::now();
    auto drop_oldest = [&] {
        if (!silent_and_open(held.front().get())) ++counts_.foundClosed;
        held.front().reset_hard();
        held.pop_front();
    };
    for (std::uint64_t i = 0; !stop_; ++i) {
        if (Fd fd = tcp_started(source(i), plan_.port)) {
            held.push_back(std::move(fd));
            ++counts_.connections;
        } else {
            ++counts_.connectFailures;
        }
        while (static_cast<int>(held.size()) > plan_.connections) drop_oldest();
        std::this_thread::sleep_until(t0 + std::chrono::microseconds(500 * (i + 1)));
    }
    while (!held.empty()) drop_oldest();
}

// Back to back, handshakes opened and never finished: AuthHello in the
// phone's name (the host answers with a fresh key pair and a signature) and
// information requests (an empty PairRequest, answered by HostInfo).
void Attack::handshakes() {
    const Bytes hello = test::client_plain_frame(test::frame_type::AuthHello, as_bytes(authHello_));
    const Bytes info = test::client_plain_frame(test::frame_type::PairRequest, ByteView{});
    for (std::uint64_t i = 0; !stop_; ++i) {
        Fd fd = tcp_from(source(i), plan_.port, std::chrono::milliseconds(500));
        if (!fd) {
            ++counts_.handshakeConnectFailures;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        ++counts_.handshakes;
        const Bytes& frame = i % 2 == 0 ? hello : info;
        std::uint8_t reply[4096];
        ssize_t n = -1;
        // The socket is non-blocking; a frame this small always fits.
        if (::send(fd.get(), frame.data(), frame.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(frame.size())) {
            pollfd p{fd.get(), POLLIN, 0};
            if (::poll(&p, 1, 500) == 1) n = ::recv(fd.get(), reply, sizeof reply, 0);
        }
        if (n >= 5 && reply[4] == test::frame_type::AuthChallenge) ++counts_.challenges;
        else if (n >= 5 && reply[4] == test::frame_type::HostInfo) ++counts_.infos;
        else ++counts_.unanswered;
        fd.reset_hard();
    }
}

void Attack::datagrams() {
    Fd fd = udp_from(source(0), plan_.port);
    std::vector<Bytes> pool;
    for (int i = 0; i < 1024; ++i) pool.push_back(forged_datagram(static_cast<std::uint64_t>(i)));
    counts_.datagrams += send_datagrams(
        fd.get(), [&](std::uint64_t i, Bytes& out) { out = pool[i % pool.size()]; }, std::chrono::hours(1), ~0ull,
        plan_.datagramRate, &stop_);
}

}  // namespace hp::bench
