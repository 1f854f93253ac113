#include "base/ip_address.h"

#include <asio/ip/address.hpp>

namespace hp {

IpAddress IpAddress::v4(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    IpAddress r;
    r.family = Family::V4;
    r.octets[0] = a;
    r.octets[1] = b;
    r.octets[2] = c;
    r.octets[3] = d;
    return r;
}

IpAddress IpAddress::v6(const std::array<std::uint8_t, 16>& bytes) {
    IpAddress r;
    r.family = Family::V6;
    r.octets = bytes;
    return r;
}

std::optional<IpAddress> IpAddress::parse(std::string_view text) {
    asio::error_code ec;
    const auto a = asio::ip::make_address(std::string(text), ec);
    if (ec) return std::nullopt;
    if (a.is_v4()) {
        const auto b = a.to_v4().to_bytes();
        return v4(b[0], b[1], b[2], b[3]);
    }
    const auto b = a.to_v6().to_bytes();
    std::array<std::uint8_t, 16> o{};
    std::copy(b.begin(), b.end(), o.begin());
    return v6(o);
}

IpAddress IpAddress::unmapped() const {
    if (family != Family::V6) return *this;
    for (int i = 0; i < 10; ++i)
        if (octets[i] != 0) return *this;
    if (octets[10] != 0xff || octets[11] != 0xff) return *this;
    return v4(octets[12], octets[13], octets[14], octets[15]);
}

std::string IpAddress::to_string() const {
    if (is_v4()) {
        return std::to_string(octets[0]) + "." + std::to_string(octets[1]) + "." +
               std::to_string(octets[2]) + "." + std::to_string(octets[3]);
    }
    asio::ip::address_v6::bytes_type b{};
    std::copy(octets.begin(), octets.end(), b.begin());
    return asio::ip::address_v6(b).to_string();
}

std::strong_ordering operator<=>(const IpAddress& a, const IpAddress& b) {
    if (auto c = a.family <=> b.family; c != 0) return c;
    const std::size_t n = a.is_v4() ? 4 : 16;
    for (std::size_t i = 0; i < n; ++i)
        if (auto c = a.octets[i] <=> b.octets[i]; c != 0) return c;
    return std::strong_ordering::equal;
}

bool is_private_address(const IpAddress& addr) {
    const IpAddress a = addr.unmapped();
    const auto& o = a.octets;
    if (a.is_v4()) {
        return o[0] == 10 || o[0] == 127 || (o[0] == 100 && (o[1] & 0xC0) == 64) ||
               (o[0] == 169 && o[1] == 254) || (o[0] == 172 && (o[1] & 0xF0) == 16) ||
               (o[0] == 192 && o[1] == 168);
    }
    bool loopback = o[15] == 1;
    for (int i = 0; i < 15; ++i) loopback = loopback && o[i] == 0;
    return loopback || (o[0] & 0xFE) == 0xFC || (o[0] == 0xFE && (o[1] & 0xC0) == 0x80);
}

bool is_tailscale_address(const IpAddress& addr) {
    const auto& o = addr.octets;
    if (addr.is_v4()) return o[0] == 100 && (o[1] & 0xC0) == 64;
    return o[0] == 0xfd && o[1] == 0x7a && o[2] == 0x11 && o[3] == 0x5c && o[4] == 0xa1 &&
           o[5] == 0xe0;
}

std::string format_endpoint(const IpAddress& addr, std::uint16_t port) {
    if (addr.is_v4()) return addr.to_string() + ":" + std::to_string(port);
    return "[" + addr.to_string() + "]:" + std::to_string(port);
}

}  // namespace hp
