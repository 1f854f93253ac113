#include "bench_net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

#include "bench_client.h"

namespace hp::bench {

using SteadyClock = std::chrono::steady_clock;

Fd& Fd::operator=(Fd&& o) noexcept {
    reset();
    fd_ = std::exchange(o.fd_, -1);
    return *this;
}

void Fd::reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void Fd::reset_hard() {
    if (fd_ >= 0) {
        const linger l{1, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    }
    reset();
}

sockaddr_in v4(const std::string& ip, std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    ::inet_pton(AF_INET, ip.c_str(), &a.sin_addr);
    return a;
}

namespace {

Fd bound(int type, const std::string& source, bool nonBlocking) {
    Fd fd(::socket(AF_INET, type | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), 0));
    if (!fd) return fd;
    // The source port is chosen at connect time, knowing the destination,
    // so many connections from one address can share ports.
    const int one = 1;
    if (type == SOCK_STREAM) ::setsockopt(fd.get(), IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &one, sizeof one);
    const auto local = v4(source, 0);
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) return Fd();
    return fd;
}

}  // namespace

Fd udp_from(const std::string& source, std::uint16_t port) {
    Fd fd = bound(SOCK_DGRAM, source, false);
    const auto to = v4("127.0.0.1", port);
    if (fd && ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) return Fd();
    return fd;
}

Fd tcp_started(const std::string& source, std::uint16_t port) {
    Fd fd = bound(SOCK_STREAM, source, true);
    const auto to = v4("127.0.0.1", port);
    if (!fd) return fd;
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 || errno == EINPROGRESS)
        return fd;
    return Fd();
}

Fd tcp_from(const std::string& source, std::uint16_t port, std::chrono::milliseconds limit) {
    Fd fd = tcp_started(source, port);
    if (!fd) return fd;
    pollfd p{fd.get(), POLLOUT, 0};
    int error = 0;
    socklen_t len = sizeof error;
    if (::poll(&p, 1, static_cast<int>(limit.count())) != 1 ||
        ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0)
        fd.reset_hard();
    return fd;
}

bool silent_and_open(int fd) {
    pollfd p{fd, POLLIN | POLLRDHUP, 0};
    return ::poll(&p, 1, 0) == 0;
}

UdpEcho::UdpEcho() {
    Fd sock(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    auto local = v4("127.0.0.1", 0);
    socklen_t len = sizeof local;
    int pipefd[2];
    if (!sock || ::bind(sock.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        ::getsockname(sock.get(), reinterpret_cast<sockaddr*>(&local), &len) != 0 || ::pipe2(pipefd, O_CLOEXEC) != 0)
        return;
    port_ = ntohs(local.sin_port);
    pid_ = ::fork();
    if (pid_ == 0) {
        // Only system calls from here on.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::close(pipefd[1]);
        std::uint8_t in[2048], out[28] = {0x01, 0xFE};
        for (;;) {
            pollfd p[2] = {{sock.get(), POLLIN, 0}, {pipefd[0], POLLIN, 0}};
            if (::poll(p, 2, -1) < 0) continue;
            if (p[1].revents) ::_exit(0);
            sockaddr_in from{};
            socklen_t fromLen = sizeof from;
            const ssize_t n = ::recvfrom(sock.get(), in, sizeof in, 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
            if (n < 12) continue;
            std::memcpy(out + 4, in + 4, 8);
            ::sendto(sock.get(), out, sizeof out, 0, reinterpret_cast<const sockaddr*>(&from), fromLen);
        }
    }
    ::close(pipefd[0]);
    lifeline_ = Fd(pipefd[1]);
    if (pid_ < 0) port_ = 0;
}

UdpEcho::~UdpEcho() {
    lifeline_.reset();
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
}

Bytes UdpEcho::reply_to(std::uint64_t seq) {
    Bytes reply{0x01, 0xFE, 0, 0};
    put_u64le(reply, seq);
    reply.resize(28);
    return reply;
}

std::optional<double> round_trip(int fd, const Bytes& datagram, const Bytes& expected,
                                 std::chrono::milliseconds limit) {
    const auto t0 = SteadyClock::now();
    if (::send(fd, datagram.data(), datagram.size(), 0) < 0) return std::nullopt;
    const auto until = t0 + limit;
    std::uint8_t buf[2048];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - SteadyClock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() < 0 || ::poll(&p, 1, static_cast<int>(left.count()) + 1) != 1) return std::nullopt;
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n > 0 && static_cast<std::size_t>(n) == expected.size() &&
            std::memcmp(buf, expected.data(), expected.size()) == 0)
            return std::chrono::duration<double, std::micro>(SteadyClock::now() - t0).count();
    }
}

std::uint64_t send_datagrams(int fd, const std::function<void(std::uint64_t, Bytes&)>& next,
                             std::chrono::milliseconds duration, std::uint64_t maxCount, int rate,
                             const std::atomic<bool>* stop) {
    constexpr int kBatch = 32;
    std::vector<Bytes> bytes(kBatch);
    std::vector<iovec> iov(kBatch);
    std::vector<mmsghdr> msgs(kBatch);
    const auto t0 = SteadyClock::now();
    std::uint64_t sent = 0;
    while (sent < maxCount && SteadyClock::now() - t0 < duration && !(stop && *stop)) {
        for (int i = 0; i < kBatch; ++i) {
            next(sent + static_cast<std::uint64_t>(i), bytes[i]);
            iov[i] = iovec{bytes[i].data(), bytes[i].size()};
            msgs[i] = mmsghdr{};
            msgs[i].msg_hdr.msg_iov = &iov[i];
            msgs[i].msg_hdr.msg_iovlen = 1;
        }
        const int n = ::sendmmsg(fd, msgs.data(), kBatch, 0);
        if (n > 0) sent += static_cast<std::uint64_t>(n);
        if (rate > 0)
            std::this_thread::sleep_until(
                t0 + std::chrono::nanoseconds(sent * 1000000000ull / static_cast<std::uint64_t>(rate)));
    }
    return sent;
}

}  // namespace hp::bench
