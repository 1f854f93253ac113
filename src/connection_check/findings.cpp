#include "connection_check/findings.h"

#include <algorithm>

#include "connection_check/rule_scope.h"

namespace hp::connection_check {

using platform::FirewallRule;
using platform::NetworkCategory;
using text_catalogue::i18n;
using text_catalogue::literal;
using text_catalogue::Message;
using text_catalogue::message;

namespace {

constexpr unsigned kProfiles[] = {platform::kProfileDomain, platform::kProfilePrivate, platform::kProfilePublic};

constexpr std::string_view kNotCheckedNoAddress = i18n("Not checked: this PC has no local network address.");
constexpr std::string_view kAdaptersUnknown = i18n("Could not list this PC's network adapters.");

Finding make(std::string_view id, FindingState state, Message text, FindingFix fix = FindingFix::None) {
    std::string english = text_catalogue::english(text);
    return Finding{std::string(id), state, std::move(english), state == FindingState::Problem ? fix : FindingFix::None,
                   std::move(text)};
}
Finding make(std::string_view id, FindingState state, std::string_view text, FindingFix fix = FindingFix::None) {
    return make(id, state, message(text), fix);
}

// The firewall profiles the phones' connections arrive under; nothing when a
// deciding network's category is unknown or there is none.
std::optional<unsigned> current_profiles(const ConnectionFacts& facts) {
    const auto networks = deciding_networks(facts);
    if (networks.empty()) return std::nullopt;
    unsigned profiles = 0;
    for (const AdapterNetwork& n : networks) {
        if (!n.category) return std::nullopt;
        profiles |= platform::profile_of(*n.category);
    }
    return profiles;
}

Message adapter_label(const std::string& name) {
    return name.empty() ? message("an unnamed adapter") : literal(name);
}

// --- addresses -----------------------------------------------------------------

Finding lan_address(const ConnectionFacts& facts) {
    if (!facts.addressesKnown) return make(kLanAddressId, FindingState::Unknown, kAdaptersUnknown);
    if (facts.lan.empty())
        return make(kLanAddressId, FindingState::Problem,
                    i18n("This PC has no local network address. Connect it to the same Wi-Fi or wired network as "
                    "your phone."));
    const auto& first = facts.lan.front();
    const Message address = literal(first.address.to_string()), adapter = adapter_label(first.adapterName);
    if (facts.port == 0)
        return make(kLanAddressId, FindingState::Ok,
                    message("This PC's local network address is {0} on {1}.", {address, adapter}));
    return make(kLanAddressId, FindingState::Ok,
                message("This PC's local network address is {0} on {1}; Hearthpad listens on port {2}.",
                        {address, adapter, literal(std::to_string(facts.port))}));
}

Finding gateway(const ConnectionFacts& facts) {
    if (!facts.addressesKnown) return make(kGatewayId, FindingState::Unknown, kAdaptersUnknown);
    if (facts.lan.empty()) return make(kGatewayId, FindingState::Unknown, kNotCheckedNoAddress);
    const auto it = std::find_if(facts.lan.begin(), facts.lan.end(),
                                 [](const platform::InterfaceAddress& a) { return a.hasGateway; });
    if (it == facts.lan.end())
        return make(kGatewayId, FindingState::Problem,
                    i18n("This PC's local addresses are all on adapters without a router (default gateway), probably "
                    "virtual ones such as Hyper-V or VirtualBox. Connect the PC to the Wi-Fi or wired network "
                    "your phone uses."));
    return make(kGatewayId, FindingState::Ok,
                message("{0} is on a network with a router.", {adapter_label(it->adapterName)}));
}

// --- network profile ---------------------------------------------------------------

Finding network_profile(const ConnectionFacts& facts) {
    if (!facts.addressesKnown) return make(kNetworkProfileId, FindingState::Unknown, kAdaptersUnknown);
    const auto networks = deciding_networks(facts);
    if (networks.empty()) return make(kNetworkProfileId, FindingState::Unknown, kNotCheckedNoAddress);
    for (const AdapterNetwork& n : networks)
        if (n.category == NetworkCategory::Public)
            return make(kNetworkProfileId, FindingState::Problem,
                        message("Windows treats the network on {0} as public, which keeps phones out. Choose Open "
                                "Settings, open the network's properties and set its network profile type to "
                                "Private.",
                                {adapter_label(n.adapterName)}),
                        FindingFix::OpenNetworkSettings);
    for (const AdapterNetwork& n : networks)
        if (!n.category)
            return make(kNetworkProfileId, FindingState::Unknown,
                        message("Could not find out whether Windows treats the network on {0} as private or public.",
                                {adapter_label(n.adapterName)}));
    const AdapterNetwork& first = networks.front();
    return make(kNetworkProfileId, FindingState::Ok,
                first.category == NetworkCategory::Domain
                    ? message("Windows treats the network on {0} as a domain network.", {adapter_label(first.adapterName)})
                    : message("Windows treats the network on {0} as private.", {adapter_label(first.adapterName)}));
}

// --- firewall ----------------------------------------------------------------------------

bool carries(int protocol, int wanted) { return protocol == platform::kProtocolAny || protocol == wanted; }

// Whether an enabled inbound rule of the given action covers the profile
// for the protocol; with openScopeOnly, only a rule whose scope lets every
// phone in counts.
bool rule_covers(const std::vector<FirewallRule>& rules, bool allow, unsigned profile, int protocol,
                 bool openScopeOnly = false) {
    return std::any_of(rules.begin(), rules.end(), [&](const FirewallRule& r) {
        return r.inbound && r.enabled && r.allow == allow && (r.profiles & profile) != 0 &&
               carries(r.protocol, protocol) && (!openScopeOnly || scope_admits_phones(r));
    });
}

// A block rule wins over any allow rule, whatever its scope (one that keeps
// out only some addresses still keeps out some phones); phones need both
// TCP (the connection) and UDP (the controller datagrams).
bool blocked_by_rule(const std::vector<FirewallRule>& rules, unsigned profile) {
    return rule_covers(rules, false, profile, platform::kProtocolTcp) ||
           rule_covers(rules, false, profile, platform::kProtocolUdp);
}
// An allow rule lets the phones in only when its scope does (rule_scope.h).
bool allowed_by_rule(const std::vector<FirewallRule>& rules, unsigned profile, bool openScopeOnly) {
    return rule_covers(rules, true, profile, platform::kProtocolTcp, openScopeOnly) &&
           rule_covers(rules, true, profile, platform::kProtocolUdp, openScopeOnly);
}

// Worst first, so that the larger value wins when profiles are combined.
// Limited: allow rules would cover the profile, but only for some
// addresses, ports or kinds of adapter.
enum class Verdict { Ok, Unknown, Limited, NoAllow, Blocked };

Verdict program_verdict(const FirewallFacts& fw, unsigned profile) {
    const std::optional<bool> on = fw.profile(profile).enabled;
    if (on == false) return Verdict::Ok;
    if (!fw.programRules) return Verdict::Unknown;
    if (blocked_by_rule(*fw.programRules, profile)) return Verdict::Blocked;
    if (allowed_by_rule(*fw.programRules, profile, true)) return Verdict::Ok;
    if (!on) return Verdict::Unknown;
    return allowed_by_rule(*fw.programRules, profile, false) ? Verdict::Limited : Verdict::NoAllow;
}

// Whether something holds in every profile, with the firewall on (or maybe
// on) in each: what keeps phones out whatever network they come from.
template <class Pred>
bool in_every_profile(const FirewallFacts& fw, Pred holds) {
    return std::all_of(std::begin(kProfiles), std::end(kProfiles),
                       [&](unsigned p) { return fw.profile(p).enabled != false && holds(p); });
}

Finding firewall_program(const ConnectionFacts& facts) {
    const FirewallFacts& fw = facts.firewall;
    const std::optional<unsigned> current = current_profiles(facts);

    Verdict verdict = Verdict::Ok;
    bool onPublic = false;  // the verdict comes from the Public profile
    if (current) {
        for (const unsigned p : kProfiles) {
            if (!(*current & p)) continue;
            const Verdict v = program_verdict(fw, p);
            if (v > verdict || (v == verdict && p == platform::kProfilePublic)) {
                verdict = v;
                onPublic = p == platform::kProfilePublic;
            }
        }
    } else {
        // Whatever the network, a block rule for every profile keeps phones out.
        const bool everywhere =
            fw.programRules && in_every_profile(fw, [&](unsigned p) { return blocked_by_rule(*fw.programRules, p); });
        verdict = everywhere ? Verdict::Blocked : Verdict::Unknown;
    }

    const bool problem = verdict == Verdict::Blocked || verdict == Verdict::NoAllow || verdict == Verdict::Limited;
    if (fw.managedElsewhere == true)
        return make(kFirewallProgramId, problem ? FindingState::Problem : FindingState::Unknown,
                    i18n("Windows Defender Firewall on this PC is managed by your organization, so Hearthpad cannot "
                    "change it. Ask your administrator to let Hearthpad accept incoming connections."));

    switch (verdict) {
        case Verdict::Blocked:
            return make(kFirewallProgramId, FindingState::Problem,
                        i18n("A Windows Defender Firewall rule blocks Hearthpad, so phones cannot connect. Choose "
                        "Allow… to let Hearthpad through on private networks."),
                        FindingFix::AllowFirewall);
        case Verdict::NoAllow:
        case Verdict::Limited:
            if (onPublic) {
                // The fix never opens public networks; it helps only once the
                // network is private and Hearthpad is not let through there yet.
                const bool privateFine = program_verdict(fw, platform::kProfilePrivate) == Verdict::Ok;
                return make(kFirewallProgramId, FindingState::Problem,
                            privateFine ? i18n("On a public network Windows Defender Firewall keeps Hearthpad out. "
                                               "Set this network to Private (see above).")
                                        : i18n("On a public network Windows Defender Firewall keeps Hearthpad out. "
                                               "Set this network to Private (see above) and choose Allow… to let "
                                               "Hearthpad through on private networks."),
                            privateFine ? FindingFix::None : FindingFix::AllowFirewall);
            }
            if (verdict == Verdict::Limited)
                return make(kFirewallProgramId, FindingState::Problem,
                            i18n("Windows Defender Firewall lets Hearthpad accept connections only from some addresses, "
                            "on some ports or on some kinds of network adapter, which can keep phones out (those "
                            "on Tailscale too). Choose Allow… to let Hearthpad through on private networks."),
                            FindingFix::AllowFirewall);
            return make(kFirewallProgramId, FindingState::Problem,
                        i18n("Windows Defender Firewall has no rule that lets Hearthpad accept connections on this "
                        "network. Choose Allow… to let Hearthpad through on private networks."),
                        FindingFix::AllowFirewall);
        case Verdict::Unknown:
            if (!current && facts.addressesKnown && facts.lan.empty())
                return make(kFirewallProgramId, FindingState::Unknown, kNotCheckedNoAddress);
            return make(kFirewallProgramId, FindingState::Unknown,
                        i18n("Could not find out whether Windows Defender Firewall lets Hearthpad accept connections."));
        case Verdict::Ok: break;
    }
    if (fw.managedElsewhere != false)
        return make(kFirewallProgramId, FindingState::Unknown,
                    i18n("Could not find out whether Windows Defender Firewall is managed by your organization."));
    const bool off = std::all_of(std::begin(kProfiles), std::end(kProfiles),
                                 [&](unsigned p) { return !(*current & p) || fw.profile(p).enabled == false; });
    return make(kFirewallProgramId, FindingState::Ok,
                off ? i18n("Windows Defender Firewall is off for this network.")
                    : i18n("Windows Defender Firewall lets Hearthpad accept connections on this network."));
}

Finding firewall_block_all(const ConnectionFacts& facts) {
    const FirewallFacts& fw = facts.firewall;
    const std::optional<unsigned> current = current_profiles(facts);
    FindingState state = FindingState::Ok;
    if (current) {
        for (const unsigned p : kProfiles) {
            if (!(*current & p) || fw.profile(p).enabled == false) continue;
            const std::optional<bool> all = fw.profile(p).blocksAll;
            if (all == true) state = FindingState::Problem;
            else if (!all && state == FindingState::Ok) state = FindingState::Unknown;
        }
    } else {
        // Blocking everything in every profile blocks this network too.
        const bool everywhere = in_every_profile(fw, [&](unsigned p) { return fw.profile(p).blocksAll == true; });
        state = everywhere ? FindingState::Problem : FindingState::Unknown;
    }
    switch (state) {
        case FindingState::Problem:
            return make(kFirewallBlockAllId, state,
                        fw.managedElsewhere == true
                            ? i18n("Windows Defender Firewall blocks all incoming connections on this network, allowed "
                              "apps too. Your organization sets this; ask your administrator.")
                            : i18n("Windows Defender Firewall blocks all incoming connections on this network, allowed "
                              "apps too. In Windows Security, open Firewall & network protection, choose this "
                              "network and turn off \"Blocks all incoming connections\"."));
        case FindingState::Unknown:
            if (!current && facts.addressesKnown && facts.lan.empty())
                return make(kFirewallBlockAllId, state, kNotCheckedNoAddress);
            return make(kFirewallBlockAllId, state,
                        i18n("Could not find out whether Windows Defender Firewall blocks all incoming connections."));
        case FindingState::Ok: break;
    }
    return make(kFirewallBlockAllId, state,
                i18n("Windows Defender Firewall does not block all incoming connections on this network."));
}

// --- advertisement ---------------------------------------------------------------------------

Finding advertisement(const ConnectionFacts& facts) {
    using discovery::AdvertState;
    switch (facts.advert) {
        case AdvertState::Registered:
            return make(kAdvertisementId, FindingState::Ok,
                        i18n("This PC announces itself to phones on the local network (mDNS)."));
        case AdvertState::Pending:
            return make(kAdvertisementId, FindingState::Unknown,
                        i18n("The announcement to phones on the local network (mDNS) is still waiting for the "
                        "system's answer."));
        case AdvertState::Failed:
            return make(kAdvertisementId, FindingState::Problem,
                        i18n("The system refused to announce this PC to phones on the local network (mDNS); Hearthpad "
                        "keeps trying. Until then phones may not find this PC on their own, but pairing by QR code "
                        "still works."));
        case AdvertState::NoAddress:
            return make(kAdvertisementId, FindingState::Problem,
                        i18n("Nothing is announced to phones, because this PC has no local network address."));
        case AdvertState::Off: break;
    }
    return make(kAdvertisementId, FindingState::Problem,
                i18n("This PC does not announce itself to phones on the local network (mDNS is off or not available "
                "on this system), so phones will not find it on their own. Pairing by QR code still works."));
}

// --- Linux: firewalld or ufw ------------------------------------------------------------------

// The Linux findings speak English only for now: their texts are shown as
// they are, with the adapter's name as the system gives it.
std::string quoted(const std::string& s) { return "\"" + s + "\""; }
std::string adapter_text(const std::string& name) { return text_catalogue::english(adapter_label(name)); }
Finding make_english(std::string_view id, FindingState state, std::string text, FindingFix fix = FindingFix::None) {
    return make(id, state, text_catalogue::literal(std::move(text)), fix);
}

// The first zone of the deciding interfaces for which `pick` holds, if any.
template <class Pick>
const LinuxZone* first_zone(const LinuxFirewallFacts& fw, Pick pick) {
    const auto it = std::find_if(fw.zones.begin(), fw.zones.end(), pick);
    return it == fw.zones.end() ? nullptr : &*it;
}

// Findings that need a LAN interface before firewalld's zones mean anything.
std::optional<Finding> zones_not_checked(std::string_view id, const ConnectionFacts& facts) {
    if (!facts.addressesKnown) return make(id, FindingState::Unknown, kAdaptersUnknown);
    if (facts.linuxFirewall->zones.empty()) return make(id, FindingState::Unknown, kNotCheckedNoAddress);
    return std::nullopt;
}

constexpr const char* kUfwForAdministrators =
    "Only administrators can ask ufw, the firewall installed on this PC, whether it is on";

Finding linux_firewall_kind(const ConnectionFacts& facts) {
    const LinuxFirewallFacts& fw = *facts.linuxFirewall;
    if (!fw.active)
        return make_english(kNetworkProfileId, FindingState::Unknown,
                    fw.ufwNeedsAdministrator ? std::string(kUfwForAdministrators) + "."
                                             : "Could not find out whether firewalld or ufw is on.");
    switch (*fw.active) {
        case LinuxFirewallKind::None:
            return make_english(kNetworkProfileId, FindingState::Ok, "Neither firewalld nor ufw is on.");
        case LinuxFirewallKind::Ufw: return make_english(kNetworkProfileId, FindingState::Ok, "The firewall on this PC is ufw.");
        case LinuxFirewallKind::Firewalld: break;
    }
    if (auto early = zones_not_checked(kNetworkProfileId, facts)) return *early;
    if (const LinuxZone* z = first_zone(fw, [](const LinuxZone& z) { return !z.zone; }))
        return make_english(kNetworkProfileId, FindingState::Unknown,
                    "firewalld is on, but could not find out which of its zones the network on " +
                        adapter_text(z->interfaceName) + " is in.");
    const LinuxZone& first = fw.zones.front();
    return make_english(kNetworkProfileId, FindingState::Ok,
                "firewalld puts the network on " + adapter_text(first.interfaceName) + " in its zone " +
                    quoted(*first.zone) + ".");
}

Finding linux_firewall_program(const ConnectionFacts& facts) {
    const LinuxFirewallFacts& fw = *facts.linuxFirewall;
    if (!fw.active)
        return make_english(kFirewallProgramId, FindingState::Unknown,
                    fw.ufwNeedsAdministrator
                        ? std::string(kUfwForAdministrators) +
                              " and lets Hearthpad in. If it is on, let Hearthpad in with: sudo ufw allow Hearthpad"
                        : "Could not find out whether the firewall lets Hearthpad accept connections.");
    const std::string mdnsKeptOut =
        " but keeps out the announcement to phones (mDNS), so phones will not find this PC on their own.";
    switch (*fw.active) {
        case LinuxFirewallKind::None:
            return make_english(kFirewallProgramId, FindingState::Ok,
                        "With neither firewalld nor ufw on, no firewall rule keeps Hearthpad out.");
        case LinuxFirewallKind::Ufw: {
            const std::string fix = " Choose Allow… to allow ufw's Hearthpad profile.";
            if (fw.ufw.host == false)
                return make_english(kFirewallProgramId, FindingState::Problem,
                            "ufw does not let Hearthpad accept connections." + fix, FindingFix::AllowFirewall);
            if (fw.ufw.host && fw.ufw.mdns == false)
                return make_english(kFirewallProgramId, FindingState::Problem,
                            "ufw lets Hearthpad accept connections" + mdnsKeptOut + fix, FindingFix::AllowFirewall);
            if (!fw.ufw.host || !fw.ufw.mdns)
                return make_english(kFirewallProgramId, FindingState::Unknown,
                            "Could not find out whether ufw lets Hearthpad accept connections.");
            return make_english(kFirewallProgramId, FindingState::Ok, "ufw lets Hearthpad accept connections.");
        }
        case LinuxFirewallKind::Firewalld: break;
    }
    if (auto early = zones_not_checked(kFirewallProgramId, facts)) return *early;
    const auto fix = [](const LinuxZone& z) {
        return " Choose Allow… to add the Hearthpad service to the zone " + quoted(*z.zone) + ".";
    };
    const auto on = [](const LinuxZone& z) { return " (the network on " + adapter_text(z.interfaceName) + ")"; };
    if (const LinuxZone* z = first_zone(fw, [](const LinuxZone& z) { return z.zone && z.allows.host == false; }))
        return make_english(kFirewallProgramId, FindingState::Problem,
                    "firewalld's zone " + quoted(*z->zone) + on(*z) + " does not let Hearthpad accept connections." +
                        fix(*z),
                    FindingFix::AllowFirewall);
    if (const LinuxZone* z = first_zone(fw, [](const LinuxZone& z) { return z.allows.host && z.allows.mdns == false; }))
        return make_english(kFirewallProgramId, FindingState::Problem,
                    "firewalld's zone " + quoted(*z->zone) + on(*z) + " lets Hearthpad accept connections" +
                        mdnsKeptOut + fix(*z),
                    FindingFix::AllowFirewall);
    if (const LinuxZone* z = first_zone(fw, [](const LinuxZone& z) { return !z.allows.host || !z.allows.mdns; }))
        return make_english(kFirewallProgramId, FindingState::Unknown,
                    "Could not find out whether firewalld lets Hearthpad accept connections on the network on " +
                        adapter_text(z->interfaceName) + ".");
    return make_english(kFirewallProgramId, FindingState::Ok,
                "firewalld lets Hearthpad accept connections in the zone " + quoted(*fw.zones.front().zone) + ".");
}

Finding linux_firewall_block_all(const ConnectionFacts& facts) {
    const LinuxFirewallFacts& fw = *facts.linuxFirewall;
    // ufw has no such mode: its allow rules always apply.
    const bool ufwOnly = fw.active == LinuxFirewallKind::Ufw || (!fw.active && fw.ufwNeedsAdministrator);
    if (ufwOnly)
        return make_english(kFirewallBlockAllId, FindingState::Ok,
                    "ufw has no mode that blocks all incoming connections, allowed ones too.");
    if (fw.active == LinuxFirewallKind::None)
        return make_english(kFirewallBlockAllId, FindingState::Ok,
                    "Neither firewalld nor ufw is on to block all incoming connections.");
    if (fw.active == LinuxFirewallKind::Firewalld && fw.panic == true)
        return make_english(kFirewallBlockAllId, FindingState::Problem,
                    "firewalld's panic mode is on: it drops all network traffic, Hearthpad's too. Turn it off with: "
                    "sudo firewall-cmd --panic-off");
    if (fw.active == LinuxFirewallKind::Firewalld && fw.panic == false)
        return make_english(kFirewallBlockAllId, FindingState::Ok,
                    "firewalld's panic mode, which blocks all connections, is off.");
    return make_english(kFirewallBlockAllId, FindingState::Unknown,
                "Could not find out whether firewalld blocks all incoming connections.");
}

}  // namespace

std::vector<AdapterNetwork> deciding_networks(const ConnectionFacts& facts) {
    const bool anyGateway = std::any_of(facts.lan.begin(), facts.lan.end(),
                                        [](const platform::InterfaceAddress& a) { return a.hasGateway; });
    std::vector<AdapterNetwork> out;
    for (const auto& address : facts.lan) {
        if (anyGateway && !address.hasGateway) continue;
        const auto seen = [&](const AdapterNetwork& n) { return n.adapterId == address.adapterId; };
        if (std::any_of(out.begin(), out.end(), seen)) continue;
        const auto it = std::find_if(facts.networks.begin(), facts.networks.end(), seen);
        // An adapter whose network was not gathered: its category is unknown.
        out.push_back(it != facts.networks.end() ? *it
                                                 : AdapterNetwork{address.adapterId, address.adapterName, {}});
    }
    return out;
}

const ProfileFacts& FirewallFacts::profile(unsigned bit) const {
    return profiles[bit == platform::kProfileDomain ? 0 : bit == platform::kProfilePrivate ? 1 : 2];
}

ProfileFacts& FirewallFacts::profile(unsigned bit) {
    return profiles[bit == platform::kProfileDomain ? 0 : bit == platform::kProfilePrivate ? 1 : 2];
}

std::vector<Finding> evaluate(const ConnectionFacts& facts) {
    if (facts.linuxFirewall)
        return {lan_address(facts),           gateway(facts),
                linux_firewall_kind(facts),   linux_firewall_program(facts),
                linux_firewall_block_all(facts), advertisement(facts)};
    return {lan_address(facts),      gateway(facts),           network_profile(facts),
            firewall_program(facts), firewall_block_all(facts), advertisement(facts)};
}

std::string_view state_name(FindingState state) {
    switch (state) {
        case FindingState::Ok: return "ok";
        case FindingState::Problem: return "problem";
        case FindingState::Unknown: break;
    }
    return "unknown";
}

std::string console_line(const Finding& finding) {
    return "check: " + finding.id + " " + std::string(state_name(finding.state)) + " " + finding.text;
}

std::string network_key(const ConnectionFacts& facts) {
    if (facts.lan.empty()) return {};
    std::vector<std::string> ids;
    for (const auto& a : facts.lan) ids.push_back(a.adapterId);
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    std::string key;
    for (const auto& id : ids) key += id + ",";
    return key + facts.lan.front().address.to_string();
}

std::optional<Finding> BalloonMemory::next(const std::vector<Finding>& findings, const std::string& networkKey) {
    std::optional<Finding> show;
    for (const Finding& f : findings) {
        auto key = std::make_pair(networkKey, f.id);
        if (f.state == FindingState::Ok) {
            shown_.erase(key);
        } else if (f.state == FindingState::Problem) {
            if (shown_.insert(std::move(key)).second && !show) show = f;
        }
    }
    return show;
}

}  // namespace hp::connection_check
