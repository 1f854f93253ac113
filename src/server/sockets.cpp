#include "server/sockets.h"

#include <algorithm>
#include <array>

#include <asio/ip/v6_only.hpp>
#include <asio/socket_base.hpp>

namespace hp::server {

namespace {

using asio::ip::tcp;
using asio::ip::udp;

// Adopts a socket the platform created; on failure the handle is closed here,
// since nothing else owns it yet.
template <class Socket>
Status adopt(Socket& s, const typename Socket::protocol_type& protocol, platform::NativeSocket native,
             platform::System& system) {
    asio::error_code ec;
    s.assign(protocol, static_cast<typename Socket::native_handle_type>(native), ec);
    if (ec) {
        system.close_socket(native);
        return fail(system.error_text(ec));
    }
    return {};
}

// Listener with the platform's options, backlog 128.
Result<tcp::acceptor> bind_tcp(const asio::any_io_executor& ex, platform::System& system,
                               const asio::ip::address& addr, std::uint16_t port) {
    auto native = system.create_tcp_listener(addr.is_v6());
    if (!native) return std::unexpected(native.error());
    tcp::acceptor a(ex);
    const tcp::endpoint ep(addr, port);
    if (auto ok = adopt(a, ep.protocol(), *native, system); !ok) return std::unexpected(ok.error());
    asio::error_code ec;
    if (addr.is_v6()) a.set_option(asio::ip::v6_only(true), ec);
    a.bind(ep, ec);
    if (ec) return fail(system.error_text(ec));
    a.listen(128, ec);
    if (ec) return fail(system.error_text(ec));
    return a;
}

Result<udp::socket> bind_udp(const asio::any_io_executor& ex, platform::System& system,
                             const asio::ip::address& addr, std::uint16_t port) {
    auto native = system.create_udp_socket(addr.is_v6());
    if (!native) return std::unexpected(native.error());
    udp::socket s(ex);
    const udp::endpoint ep(addr, port);
    if (auto ok = adopt(s, ep.protocol(), *native, system); !ok) return std::unexpected(ok.error());
    asio::error_code ignored;
    s.set_option(asio::socket_base::receive_buffer_size(0x100000), ignored);
    if (addr.is_v6()) s.set_option(asio::ip::v6_only(true), ignored);
    asio::error_code ec;
    s.non_blocking(true, ec);
    if (ec) return fail(system.error_text(ec));
    s.bind(ep, ec);
    if (ec) return fail(system.error_text(ec));
    return s;
}

}  // namespace

IpAddress to_ip_address(const asio::ip::address& a) {
    if (a.is_v4()) {
        const auto b = a.to_v4().to_bytes();
        return IpAddress::v4(b[0], b[1], b[2], b[3]);
    }
    const auto b = a.to_v6().to_bytes();
    std::array<std::uint8_t, 16> o{};
    std::copy(b.begin(), b.end(), o.begin());
    return IpAddress::v6(o).unmapped();
}

udp::endpoint to_endpoint(const IpAddress& ip, std::uint16_t port) {
    if (ip.is_v4()) return {asio::ip::address_v4({ip.octets[0], ip.octets[1], ip.octets[2], ip.octets[3]}), port};
    asio::ip::address_v6::bytes_type b{};
    std::copy(ip.octets.begin(), ip.octets.end(), b.begin());
    return {asio::ip::address_v6(b), port};
}

Result<BoundSockets> bind_host_sockets(const asio::any_io_executor& udpEx, const asio::any_io_executor& tcpEx,
                                       platform::System& system, PortRange range) {
    std::optional<Error> last_error;
    for (std::uint32_t port = range.first; port <= range.last; ++port) {
        auto tcp4 = bind_tcp(tcpEx, system, asio::ip::address_v4::any(), static_cast<std::uint16_t>(port));
        if (!tcp4) {
            last_error = tcp4.error();
            continue;
        }
        asio::error_code ec;
        const auto local = tcp4->local_endpoint(ec);
        if (ec) {
            last_error = Error{system.error_text(ec)};
            continue;
        }
        const std::uint16_t tcp_port = local.port();
        auto udp4 = bind_udp(udpEx, system, asio::ip::address_v4::any(), tcp_port);
        if (!udp4) {
            last_error = udp4.error();
            continue;  // the TCP listener closes as it goes out of scope
        }
        const auto udp_local = udp4->local_endpoint(ec);
        if (ec) {
            last_error = Error{system.error_text(ec)};
            continue;
        }
        BoundSockets out{std::move(*tcp4), std::move(*udp4), std::nullopt, std::nullopt, tcp_port,
                         udp_local.port()};
        if (auto tcp6 = bind_tcp(tcpEx, system, asio::ip::address_v6::any(), tcp_port))
            out.tcp_v6.emplace(std::move(*tcp6));
        if (auto udp6 = bind_udp(udpEx, system, asio::ip::address_v6::any(), out.udp_port))
            out.udp_v6.emplace(std::move(*udp6));
        return out;
    }
    if (last_error) return std::unexpected(*last_error);
    return fail("no free port");
}

}  // namespace hp::server
