#pragma once
// Classification of the host's interface addresses into the LAN list and the
// Tailscale-range list.
#include <functional>
#include <optional>
#include <vector>

#include "base/ip_address.h"
#include "discovery/network_snapshot.h"
#include "platform/system.h"

namespace hp::discovery {

struct LocalAddresses {
    std::vector<IpAddress> lan;  // in preferred order (see classify_addresses)
    std::vector<IpAddress> tailscale;  // interface addresses in the Tailscale ranges
    // The interface entry chosen for each address of `lan`, in the same
    // order: its adapter's gateway, metric, kind and id.
    std::vector<platform::InterfaceAddress> lanInterfaces;
    friend bool operator==(const LocalAddresses&, const LocalAddresses&) = default;
};

// Every address of every interface with its adapter's facts; nothing when the
// enumeration fails.
using InterfaceEnumeration = std::function<std::optional<std::vector<platform::InterfaceAddress>>()>;

// Keeps the private addresses of adapters that are up: IPv4 127/8 and ::1
// dropped, Tailscale ranges separated, IPv6 link-local dropped (IPv4
// link-local kept).
//
// `lan` comes in the order a phone is most likely to reach: first the
// addresses of adapters with a default gateway (physical ones before other
// ones before tunnels, a full-tunnel VPN having a gateway too; then lower
// metric first), then the rest; within each of these groups IPv4 before
// IPv6, then by octets. An address reported more than once appears once, at
// its best place. The Tailscale-range list is sorted (IPv4 first) without
// duplicates.
LocalAddresses classify_addresses(const std::vector<platform::InterfaceAddress>& all);
// Enumerates the interfaces (blocking) and classifies what they report;
// empty lists when the enumeration fails.
LocalAddresses scan_local_addresses(const InterfaceEnumeration& enumerate);
// The system's enumeration (the system must outlive the result).
InterfaceEnumeration system_enumeration(const platform::System& system);
// The snapshot start-up begins with: the scan's lists, no Tailscale peers,
// no MagicDNS name.
NetworkSnapshot snapshot_from_scan(LocalAddresses scan);

// Sorts (IPv4 before IPv6, then by octets) and removes duplicates.
void sort_unique(std::vector<IpAddress>& v);

}  // namespace hp::discovery
