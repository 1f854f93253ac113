#pragma once
// The connection check: what keeps phones from reaching this PC, told from
// facts gathered about its adapters, their networks, the firewall and the
// mDNS advertisement. Every fact may be unknown, and an unknown fact never
// makes a finding good: it makes it unknown.
//
// Findings always come in the same order with the same ids, so the window's
// rows and the console's lines stay put from one check to the next.
#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "connection_check/linux_firewall.h"
#include "discovery/advert_state.h"
#include "platform/firewall.h"
#include "platform/system.h"
#include "text_catalogue/catalogue.h"

namespace hp::connection_check {

enum class FindingState { Ok, Problem, Unknown };
enum class FindingFix {
    None,
    AllowFirewall,        // run this program elevated with --allow-firewall
    OpenNetworkSettings,  // open kNetworkSettingsUri; the user changes the profile
};

struct Finding {
    std::string id;
    FindingState state = FindingState::Unknown;
    std::string text;  // English: the console's and the log's
    FindingFix fix = FindingFix::None;  // only ever set on a problem
    text_catalogue::Message message = {};  // the same text, for the windows to show in the user's language
    friend bool operator==(const Finding&, const Finding&) = default;
};

inline constexpr std::string_view kLanAddressId = "lan_address";
inline constexpr std::string_view kGatewayId = "gateway";
inline constexpr std::string_view kNetworkProfileId = "network_profile";
inline constexpr std::string_view kFirewallProgramId = "firewall_program";
inline constexpr std::string_view kFirewallBlockAllId = "firewall_block_all";
inline constexpr std::string_view kAdvertisementId = "advertisement";
// Every id, in the order evaluate() gives the findings.
inline constexpr std::array<std::string_view, 6> kFindingIds = {
    kLanAddressId, kGatewayId, kNetworkProfileId, kFirewallProgramId, kFirewallBlockAllId, kAdvertisementId};

inline constexpr std::string_view kBalloonTitle = text_catalogue::i18n("Phones may not be able to reach this PC");
// Where Windows lets the user make a network private.
inline constexpr std::string_view kNetworkSettingsUri = "ms-settings:network-status";

// The network one adapter with a LAN address is on.
struct AdapterNetwork {
    std::string adapterId, adapterName;
    std::optional<platform::NetworkCategory> category;  // nothing: unknown
    friend bool operator==(const AdapterNetwork&, const AdapterNetwork&) = default;
};

struct ProfileFacts {
    std::optional<bool> enabled;    // the firewall is on for the profile
    std::optional<bool> blocksAll;  // every inbound connection is blocked, allowed programs too
    friend bool operator==(const ProfileFacts&, const ProfileFacts&) = default;
};

struct FirewallFacts {
    // By profile: Domain, Private, Public (the order of their bits).
    std::array<ProfileFacts, 3> profiles;
    // Group Policy overrides the local rules: nothing here can be changed.
    std::optional<bool> managedElsewhere;
    // The inbound rules whose program is this one; nothing: unknown.
    std::optional<std::vector<platform::FirewallRule>> programRules;

    // The facts of one profile bit (kProfileDomain, ...Private, ...Public).
    const ProfileFacts& profile(unsigned bit) const;
    ProfileFacts& profile(unsigned bit);
    friend bool operator==(const FirewallFacts&, const FirewallFacts&) = default;
};

struct ConnectionFacts {
    // The LAN addresses with their adapters, in preferred order (adapters
    // with a gateway first), as discovery's scan gives them.
    std::vector<platform::InterfaceAddress> lan;
    bool addressesKnown = true;  // false: the adapters could not be listed
    // One entry per adapter in `lan`, in the order of first appearance.
    std::vector<AdapterNetwork> networks;
    FirewallFacts firewall;
    // On Linux, firewalld's or ufw's facts instead of Windows Defender
    // Firewall's and the network categories: the rows network_profile,
    // firewall_program and firewall_block_all then tell which firewall is
    // on, whether it lets Hearthpad in and whether it blocks everything.
    std::optional<LinuxFirewallFacts> linuxFirewall;
    discovery::AdvertState advert = discovery::AdvertState::Off;
    std::uint16_t port = 0;  // the host's TCP port; 0: not known
    friend bool operator==(const ConnectionFacts&, const ConnectionFacts&) = default;
};

// One finding per id of kFindingIds, in that order.
std::vector<Finding> evaluate(const ConnectionFacts& facts);

// The adapters that decide which network the phones are on: those with a
// gateway when there is one (a virtual switch next to the Wi-Fi does not
// count), else every adapter with a LAN address. In preferred order.
std::vector<AdapterNetwork> deciding_networks(const ConnectionFacts& facts);

// "ok", "problem" or "unknown".
std::string_view state_name(FindingState state);
// The console's line: "check: <id> <state> <text>".
std::string console_line(const Finding& finding);

// What "this network" is for the balloon: the adapters of the LAN addresses
// and the preferred address. Empty without a LAN address.
std::string network_key(const ConnectionFacts& facts);

// The balloon rule: a problem is shown once per network, and again only
// after it has been ok on that network in between.
class BalloonMemory {
public:
    // The first problem not yet shown on this network, if any. Every problem
    // of this check counts as shown afterwards (one check, one balloon at
    // most); an ok finding forgets its id for this network; an unknown one
    // changes nothing.
    std::optional<Finding> next(const std::vector<Finding>& findings, const std::string& networkKey);

private:
    std::set<std::pair<std::string, std::string>> shown_;  // (network key, finding id)
};

}  // namespace hp::connection_check
