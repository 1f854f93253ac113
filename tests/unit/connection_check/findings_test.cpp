// The findings from facts: every id every time in the same order, each
// problem with its fix, and no unknown fact ever making a finding ok.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "connection_check/findings.h"
#include "support.h"

namespace hp::connection_check {
namespace {

using platform::kProfileAll;
using platform::kProfileDomain;
using platform::kProfilePrivate;
using platform::kProfilePublic;
using platform::NetworkCategory;
using test::adapter_address;
using test::healthy_facts;
using test::program_rule;
using State = FindingState;

char letter(State s) { return s == State::Ok ? 'o' : s == State::Problem ? 'p' : 'u'; }
char letter(FindingFix f) {
    return f == FindingFix::AllowFirewall ? 'A' : f == FindingFix::OpenNetworkSettings ? 'S' : '-';
}

struct Case {
    const char* name;
    std::function<void(ConnectionFacts&)> change;
    // One letter per finding in the order of kFindingIds: lan_address,
    // gateway, network_profile, firewall_program, firewall_block_all,
    // advertisement. o ok, p problem, u unknown.
    const char* states;
    const char* fixes;  // - none, A allow through the firewall, S open network settings
    std::string_view id = {};   // optionally, a finding whose text must contain...
    const char* needle = "";   // ...this
};

void no_lan(ConnectionFacts& f) {
    f.lan.clear();
    f.networks.clear();
}
void category(ConnectionFacts& f, std::optional<NetworkCategory> c) { f.networks[0].category = c; }
void rules(ConnectionFacts& f, std::vector<platform::FirewallRule> r) { f.firewall.programRules = std::move(r); }

const Case kCases[] = {
    {"healthy", [](ConnectionFacts&) {}, "oooooo", "------", kLanAddressId,
     "This PC's local network address is 192.168.1.20 on Wi-Fi; Hearthpad listens on port 49182."},
    {"domain network, allow rule covers it", [](ConnectionFacts& f) { category(f, NetworkCategory::Domain); },
     "oooooo", "------", kNetworkProfileId, "as a domain network"},

    // The network's category.
    {"public network: the private allow rule does not apply",
     [](ConnectionFacts& f) { category(f, NetworkCategory::Public); }, "ooppoo", "--S---", kFirewallProgramId,
     "On a public network Windows Defender Firewall keeps Hearthpad out. Set this network to Private (see above)."},
    {"public network without any allow rule: allowing helps once it is private",
     [](ConnectionFacts& f) {
         category(f, NetworkCategory::Public);
         rules(f, {});
     },
     "ooppoo", "--SA--", kNetworkProfileId,
     "Windows treats the network on Wi-Fi as public, which keeps phones out. Choose Open Settings, open the "
     "network's properties and set its network profile type to Private."},
    {"public network, user's allow rule includes public",
     [](ConnectionFacts& f) {
         category(f, NetworkCategory::Public);
         rules(f, {program_rule(true, kProfileAll)});
     },
     "oopooo", "--S---"},
    {"second adapter with a router on a public network",
     [](ConnectionFacts& f) {
         f.lan.push_back(adapter_address("10.0.0.5", true, "{eth}", "Ethernet"));
         f.networks.push_back({"{eth}", "Ethernet", NetworkCategory::Public});
     },
     "ooppoo", "--S---", kNetworkProfileId, "the network on Ethernet as public"},
    {"virtual switch without a router on a public network does not count",
     [](ConnectionFacts& f) {
         f.lan.push_back(adapter_address("172.20.0.1", false, "{vswitch}", "vEthernet (Default Switch)",
                                         platform::AdapterKind::Other));
         f.networks.push_back({"{vswitch}", "vEthernet (Default Switch)", NetworkCategory::Public});
     },
     "oooooo", "------"},

    // Rules for the program.
    {"block rule for the program",
     [](ConnectionFacts& f) { f.firewall.programRules->push_back(program_rule(false, kProfileAll)); }, "ooopoo",
     "---A--", kFirewallProgramId,
     "A Windows Defender Firewall rule blocks Hearthpad, so phones cannot connect. Choose Allow… to let Hearthpad "
     "through on private networks."},
    {"block rule for UDP only still blocks the controller datagrams",
     [](ConnectionFacts& f) {
         f.firewall.programRules->push_back(program_rule(false, kProfilePrivate, platform::kProtocolUdp));
     },
     "ooopoo", "---A--"},
    {"disabled block rule",
     [](ConnectionFacts& f) {
         f.firewall.programRules->push_back(program_rule(false, kProfileAll));
         f.firewall.programRules->back().enabled = false;
     },
     "oooooo", "------"},
    {"block rule for public networks only, network private",
     [](ConnectionFacts& f) { f.firewall.programRules->push_back(program_rule(false, kProfilePublic)); }, "oooooo",
     "------"},
    {"no allow rule while the firewall is on",
     [](ConnectionFacts& f) { rules(f, {}); }, "ooopoo", "---A--", kFirewallProgramId,
     "Windows Defender Firewall has no rule that lets Hearthpad accept connections on this network. Choose Allow… "
     "to let Hearthpad through on private networks."},
    {"disabled allow rule", [](ConnectionFacts& f) { f.firewall.programRules->front().enabled = false; }, "ooopoo",
     "---A--"},
    {"allow rule for TCP only leaves UDP out",
     [](ConnectionFacts& f) { rules(f, {program_rule(true, kProfilePrivate, platform::kProtocolTcp)}); }, "ooopoo",
     "---A--"},
    {"allow rules for TCP and UDP",
     [](ConnectionFacts& f) {
         rules(f, {program_rule(true, kProfilePrivate, platform::kProtocolTcp),
                   program_rule(true, kProfilePrivate, platform::kProtocolUdp)});
     },
     "oooooo", "------"},
    {"outbound allow rule does not count",
     [](ConnectionFacts& f) { f.firewall.programRules->front().inbound = false; }, "ooopoo", "---A--"},
    {"firewall off for this network's profile",
     [](ConnectionFacts& f) {
         rules(f, {program_rule(false, kProfileAll)});
         f.firewall.profile(kProfilePrivate) = {false, true};
     },
     "oooooo", "------", kFirewallProgramId, "Windows Defender Firewall is off for this network."},
    {"firewall off only for another profile",
     [](ConnectionFacts& f) {
         rules(f, {});
         f.firewall.profile(kProfilePublic).enabled = false;
     },
     "ooopoo", "---A--"},

    // Blocking everything.
    {"blocks all inbound on this network's profile",
     [](ConnectionFacts& f) { f.firewall.profile(kProfilePrivate).blocksAll = true; }, "oooopo", "------",
     kFirewallBlockAllId, "turn off \"Blocks all incoming connections\""},
    {"blocks all inbound on public only, network private",
     [](ConnectionFacts& f) { f.firewall.profile(kProfilePublic).blocksAll = true; }, "oooooo", "------"},

    // Group Policy.
    {"managed elsewhere: never ok, no fix", [](ConnectionFacts& f) { f.firewall.managedElsewhere = true; },
     "ooouoo", "------", kFirewallProgramId, "managed by your organization"},
    {"managed elsewhere with a block rule: a problem without a fix",
     [](ConnectionFacts& f) {
         f.firewall.managedElsewhere = true;
         f.firewall.programRules->push_back(program_rule(false, kProfileAll));
     },
     "ooopoo", "------", kFirewallProgramId, "Ask your administrator"},
    {"managed elsewhere and blocking all", [](ConnectionFacts& f) {
         f.firewall.managedElsewhere = true;
         f.firewall.profile(kProfilePrivate).blocksAll = true;
     },
     "oooupo", "------", kFirewallBlockAllId, "ask your administrator"},

    // Addresses.
    {"no LAN address", [](ConnectionFacts& f) {
         no_lan(f);
         f.advert = discovery::AdvertState::NoAddress;
     },
     "puuuup", "------", kGatewayId, "Not checked: this PC has no local network address."},
    {"no LAN address, but a block rule for every profile",
     [](ConnectionFacts& f) {
         no_lan(f);
         rules(f, {program_rule(false, kProfileAll)});
     },
     "puupuo", "---A--"},
    {"only addresses without a gateway", [](ConnectionFacts& f) {
         f.lan = {adapter_address("172.20.0.1", false, "{vswitch}", "vEthernet (Default Switch)",
                                  platform::AdapterKind::Other)};
         f.networks = {{"{vswitch}", "vEthernet (Default Switch)", NetworkCategory::Private}};
     },
     "opoooo", "------", kGatewayId, "without a router (default gateway), probably virtual"},
    {"adapters not listed", [](ConnectionFacts& f) {
         no_lan(f);
         f.addressesKnown = false;
     },
     "uuuuuo", "------", kLanAddressId, "Could not list this PC's network adapters."},

    // Unknown facts.
    {"unknown category", [](ConnectionFacts& f) { category(f, std::nullopt); }, "oouuuo", "------"},
    {"adapter missing from the networks", [](ConnectionFacts& f) { f.networks.clear(); }, "oouuuo", "------"},
    {"unknown category with a block rule for every profile",
     [](ConnectionFacts& f) {
         category(f, std::nullopt);
         f.firewall.programRules->push_back(program_rule(false, kProfileAll));
     },
     "ooupuo", "---A--"},
    {"unknown category with a block rule for private only",
     [](ConnectionFacts& f) {
         category(f, std::nullopt);
         f.firewall.programRules->push_back(program_rule(false, kProfilePrivate));
     },
     "oouuuo", "------"},
    {"unknown category, blocking all in every profile",
     [](ConnectionFacts& f) {
         category(f, std::nullopt);
         for (auto& p : f.firewall.profiles) p.blocksAll = true;
     },
     "oouupo", "------"},
    {"firewall unknown altogether", [](ConnectionFacts& f) { f.firewall = {}; }, "ooouuo", "------"},
    {"rules unknown", [](ConnectionFacts& f) { f.firewall.programRules.reset(); }, "ooouoo", "------"},
    {"rules unknown, firewall off for the profile",
     [](ConnectionFacts& f) {
         f.firewall.programRules.reset();
         f.firewall.profile(kProfilePrivate).enabled = false;
     },
     "oooooo", "------"},
    {"firewall state unknown, allow rule present",
     [](ConnectionFacts& f) { f.firewall.profile(kProfilePrivate).enabled.reset(); }, "oooooo", "------"},
    {"firewall state unknown, no allow rule",
     [](ConnectionFacts& f) {
         f.firewall.profile(kProfilePrivate).enabled.reset();
         rules(f, {});
     },
     "ooouoo", "------"},
    {"firewall state unknown, block rule", [](ConnectionFacts& f) {
         f.firewall.profile(kProfilePrivate).enabled.reset();
         f.firewall.programRules->push_back(program_rule(false, kProfilePrivate));
     },
     "ooopoo", "---A--"},
    {"managed elsewhere unknown", [](ConnectionFacts& f) { f.firewall.managedElsewhere.reset(); }, "ooouoo",
     "------"},
    {"block-all unknown", [](ConnectionFacts& f) { f.firewall.profile(kProfilePrivate).blocksAll.reset(); },
     "oooouo", "------"},

    // The advertisement.
    {"advertisement off", [](ConnectionFacts& f) { f.advert = discovery::AdvertState::Off; }, "ooooop", "------",
     kAdvertisementId, "mDNS is off or not available"},
    {"advertisement failed", [](ConnectionFacts& f) { f.advert = discovery::AdvertState::Failed; }, "ooooop",
     "------", kAdvertisementId, "Hearthpad keeps trying"},
    {"advertisement pending", [](ConnectionFacts& f) { f.advert = discovery::AdvertState::Pending; }, "ooooou",
     "------"},
};

TEST(ConnectionFindings, FromFactsByTable) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        ConnectionFacts facts = healthy_facts();
        c.change(facts);
        const std::vector<Finding> findings = evaluate(facts);
        ASSERT_EQ(findings.size(), kFindingIds.size());
        std::string states, fixes;
        for (std::size_t i = 0; i < findings.size(); ++i) {
            EXPECT_EQ(findings[i].id, kFindingIds[i]);
            EXPECT_FALSE(findings[i].text.empty()) << findings[i].id;
            states += letter(findings[i].state);
            fixes += letter(findings[i].fix);
        }
        EXPECT_EQ(states, c.states);
        EXPECT_EQ(fixes, c.fixes);
        if (!c.id.empty()) {
            const auto it = std::find_if(findings.begin(), findings.end(), [&](const Finding& f) { return f.id == c.id; });
            EXPECT_NE(it->text.find(c.needle), std::string::npos) << it->text;
        }
    }
}

// Making any one fact unknown never turns a finding ok that was not ok
// before, nor keeps ok a finding that depends on it; starting from each
// spoiled state of the table as well as from the healthy one.
TEST(ConnectionFindings, AnUnknownFactNeverGivesOk) {
    struct Unknowing {
        const char* name;
        std::function<void(ConnectionFacts&)> forget;
        std::vector<std::string_view> dependents;  // findings that must not be ok afterwards
    };
    const Unknowing forgets[] = {
        {"category", [](ConnectionFacts& f) { for (auto& n : f.networks) n.category.reset(); },
         {kNetworkProfileId, kFirewallProgramId, kFirewallBlockAllId}},
        {"rules and state", [](ConnectionFacts& f) {
             f.firewall.programRules.reset();
             for (auto& p : f.firewall.profiles) p.enabled.reset();
         },
         {kFirewallProgramId}},
        // (An allow rule lets Hearthpad through whether the firewall is on or off.)
        {"block-all and state", [](ConnectionFacts& f) {
             for (auto& p : f.firewall.profiles) p = {};
         },
         {kFirewallBlockAllId}},
        {"managed", [](ConnectionFacts& f) { f.firewall.managedElsewhere.reset(); }, {kFirewallProgramId}},
        {"adapters", [](ConnectionFacts& f) {
             no_lan(f);
             f.addressesKnown = false;
         },
         {kLanAddressId, kGatewayId, kNetworkProfileId, kFirewallProgramId, kFirewallBlockAllId}},
        {"advertisement", [](ConnectionFacts& f) { f.advert = discovery::AdvertState::Pending; },
         {kAdvertisementId}},
    };
    std::vector<std::function<void(ConnectionFacts&)>> starts{[](ConnectionFacts&) {}};
    for (const Case& c : kCases) starts.push_back(c.change);
    for (const Unknowing& u : forgets) {
        SCOPED_TRACE(u.name);
        for (std::size_t s = 0; s < starts.size(); ++s) {
            ConnectionFacts facts = healthy_facts();
            starts[s](facts);
            const auto before = evaluate(facts);
            u.forget(facts);
            const auto after = evaluate(facts);
            for (std::size_t i = 0; i < after.size(); ++i) {
                if (after[i].state != State::Ok) continue;
                EXPECT_EQ(before[i].state, State::Ok) << "start " << s << ": " << after[i].id;
                EXPECT_EQ(std::count(u.dependents.begin(), u.dependents.end(), after[i].id), 0)
                    << "start " << s << ": " << after[i].id << " stayed ok: " << after[i].text;
            }
        }
    }
}

TEST(ConnectionFindings, ConsoleLines) {
    const auto findings = evaluate(healthy_facts());
    EXPECT_EQ(console_line(findings[0]), "check: lan_address ok " + findings[0].text);
    ConnectionFacts facts = healthy_facts();
    rules(facts, {});
    facts.advert = discovery::AdvertState::Pending;
    const auto spoiled = evaluate(facts);
    EXPECT_EQ(console_line(spoiled[3]).rfind("check: firewall_program problem Windows Defender Firewall has no", 0), 0u);
    EXPECT_EQ(console_line(spoiled[5]).rfind("check: advertisement unknown ", 0), 0u);
}

TEST(ConnectionFindings, NetworkKeyNamesTheAdaptersAndThePreferredAddress) {
    ConnectionFacts a = healthy_facts();
    a.lan.push_back(adapter_address("172.20.0.1", false, "{vswitch}", "vEthernet"));
    ConnectionFacts sameAdaptersOtherOrder = a;
    std::swap(sameAdaptersOtherOrder.lan[0], sameAdaptersOtherOrder.lan[1]);
    sameAdaptersOtherOrder.lan.insert(sameAdaptersOtherOrder.lan.begin(), a.lan[0]);
    ConnectionFacts newAddress = a;
    newAddress.lan[0].address = *IpAddress::parse("192.168.7.3");
    ConnectionFacts otherAdapter = a;
    otherAdapter.lan[0].adapterId = "{eth}";

    EXPECT_EQ(network_key(a), network_key(sameAdaptersOtherOrder));
    EXPECT_NE(network_key(a), network_key(newAddress));
    EXPECT_NE(network_key(a), network_key(otherAdapter));
    ConnectionFacts none = a;
    no_lan(none);
    EXPECT_EQ(network_key(none), "");
}

// The balloon: one per problem and network, again only after an ok on that
// network in between, at most one per check.
TEST(ConnectionBalloon, StepsByTable) {
    struct Step {
        const char* network;
        std::vector<std::pair<std::string_view, State>> findings;
        const char* shows;  // the id of the finding shown, or empty
    };
    const auto P = State::Problem;
    const auto O = State::Ok;
    const auto U = State::Unknown;
    const Step steps[] = {
        {"A", {{kLanAddressId, O}, {kFirewallProgramId, P}, {kAdvertisementId, P}}, "firewall_program"},
        {"A", {{kLanAddressId, O}, {kFirewallProgramId, P}, {kAdvertisementId, P}}, ""},
        {"A", {{kFirewallProgramId, P}, {kAdvertisementId, O}}, ""},
        {"A", {{kFirewallProgramId, P}, {kAdvertisementId, P}}, "advertisement"},
        {"A", {{kFirewallProgramId, U}, {kAdvertisementId, U}}, ""},
        {"A", {{kFirewallProgramId, P}, {kAdvertisementId, P}}, ""},
        {"B", {{kFirewallProgramId, P}, {kAdvertisementId, O}}, "firewall_program"},
        {"A", {{kFirewallProgramId, O}, {kAdvertisementId, P}}, ""},
        {"B", {{kFirewallProgramId, P}, {kAdvertisementId, P}}, "advertisement"},
        {"A", {{kFirewallProgramId, P}, {kAdvertisementId, P}}, "firewall_program"},
        {"B", {{kFirewallProgramId, P}}, ""},
        {"", {{kLanAddressId, P}}, "lan_address"},
    };
    BalloonMemory memory;
    int n = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(++n);
        std::vector<Finding> findings;
        for (const auto& [id, state] : step.findings)
            findings.push_back({std::string(id), state, "text of " + std::string(id), FindingFix::None});
        const std::optional<Finding> shown = memory.next(findings, step.network);
        EXPECT_EQ(shown ? shown->id : "", step.shows);
        if (shown) {
            EXPECT_EQ(shown->text, "text of " + shown->id);
        }
    }
}

}  // namespace
}  // namespace hp::connection_check
