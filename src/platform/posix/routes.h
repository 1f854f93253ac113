#pragma once
// What Linux says of an interface beyond its addresses, read from the text
// the kernel gives (/proc/net/route, /proc/net/ipv6_route, /sys/class/net):
// pure functions, so that the parsing is tested on sample texts.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "platform/system.h"

namespace hp::platform {

// Interface name -> metric of its default route (the lowest when it has
// several), from the text of /proc/net/route: rows whose Destination and Mask
// are 0, that are up (RTF_UP) and not reject routes (RTF_REJECT). The metric
// column is decimal there. Malformed rows are skipped.
std::map<std::string, std::uint32_t> default_routes_v4(std::string_view proc_net_route);

// The same from the text of /proc/net/ipv6_route: rows whose destination is
// ::/0, up and not reject routes (the kernel's "unreachable" default on lo);
// the metric column is hexadecimal there.
std::map<std::string, std::uint32_t> default_routes_v6(std::string_view proc_net_ipv6_route);

// An interface's kind from /sys/class/net/<if>: `type` (an ARPHRD number),
// whether it has a `bridge` folder and whether it has a `device` link (a
// virtual interface such as veth, dummy or tap has none).
//   1 (Ethernet, Wi-Fi included): Physical; a bridge or a virtual one: Other.
//   65534 (none: WireGuard, tun), 512 (PPP), 768, 769, 776, 778 (IP-in-IP,
//   IPv6-in-IPv6, SIT, GRE tunnels): Tunnel.
//   Anything else (loopback included): Other.
AdapterKind adapter_kind(int arphrd_type, bool is_bridge, bool has_device);

// The device an address label names: "eth0:1" -> "eth0" (Linux device names
// never contain a colon).
std::string device_of_label(std::string_view label);

}  // namespace hp::platform
