#pragma once
// The host's one DNS-SD service "_hearthpad._tcp.local.", kept in step with
// its addresses: what is published, and the update each discovery cycle
// makes.
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/bytes.h"
#include "base/ip_address.h"
#include "discovery/advert_state.h"
#include "discovery/network_snapshot.h"
#include "platform/mdns_responder.h"

namespace hp::discovery {

inline constexpr std::string_view kServiceType = "_hearthpad._tcp.local.";

// How long a registration may stay unanswered before it is given up (the
// pending request cancelled) and made again.
inline constexpr std::chrono::seconds kRegistrationAnswerTimeout{30};

// Present only when the mDNS responder could be started.
struct AdvertConfig {
    std::string hostId;          // the identity's hostId
    std::string hostName;        // the PC's display name
    ByteArray<32> hostKey{};     // the identity's Ed25519 public key
    std::uint16_t port = 0;      // the TCP listening port
    std::string osType = "windows";  // the handshakes' osType: "windows" or "linux"
};

// What is registered now. All absent at first.
struct AdvertRecord {
    std::optional<std::string> fullName;
    std::optional<std::vector<IpAddress>> addresses;  // `lan` then `tailscale`, in their order
    std::optional<std::string> ts;
    std::unique_ptr<platform::MdnsRegistration> registration;  // dropping it unregisters
    std::chrono::steady_clock::time_point registeredAt{};       // when `registration` was made
};

// ASCII letters and digits kept, every other character (one per character,
// non-ASCII ones included) becomes "-"; "windows-pc" for an empty name.
std::string host_label(std::string_view host_name);

// `lan` followed by `tailscale`, sorted without duplicates.
std::vector<IpAddress> advertised_addresses(const NetworkSnapshot& net);

// The "ts" property: the first IPv4 address of `tailscale`, else its first
// address, with the port; nothing when `tailscale` is empty.
std::optional<std::string> ts_property(const NetworkSnapshot& net, std::uint16_t port);

// The service description: instance name = host name, host name =
// host_label + ".local.", the addresses, the port, and the TXT properties
// "v", "id", "name", "os", "ts" (when present) and "fp".
platform::MdnsService service_description(const AdvertConfig& config, const NetworkSnapshot& net);

// Brings the registration in step with `net`: nothing when the addresses and
// "ts" equal the registered ones, nothing when there is no address (the last
// registration stays), otherwise the old service is withdrawn and the new
// one registered. A refused registration leaves the record empty, so the
// next update tries again.
//
// The daemon answers a registration later than it is made. One it failed
// (a name conflict after a network change), or one still unanswered
// kRegistrationAnswerTimeout after `registeredAt`, is dropped first (an
// unanswered one is cancelled), so that this update registers again.
//
// Returns where the advertisement stands afterwards: NoAddress when nothing
// is registered for want of an address, Failed when the registration was
// refused, else the daemon's word on the registration (never Off).
AdvertState update_advertisement(AdvertRecord& record, const AdvertConfig& config, const NetworkSnapshot& net,
                                 platform::MdnsResponder& responder, std::chrono::steady_clock::time_point now);

}  // namespace hp::discovery
