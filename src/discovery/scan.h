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
    std::vector<IpAddress> lan;
    std::vector<IpAddress> tailscale;  // interface addresses in the Tailscale ranges
    friend bool operator==(const LocalAddresses&, const LocalAddresses&) = default;
};

// Every address of every interface; nothing when the enumeration fails.
using InterfaceEnumeration = std::function<std::optional<std::vector<IpAddress>>()>;

// Keeps private addresses only: IPv4 127/8 and ::1 dropped, Tailscale ranges
// separated, IPv6 link-local dropped (IPv4 link-local kept); both lists
// sorted (IPv4 first) without duplicates.
LocalAddresses classify_addresses(const std::vector<IpAddress>& all);
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
