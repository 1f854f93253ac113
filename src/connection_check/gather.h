#pragma once
// Gathering the connection check's facts from the system. Blocking (the
// adapters, COM calls on Windows): run it off the window's thread.
#include <cstdint>
#include <string_view>

#include "connection_check/findings.h"
#include "discovery/advert_state.h"
#include "platform/firewall.h"
#include "platform/system.h"

namespace hp::connection_check {

// The LAN addresses come from discovery's scan of the system's adapters; a
// null firewall or network list leaves those facts unknown. `programPath`
// (environment variables expanded) picks the firewall rules that are ours.
ConnectionFacts gather_facts(const platform::System& system, platform::Firewall* firewall,
                             platform::NetworkList* networks, discovery::AdvertState advert, std::uint16_t port,
                             std::string_view programPath);

// The firewall's facts alone, for the profiles and the rules of this program.
FirewallFacts gather_firewall(platform::Firewall& firewall, std::string_view programPath);

}  // namespace hp::connection_check
