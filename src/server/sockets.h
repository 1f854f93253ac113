#pragma once
// The host's listening sockets: one port for TCP and UDP, the first usable in
// 49182..49192, on IPv4 and where possible IPv6.
#include <cstdint>
#include <optional>

#include <asio/ip/tcp.hpp>
#include <asio/ip/udp.hpp>

#include "base/ip_address.h"
#include "base/result.h"
#include "platform/system.h"

namespace hp::server {

inline constexpr std::uint16_t kFirstPort = 49182;
inline constexpr std::uint16_t kLastPort = 49192;

struct BoundSockets {
    asio::ip::tcp::acceptor tcp_v4;
    asio::ip::udp::socket udp_v4;
    std::optional<asio::ip::tcp::acceptor> tcp_v6;
    std::optional<asio::ip::udp::socket> udp_v6;
    std::uint16_t tcp_port = 0;
    std::uint16_t udp_port = 0;
};

struct PortRange {
    std::uint16_t first = kFirstPort;
    std::uint16_t last = kLastPort;
};

// Sockets come from `system` (with that system's options) and its error
// texts describe the failures. The listeners run on `tcpEx`, the datagram
// sockets on `udpEx`.
Result<BoundSockets> bind_host_sockets(const asio::any_io_executor& udpEx, const asio::any_io_executor& tcpEx,
                                       platform::System& system, PortRange range = {});
inline Result<BoundSockets> bind_host_sockets(const asio::any_io_executor& ex, platform::System& system,
                                              PortRange range = {}) {
    return bind_host_sockets(ex, ex, system, range);
}

// A socket address as the host's own address type (IPv4-mapped IPv6
// addresses as IPv4), and back.
IpAddress to_ip_address(const asio::ip::address& a);
asio::ip::udp::endpoint to_endpoint(const IpAddress& ip, std::uint16_t port);

}  // namespace hp::server
