#include "discovery/scan.h"

#include <algorithm>


namespace hp::discovery {

void sort_unique(std::vector<IpAddress>& v) {
    std::sort(v.begin(), v.end());
    v.erase(std::unique(v.begin(), v.end()), v.end());
}

namespace {

bool is_v6_loopback(const IpAddress& a) {
    for (int i = 0; i < 15; ++i)
        if (a.octets[i] != 0) return false;
    return a.octets[15] == 1;
}

bool is_v6_link_local(const IpAddress& a) { return a.octets[0] == 0xFE && (a.octets[1] & 0xC0) == 0x80; }

}  // namespace

LocalAddresses classify_addresses(const std::vector<IpAddress>& all) {
    LocalAddresses out;
    for (const auto& a : all) {
        if (!is_private_address(a)) continue;
        if (a.is_v4()) {
            if (a.octets[0] == 127) continue;
            (is_tailscale_address(a) ? out.tailscale : out.lan).push_back(a);
            continue;
        }
        if (is_v6_loopback(a)) continue;
        if (is_tailscale_address(a)) {
            out.tailscale.push_back(a);
            continue;
        }
        if (is_v6_link_local(a)) continue;
        out.lan.push_back(a);
    }
    sort_unique(out.lan);
    sort_unique(out.tailscale);
    return out;
}

LocalAddresses scan_local_addresses(const InterfaceEnumeration& enumerate) {
    auto all = enumerate();
    if (!all) return {};
    return classify_addresses(*all);
}

InterfaceEnumeration system_enumeration(const platform::System& system) {
    return [&system] { return system.interface_addresses(); };
}

NetworkSnapshot snapshot_from_scan(LocalAddresses scan) {
    NetworkSnapshot s;
    s.lan = std::move(scan.lan);
    s.tailscale = std::move(scan.tailscale);
    return s;
}

}  // namespace hp::discovery
