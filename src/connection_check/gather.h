#pragma once
// Gathering the connection check's facts from the system. Blocking (the
// adapters, COM calls on Windows): run it off the window's thread.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "connection_check/findings.h"
#include "discovery/advert_state.h"
#include "platform/firewall.h"
#include "platform/process_runner.h"
#include "platform/system.h"

namespace hp::connection_check {

// The LAN addresses come from discovery's scan of the system's adapters; a
// null firewall or network list leaves those facts unknown. `programPath`
// (environment variables expanded) picks the firewall rules that are ours.
ConnectionFacts gather_facts(const platform::System& system, platform::Firewall* firewall,
                             platform::NetworkList* networks, discovery::AdvertState advert, std::uint16_t port,
                             std::string_view programPath);

// The same on Linux: the LAN addresses as above, and firewalld's or ufw's
// facts (linux_firewall.h) for the interfaces that decide the phones'
// network, asked through `runner`.
ConnectionFacts gather_linux_facts(const platform::System& system, platform::ProcessRunner& runner,
                                   discovery::AdvertState advert, std::uint16_t port);

// The names of the interfaces that decide the phones' network (the fix's
// zones on Linux), from the system's adapters; empty when there is none or
// they cannot be listed.
std::vector<std::string> deciding_interfaces(const platform::System& system);

// The firewall's facts alone, for the profiles and the rules of this program.
FirewallFacts gather_firewall(platform::Firewall& firewall, std::string_view programPath);

}  // namespace hp::connection_check
