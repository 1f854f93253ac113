#include "discovery/scan.h"

#include <algorithm>
#include <set>
#include <tuple>

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

int kind_rank(platform::AdapterKind kind) {
    switch (kind) {
        case platform::AdapterKind::Physical: return 0;
        case platform::AdapterKind::Other: return 1;
        case platform::AdapterKind::Tunnel: return 2;
    }
    return 1;
}

// The group an address belongs to, best first: adapters with a default
// gateway by kind and then metric; every address without a gateway in one
// group after them.
std::tuple<int, int, std::uint32_t> group_of(const platform::InterfaceAddress& a) {
    if (!a.hasGateway) return {1, 0, 0};
    return {0, kind_rank(a.kind), a.metric};
}

}  // namespace

LocalAddresses classify_addresses(const std::vector<platform::InterfaceAddress>& all) {
    LocalAddresses out;
    std::vector<platform::InterfaceAddress> lan;
    for (const auto& entry : all) {
        if (!entry.up) continue;
        const IpAddress& a = entry.address;
        if (!is_private_address(a)) continue;
        if (a.is_v4()) {
            if (a.octets[0] == 127) continue;
            if (is_tailscale_address(a))
                out.tailscale.push_back(a);
            else
                lan.push_back(entry);
            continue;
        }
        if (is_v6_loopback(a)) continue;
        if (is_tailscale_address(a)) {
            out.tailscale.push_back(a);
            continue;
        }
        if (is_v6_link_local(a)) continue;
        lan.push_back(entry);
    }
    sort_unique(out.tailscale);

    // Best group first, by address within a group; among equal entries the
    // system's order decides which one is kept.
    const auto better = [](const platform::InterfaceAddress& x, const platform::InterfaceAddress& y) {
        const auto gx = group_of(x), gy = group_of(y);
        if (gx != gy) return gx < gy;
        return x.address < y.address;
    };
    std::stable_sort(lan.begin(), lan.end(), better);
    std::set<IpAddress> seen;
    for (auto& entry : lan) {
        if (!seen.insert(entry.address).second) continue;  // kept at its better place
        out.lan.push_back(entry.address);
        out.lanInterfaces.push_back(std::move(entry));
    }
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
