#include "connection_check/rule_scope.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/ip_address.h"

namespace hp::connection_check {

namespace {

using Span = std::pair<std::uint64_t, std::uint64_t>;  // inclusive

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool same_word(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

// The comma-separated entries of a list, trimmed, empty ones left out.
std::vector<std::string_view> entries(std::string_view list) {
    std::vector<std::string_view> out;
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        const std::string_view entry = trimmed(list.substr(0, comma));
        if (!entry.empty()) out.push_back(entry);
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return out;
}

// Whether the spans together hold every value of `wanted`.
bool holds(std::vector<Span> spans, Span wanted) {
    std::sort(spans.begin(), spans.end());
    std::uint64_t reached = wanted.first;  // every value below it is held
    for (const Span& s : spans) {
        if (s.first > reached) break;
        if (s.second >= reached) reached = s.second + 1;
        if (reached > wanted.second) return true;
    }
    return false;
}

std::optional<std::uint32_t> ipv4(std::string_view text) {
    const auto address = IpAddress::parse(text);
    if (!address || !address->is_v4()) return std::nullopt;
    const auto& o = address->octets;
    return (std::uint32_t{o[0]} << 24) | (std::uint32_t{o[1]} << 16) | (std::uint32_t{o[2]} << 8) | o[3];
}

std::optional<unsigned> number(std::string_view text, unsigned max) {
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value > max) return std::nullopt;
    return value;
}

// The IPv4 addresses one entry holds: "a.b.c.d", "a.b.c.d-e.f.g.h",
// "a.b.c.d/n" or "a.b.c.d/m.m.m.m" (a contiguous mask). Anything else holds
// none.
std::optional<Span> ipv4_span(std::string_view entry) {
    if (const std::size_t dash = entry.find('-'); dash != std::string_view::npos) {
        const auto lo = ipv4(trimmed(entry.substr(0, dash)));
        const auto hi = ipv4(trimmed(entry.substr(dash + 1)));
        if (!lo || !hi || *lo > *hi) return std::nullopt;
        return Span{*lo, *hi};
    }
    const std::size_t slash = entry.find('/');
    const auto base = ipv4(trimmed(entry.substr(0, slash)));
    if (!base) return std::nullopt;
    if (slash == std::string_view::npos) return Span{*base, *base};
    const std::string_view suffix = trimmed(entry.substr(slash + 1));
    std::uint32_t mask = 0;
    if (const auto bits = number(suffix, 32)) {
        mask = *bits == 0 ? 0 : ~std::uint32_t{0} << (32 - *bits);
    } else if (const auto dotted = ipv4(suffix)) {
        mask = *dotted;
        if ((~mask & (~mask + 1)) != 0) return std::nullopt;  // ones, then zeros only
    } else {
        return std::nullopt;
    }
    const std::uint32_t lo = *base & mask;
    return Span{lo, lo | ~mask};
}

constexpr Span v4_subnet(std::uint32_t a, std::uint32_t b, unsigned bits) {
    const std::uint32_t base = (a << 24) | (b << 16);
    return Span{base, base | (~std::uint32_t{0} >> bits)};
}

}  // namespace

bool remote_addresses_admit_phones(std::string_view remoteAddresses) {
    const auto list = entries(remoteAddresses);
    std::vector<Span> spans;
    for (const std::string_view entry : list) {
        if (entry == "*") return true;
        if (const auto span = ipv4_span(entry)) spans.push_back(*span);
    }
    const Span needed[] = {v4_subnet(10, 0, 8), v4_subnet(172, 16, 12), v4_subnet(192, 168, 16),
                           v4_subnet(100, 64, 10)};
    return std::all_of(std::begin(needed), std::end(needed), [&](const Span& s) { return holds(spans, s); });
}

bool local_ports_admit_host(int protocol, std::string_view localPorts) {
    if (protocol != platform::kProtocolTcp && protocol != platform::kProtocolUdp) return true;  // no ports
    std::vector<Span> spans;
    for (const std::string_view entry : entries(localPorts)) {
        if (entry == "*") return true;
        const std::size_t dash = entry.find('-');
        const auto lo = number(trimmed(entry.substr(0, dash)), 65535);
        const auto hi = dash == std::string_view::npos ? lo : number(trimmed(entry.substr(dash + 1)), 65535);
        if (lo && hi && *lo <= *hi) spans.emplace_back(*lo, *hi);
    }
    return holds(std::move(spans), Span{kHostFirstPort, kHostLastPort});
}

bool interface_types_admit_all(std::string_view interfaceTypes) {
    bool lan = false, wireless = false, remote = false;
    for (const std::string_view entry : entries(interfaceTypes)) {
        if (same_word(entry, "All")) return true;
        lan = lan || same_word(entry, "Lan");
        wireless = wireless || same_word(entry, "Wireless");
        remote = remote || same_word(entry, "RemoteAccess");
    }
    return lan && wireless && remote;
}

bool scope_admits_phones(const platform::FirewallRule& rule) {
    return remote_addresses_admit_phones(rule.remoteAddresses) && local_ports_admit_host(rule.protocol, rule.localPorts) &&
           interface_types_admit_all(rule.interfaceTypes);
}

}  // namespace hp::connection_check
