#pragma once
// The host's reachable addresses as reported to clients.
#include <optional>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

#include "base/ip_address.h"
#include "protocol/handshake_host.h"

namespace hp::discovery {

struct NetworkSnapshot {
    std::vector<IpAddress> lan;
    std::vector<IpAddress> tailscale;
    std::vector<IpAddress> tailscalePeers;
    std::optional<std::string> tailscaleDnsName;
    friend bool operator==(const NetworkSnapshot&, const NetworkSnapshot&) = default;

    // The addresses as the handshakes and the pairing link take them,
    // borrowed from this snapshot (which must outlive the call they go to).
    operator protocol::HostAddresses() const {
        return {lan, tailscale, tailscaleDnsName ? std::string_view(*tailscaleDnsName) : std::string_view()};
    }
};

// The one shared snapshot: written by discovery only, read by copying.
class SharedNetworkSnapshot {
public:
    NetworkSnapshot get() const {
        std::shared_lock lock(mutex_);
        return value_;
    }
    // Returns true when the stored value changed.
    bool set(NetworkSnapshot value) {
        std::unique_lock lock(mutex_);
        if (value == value_) return false;
        value_ = std::move(value);
        return true;
    }

private:
    mutable std::shared_mutex mutex_;
    NetworkSnapshot value_;
};

// Endpoint strings for the handshake replies: every address with the port;
// the Tailscale list ends with the MagicDNS name when it is known.
std::vector<std::string> lan_endpoints(const NetworkSnapshot& s, std::uint16_t port);
std::vector<std::string> tailscale_endpoints(const NetworkSnapshot& s, std::uint16_t port);

}  // namespace hp::discovery
