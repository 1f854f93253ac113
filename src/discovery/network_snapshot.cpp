#include "discovery/network_snapshot.h"

namespace hp::discovery {

std::vector<std::string> lan_endpoints(const NetworkSnapshot& s, std::uint16_t port) {
    std::vector<std::string> out;
    out.reserve(s.lan.size());
    for (const auto& a : s.lan) out.push_back(format_endpoint(a, port));
    return out;
}

std::vector<std::string> tailscale_endpoints(const NetworkSnapshot& s, std::uint16_t port) {
    std::vector<std::string> out;
    out.reserve(s.tailscale.size() + 1);
    for (const auto& a : s.tailscale) out.push_back(format_endpoint(a, port));
    if (s.tailscaleDnsName && !s.tailscaleDnsName->empty())
        out.push_back(*s.tailscaleDnsName + ":" + std::to_string(port));
    return out;
}

}  // namespace hp::discovery
