#include "platform/posix/routes.h"

#include <charconv>
#include <vector>

namespace hp::platform {

namespace {

constexpr std::uint32_t kRtfUp = 0x0001;
constexpr std::uint32_t kRtfReject = 0x0200;

// The whitespace-separated fields of one line.
std::vector<std::string_view> fields_of(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
        if (i > start) out.push_back(line.substr(start, i - start));
    }
    return out;
}

template <typename F>
void for_each_line(std::string_view text, F&& f) {
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        f(text.substr(0, end));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
}

// The whole field as a number in `base`, or nothing.
template <typename T>
bool parse_number(std::string_view s, int base, T& out) {
    if (s.empty()) return false;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out, base);
    return ec == std::errc{} && end == s.data() + s.size();
}

bool all_zero(std::string_view s) { return !s.empty() && s.find_first_not_of('0') == std::string_view::npos; }

void keep_lowest(std::map<std::string, std::uint32_t>& routes, std::string_view name, std::uint32_t metric) {
    const auto [it, inserted] = routes.emplace(std::string(name), metric);
    if (!inserted && metric < it->second) it->second = metric;
}

bool usable(std::uint32_t flags) { return (flags & kRtfUp) != 0 && (flags & kRtfReject) == 0; }

}  // namespace

std::map<std::string, std::uint32_t> default_routes_v4(std::string_view text) {
    // Iface Destination Gateway Flags RefCnt Use Metric Mask MTU Window IRTT
    std::map<std::string, std::uint32_t> routes;
    for_each_line(text, [&](std::string_view line) {
        const auto f = fields_of(line);
        if (f.size() < 8 || f[0] == "Iface" || f[0] == "*") return;
        std::uint32_t destination = 0, flags = 0, mask = 0;
        std::int64_t metric = 0;
        if (!parse_number(f[1], 16, destination) || !parse_number(f[3], 16, flags) ||
            !parse_number(f[7], 16, mask) || !parse_number(f[6], 10, metric))
            return;
        if (destination != 0 || mask != 0 || !usable(flags)) return;
        // The kernel prints the unsigned priority with %d.
        keep_lowest(routes, f[0], static_cast<std::uint32_t>(metric));
    });
    return routes;
}

std::map<std::string, std::uint32_t> default_routes_v6(std::string_view text) {
    // destination prefix source prefix next-hop metric refcnt use flags name
    std::map<std::string, std::uint32_t> routes;
    for_each_line(text, [&](std::string_view line) {
        const auto f = fields_of(line);
        if (f.size() < 10) return;
        std::uint32_t prefix = 0, metric = 0, flags = 0;
        if (f[0].size() != 32 || !all_zero(f[0]) || !parse_number(f[1], 16, prefix) || prefix != 0) return;
        if (!parse_number(f[5], 16, metric) || !parse_number(f[8], 16, flags)) return;
        if (!usable(flags)) return;
        keep_lowest(routes, f[9], metric);
    });
    return routes;
}

AdapterKind adapter_kind(int arphrd_type, bool is_bridge, bool has_device) {
    switch (arphrd_type) {
        case 1: return (is_bridge || !has_device) ? AdapterKind::Other : AdapterKind::Physical;
        case 65534:
        case 512:
        case 768:
        case 769:
        case 776:
        case 778: return AdapterKind::Tunnel;
        default: return AdapterKind::Other;
    }
}

std::string device_of_label(std::string_view label) { return std::string(label.substr(0, label.find(':'))); }

}  // namespace hp::platform
