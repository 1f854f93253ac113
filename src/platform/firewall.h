#pragma once
// What the system's firewall and network list say about reaching this
// program from the network, and the few changes the firewall fix makes.
// Every fact may be unknown (nothing): a fact the system did not give is
// never taken as good news.
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/result.h"

namespace hp::platform {

// Firewall profiles as bits (the values of NET_FW_PROFILE_TYPE2).
inline constexpr unsigned kProfileDomain = 1;
inline constexpr unsigned kProfilePrivate = 2;
inline constexpr unsigned kProfilePublic = 4;
inline constexpr unsigned kProfileAll = kProfileDomain | kProfilePrivate | kProfilePublic;

// IP protocol numbers of a rule (NET_FW_IP_PROTOCOL): 256 is any.
inline constexpr int kProtocolTcp = 6;
inline constexpr int kProtocolUdp = 17;
inline constexpr int kProtocolAny = 256;

// The category Windows gives a network; it picks the firewall profile.
enum class NetworkCategory { Public, Private, Domain };
constexpr unsigned profile_of(NetworkCategory category) {
    switch (category) {
        case NetworkCategory::Domain: return kProfileDomain;
        case NetworkCategory::Private: return kProfilePrivate;
        case NetworkCategory::Public: return kProfilePublic;
    }
    return kProfilePublic;  // an unknown value: the strictest profile
}

struct FirewallRule {
    std::string name;
    std::string description;
    std::string applicationName;  // as read, environment variables expanded; empty: any program
    bool inbound = true;
    bool allow = true;
    bool enabled = true;
    unsigned profiles = kProfileAll;  // kProfile* bits
    int protocol = kProtocolAny;
    // The rule's scope, as the firewall writes it: comma-separated lists,
    // "*" (and "All" for interface types) meaning no limit. Local ports mean
    // something only for TCP and UDP rules. Empty: the firewall did not say.
    std::string remoteAddresses = "*";  // addresses, ranges, subnets or keywords such as "LocalSubnet"
    std::string localPorts = "*";       // ports and ranges ("49182-49192"), or keywords such as "RPC"
    std::string interfaceTypes = "All"; // "Lan", "Wireless", "RemoteAccess"
    friend bool operator==(const FirewallRule&, const FirewallRule&) = default;
};

// Windows Defender Firewall (INetFwPolicy2 on Windows). A firewall object is
// used from one thread.
class Firewall {
public:
    virtual ~Firewall() = default;
    // Whether the firewall is on for a profile (one kProfile* bit).
    virtual std::optional<bool> enabled(unsigned profile) = 0;
    // Whether the profile blocks every inbound connection, allowed programs too.
    virtual std::optional<bool> blocks_all_inbound(unsigned profile) = 0;
    // True when Group Policy overrides the local rules (LocalPolicyModifyState).
    virtual std::optional<bool> managed_elsewhere() = 0;
    // Every rule, in the firewall's order; the indexes below refer to the
    // last list returned.
    virtual Result<std::vector<FirewallRule>> rules() = 0;
    virtual Status disable_rule(std::size_t index) = 0;
    // Gives an existing rule every field of `rule`.
    virtual Status replace_rule(std::size_t index, const FirewallRule& rule) = 0;
    virtual Status add_rule(const FirewallRule& rule) = 0;
};

// The category of the network each connected adapter is on, by the
// adapter's id (InterfaceAddress::adapterId); adapters without a network are
// left out. Nothing when the network list cannot be read.
class NetworkList {
public:
    virtual ~NetworkList() = default;
    virtual std::optional<std::map<std::string, NetworkCategory>> categories() = 0;
};

// The system's own: on Windows through COM (the calling thread must have
// COM initialised); elsewhere they know nothing and change nothing.
std::unique_ptr<Firewall> make_firewall();
std::unique_ptr<NetworkList> make_network_list();

}  // namespace hp::platform
