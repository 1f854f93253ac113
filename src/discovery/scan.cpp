#include "discovery/scan.h"

#include <algorithm>


namespace hp::discovery {

namespace {
void sort_unique(std::vector<IpAddress>& v) {
    std::sort(v.begin(), v.end());
    v.erase(std::unique(v.begin(), v.end()), v.end());
}
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
        if (a == *IpAddress::parse("::1")) continue;
        if (is_tailscale_address(a)) {
            out.tailscale.push_back(a);
            continue;
        }
        if (a.octets[0] == 0xFE && (a.octets[1] & 0xC0) == 0x80) continue;  // link-local
        out.lan.push_back(a);
    }
    sort_unique(out.lan);
    sort_unique(out.tailscale);
    return out;
}

LocalAddresses scan_local_addresses(const platform::System& system) {
    auto all = system.interface_addresses();
    if (!all) return {};
    return classify_addresses(*all);
}

NetworkSnapshot initial_snapshot(const platform::System& system) {
    auto local = scan_local_addresses(system);
    NetworkSnapshot s;
    s.lan = std::move(local.lan);
    s.tailscale = std::move(local.tailscale);
    return s;
}

}  // namespace hp::discovery
