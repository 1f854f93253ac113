#pragma once
// An IPv4 or IPv6 address as a plain value, with the address rules shared by
// the server and discovery.
#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hp {

struct IpAddress {
    enum class Family : std::uint8_t { V4, V6 };
    Family family = Family::V4;
    std::array<std::uint8_t, 16> octets{};  // V4 uses the first 4

    static IpAddress v4(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d);
    static IpAddress v6(const std::array<std::uint8_t, 16>& bytes);
    static std::optional<IpAddress> parse(std::string_view text);

    bool is_v4() const { return family == Family::V4; }
    // ::ffff:a.b.c.d becomes a.b.c.d; everything else is returned unchanged.
    IpAddress unmapped() const;
    // Dotted decimal, or the standard IPv6 text form (no brackets, no scope).
    std::string to_string() const;

    // IPv4 before IPv6, then by octets.
    friend std::strong_ordering operator<=>(const IpAddress& a, const IpAddress& b);
    friend bool operator==(const IpAddress& a, const IpAddress& b) = default;
};

// Loopback, private, link-local and carrier-grade NAT ranges (IPv4-mapped
// addresses judged by the IPv4 rule).
bool is_private_address(const IpAddress& addr);
// 100.64.0.0/10 and fd7a:115c:a1e0::/48.
bool is_tailscale_address(const IpAddress& addr);
// "a.b.c.d:port" or "[v6]:port".
std::string format_endpoint(const IpAddress& addr, std::uint16_t port);

}  // namespace hp
