#pragma once
// Publishing one DNS-SD service on the local network. A registration is an
// object: while it lives the service is announced, and destroying it
// withdraws the service (the daemon sends the goodbye).
#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/ip_address.h"
#include "base/result.h"

namespace hp::platform {

struct MdnsService {
    std::string serviceType;   // "_hearthpad._tcp.local."
    std::string instanceName;  // shown to people; any UTF-8
    std::string hostName;      // "label.local."
    // Where the addresses came from: the LAN list first, then the Tailscale
    // list. Responders that carry a whole address list publish
    // service_addresses(); those that carry one address per family use
    // one_address_per_family().
    std::vector<IpAddress> lan;
    std::vector<IpAddress> tailscale;
    std::uint16_t port = 0;
    std::vector<std::pair<std::string, std::string>> txt;  // key, value

    // Instance name, ".", service type.
    std::string full_name() const { return instanceName + "." + serviceType; }
};

// The LAN list followed by the Tailscale list, sorted without duplicates.
inline std::vector<IpAddress> service_addresses(const MdnsService& s) {
    std::vector<IpAddress> all = s.lan;
    all.insert(all.end(), s.tailscale.begin(), s.tailscale.end());
    std::sort(all.begin(), all.end());
    all.erase(std::unique(all.begin(), all.end()), all.end());
    return all;
}

// The first IPv4 and the first IPv6 address of the LAN list; for a family
// the LAN list lacks, the first of the Tailscale list. So a phone on the
// LAN is never handed a Tailscale address it may not reach.
struct AddressPair {
    std::optional<IpAddress> v4;
    std::optional<IpAddress> v6;
};
inline AddressPair one_address_per_family(const MdnsService& s) {
    AddressPair p;
    // The LAN list is read first, so the Tailscale list only fills a family
    // that is still empty afterwards.
    for (const auto* list : {&s.lan, &s.tailscale})
        for (const auto& a : *list) {
            auto& slot = a.is_v4() ? p.v4 : p.v6;
            if (!slot) slot = a;
        }
    return p;
}

// What the daemon has said of a registration so far: it answers later than
// the request (a name conflict after a network change comes as a failure).
enum class MdnsRegistrationState { Pending, Registered, Failed };

class MdnsRegistration {
public:
    virtual ~MdnsRegistration() = default;  // withdraws the service (or cancels a pending one)
    virtual MdnsRegistrationState state() const = 0;
};

class MdnsResponder {
public:
    virtual ~MdnsResponder() = default;
    // Hands the description to the daemon; the daemon's later verdict is not
    // awaited. Fails when the description is refused or the daemon is gone.
    virtual Result<std::unique_ptr<MdnsRegistration>> register_service(const MdnsService& s) = 0;
};

// The system's responder: Avahi on Linux, dnsapi.dll on Windows. Fails with
// "no mDNS daemon" when there is none to talk to.
Result<std::shared_ptr<MdnsResponder>> make_mdns_responder();

}  // namespace hp::platform
