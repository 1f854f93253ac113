// Gathering: the LAN addresses from discovery's scan, each adapter's
// network, the firewall's facts and only this program's inbound rules; what
// could not be asked stays unknown.
#include <gtest/gtest.h>

#include "connection_check/gather.h"
#include "platform/fake/fake_firewall.h"
#include "platform/fake/fake_system.h"
#include "support.h"

namespace hp::connection_check {
namespace {

using platform::NetworkCategory;
using test::adapter_address;
using test::kProgram;
using test::program_rule;

std::vector<platform::InterfaceAddress> pc_adapters() {
    return {
        adapter_address("172.20.0.1", false, "{vswitch}", "vEthernet (Default Switch)", platform::AdapterKind::Other),
        adapter_address("127.0.0.1", false, "{loopback}", "Loopback"),
        adapter_address("192.168.1.20", true, "{wifi}", "Wi-Fi"),
        adapter_address("100.101.102.103", false, "{ts}", "Tailscale", platform::AdapterKind::Tunnel),
    };
}

TEST(GatherFacts, FromTheSystemTheNetworkListAndTheFirewall) {
    fake::FakeSystem system;
    system.set_interface_addresses(pc_adapters());
    fake::FakeNetworkList networks;
    networks.known = std::map<std::string, NetworkCategory>{{"{wifi}", NetworkCategory::Private},
                                                            {"{ts}", NetworkCategory::Public}};
    fake::FakeFirewall firewall;
    firewall.profiles[platform::kProfilePublic] = {true, true};
    firewall.profiles.erase(platform::kProfileDomain);
    firewall.managed = std::nullopt;
    const platform::FirewallRule ours = program_rule(false, platform::kProfileAll, platform::kProtocolAny,
                                                     "C:\\PROGRAM FILES\\HEARTHPAD\\HEARTHPAD.EXE");
    platform::FirewallRule outbound = program_rule(true, platform::kProfileAll);
    outbound.inbound = false;
    firewall.ruleList = {program_rule(true, platform::kProfileAll, platform::kProtocolAny, "C:\\Games\\other.exe"),
                         ours, outbound, program_rule(false, platform::kProfileAll, platform::kProtocolAny, "")};

    const ConnectionFacts facts =
        gather_facts(system, &firewall, &networks, discovery::AdvertState::Registered, 49182, kProgram);

    ASSERT_EQ(facts.lan.size(), 2u);
    EXPECT_TRUE(facts.addressesKnown);
    EXPECT_EQ(facts.lan[0].adapterId, "{wifi}");  // the adapter with a gateway first
    EXPECT_EQ(facts.lan[1].adapterId, "{vswitch}");
    EXPECT_EQ(facts.networks, (std::vector<AdapterNetwork>{{"{wifi}", "Wi-Fi", NetworkCategory::Private},
                                                           {"{vswitch}", "vEthernet (Default Switch)", {}}}));
    EXPECT_EQ(facts.firewall.profile(platform::kProfileDomain), (ProfileFacts{}));
    EXPECT_EQ(facts.firewall.profile(platform::kProfilePrivate), (ProfileFacts{true, false}));
    EXPECT_EQ(facts.firewall.profile(platform::kProfilePublic), (ProfileFacts{true, true}));
    EXPECT_EQ(facts.firewall.managedElsewhere, std::nullopt);
    EXPECT_EQ(facts.firewall.programRules, std::vector{ours});
    EXPECT_EQ(facts.advert, discovery::AdvertState::Registered);
    EXPECT_EQ(facts.port, 49182);
}

TEST(GatherFacts, WhatCannotBeAskedStaysUnknown) {
    fake::FakeSystem system;
    system.set_interface_addresses(pc_adapters());
    const ConnectionFacts noSeams =
        gather_facts(system, nullptr, nullptr, discovery::AdvertState::Off, 49182, kProgram);
    EXPECT_EQ(noSeams.lan.size(), 2u);
    for (const auto& n : noSeams.networks) EXPECT_EQ(n.category, std::nullopt) << n.adapterId;
    EXPECT_EQ(noSeams.firewall, FirewallFacts{});

    fake::FakeNetworkList unreadable;
    fake::FakeFirewall firewall;
    firewall.failRules = true;
    const ConnectionFacts failing =
        gather_facts(system, &firewall, &unreadable, discovery::AdvertState::Off, 49182, kProgram);
    for (const auto& n : failing.networks) EXPECT_EQ(n.category, std::nullopt) << n.adapterId;
    EXPECT_EQ(failing.firewall.programRules, std::nullopt);
    EXPECT_EQ(failing.firewall.managedElsewhere, false);

    system.set_interface_addresses(std::nullopt);
    const ConnectionFacts unlisted =
        gather_facts(system, &firewall, &unreadable, discovery::AdvertState::Off, 49182, kProgram);
    EXPECT_FALSE(unlisted.addressesKnown);
    EXPECT_TRUE(unlisted.lan.empty());
    EXPECT_EQ(evaluate(unlisted)[0].state, FindingState::Unknown);
}

}  // namespace
}  // namespace hp::connection_check
