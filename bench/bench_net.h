#pragma once
// Plain loopback sockets for the measuring tools: sockets from a chosen
// 127.0.0.x source, a bare UDP echo (the round-trip baseline), one timed
// datagram round trip, and paced datagram floods with sendmmsg.
#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "base/bytes.h"

namespace hp::bench {

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
    Fd& operator=(Fd&& o) noexcept;
    ~Fd() { reset(); }
    void reset();
    // Closes with a reset instead of a FIN, so the closing side keeps no
    // TIME_WAIT entry (floods would otherwise run out of source ports).
    void reset_hard();
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

sockaddr_in v4(const std::string& ip, std::uint16_t port);

// A UDP socket bound to `source` and connected to 127.0.0.1:port.
Fd udp_from(const std::string& source, std::uint16_t port);
// A TCP connection from `source` to 127.0.0.1:port, non-blocking, started
// and left to finish. Empty on failure.
Fd tcp_started(const std::string& source, std::uint16_t port);
// The same, waiting at most `limit` for the connection to be established.
Fd tcp_from(const std::string& source, std::uint16_t port,
            std::chrono::milliseconds limit = std::chrono::milliseconds(2000));
// True while the peer has neither closed nor sent anything.
bool silent_and_open(int fd);

// The round trip's baseline: a process of its own that answers each
// datagram with a 28-byte acknowledgement-shaped reply (header and sequence
// copied, no tag). Create it before the program starts any thread.
class UdpEcho {
public:
    UdpEcho();
    ~UdpEcho();
    UdpEcho(const UdpEcho&) = delete;
    UdpEcho& operator=(const UdpEcho&) = delete;
    std::uint16_t port() const { return port_; }
    bool running() const { return pid_ > 0; }
    // What it sends back for the datagram with sequence number `seq`: an
    // acknowledgement's header and sequence number, and a zero tag.
    static Bytes reply_to(std::uint64_t seq);
    int pid() const { return pid_; }

private:
    std::uint16_t port_ = 0;
    int pid_ = -1;
    Fd lifeline_;  // the echo ends when this pipe closes
};

// Sends one datagram on a connected socket and waits for the reply
// `expected` (an acknowledgement, or the echo's reply): the round trip in
// microseconds, or nothing on time-out.
std::optional<double> round_trip(int fd, const Bytes& datagram, const Bytes& expected,
                                 std::chrono::milliseconds limit);

// Sends next(i, out) datagrams in batches of 32 with sendmmsg, for at most
// `duration` and `maxCount`, at `rate` per second (0: as fast as possible),
// until *stop. Returns how many were sent.
std::uint64_t send_datagrams(int fd, const std::function<void(std::uint64_t, Bytes&)>& next,
                             std::chrono::milliseconds duration, std::uint64_t maxCount, int rate,
                             const std::atomic<bool>* stop = nullptr);

}  // namespace hp::bench
