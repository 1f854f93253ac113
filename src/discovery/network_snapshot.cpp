#include "discovery/network_snapshot.h"

namespace hp::discovery {

std::vector<std::string> lan_endpoints(const NetworkSnapshot& s, std::uint16_t port) {
    return protocol::lan_endpoints(s, port);
}

std::vector<std::string> tailscale_endpoints(const NetworkSnapshot& s, std::uint16_t port) {
    return protocol::tailscale_endpoints(s, port);
}

}  // namespace hp::discovery
