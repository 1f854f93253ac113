#pragma once
// Classification of the host's interface addresses into LAN and Tailscale lists.
#include <vector>

#include "base/ip_address.h"
#include "discovery/network_snapshot.h"
#include "platform/system.h"

namespace hp::discovery {

struct LocalAddresses {
    std::vector<IpAddress> lan;
    std::vector<IpAddress> tailscale;
};

// Keeps private addresses: loopback and IPv6 link-local dropped, Tailscale
// ranges separated; both lists sorted without duplicates.
LocalAddresses classify_addresses(const std::vector<IpAddress>& all);
// Enumerates the interfaces (blocking); empty lists when that fails.
LocalAddresses scan_local_addresses(const platform::System& system);
// The snapshot start-up begins with.
NetworkSnapshot initial_snapshot(const platform::System& system);

}  // namespace hp::discovery
