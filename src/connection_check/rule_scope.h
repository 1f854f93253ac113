#pragma once
// Whether a firewall rule's scope lets every phone in: a program rule that
// allows Hearthpad only from "LocalSubnet", only on some ports or only on
// some kinds of adapter keeps some phones out although it names the program.
//
// A rule's scope admits the phones when all of these hold:
//   - remote addresses: "*", or a list whose IPv4 addresses, ranges and
//     subnets together hold every private range (10.0.0.0/8, 172.16.0.0/12,
//     192.168.0.0/16) and Tailscale's 100.64.0.0/10. Keywords ("LocalSubnet",
//     "Intranet", "DefaultGateway", ...) count for nothing: what they hold
//     depends on the network of the moment, and none of them holds the
//     Tailscale peers. IPv6 entries are neither needed nor counted: the
//     addresses Hearthpad gives phones (pairing link, menu) are IPv4.
//   - local ports, for a TCP or UDP rule: "*", or ports and ranges that
//     together hold every port the host may listen on (49182 to 49192);
//     keywords ("RPC", ...) count for nothing. Other protocols have no ports.
//   - interface types: "All", or "Lan", "Wireless" and "RemoteAccess" all
//     listed (Tailscale's adapter may be any of them).
// A field the firewall did not give (empty) admits nothing: an unknown scope
// is never taken as open.
#include <cstdint>
#include <string_view>

#include "platform/firewall.h"

namespace hp::connection_check {

// The ports the host listens on: one of these, the same for TCP and UDP.
inline constexpr std::uint16_t kHostFirstPort = 49182;
inline constexpr std::uint16_t kHostLastPort = 49192;

bool remote_addresses_admit_phones(std::string_view remoteAddresses);
bool local_ports_admit_host(int protocol, std::string_view localPorts);
bool interface_types_admit_all(std::string_view interfaceTypes);

// All three above.
bool scope_admits_phones(const platform::FirewallRule& rule);

}  // namespace hp::connection_check
