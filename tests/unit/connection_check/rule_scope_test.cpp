// A program rule's scope on the fake firewall: an allow rule lets the phones
// in only when it admits every address they come from (the private ranges
// and Tailscale's), every port the host may listen on, TCP and UDP, and
// every kind of adapter; "Allow…" leaves one rule without any such limit.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "connection_check/allow_firewall.h"
#include "connection_check/gather.h"
#include "platform/fake/fake_firewall.h"
#include "support.h"

namespace hp::connection_check {
namespace {

using fake::FakeFirewall;
using platform::FirewallRule;
using platform::kProtocolTcp;
using platform::kProtocolUdp;
using test::kProgram;

// The allow rule "Allow…" makes, with one change.
FirewallRule allow_rule(const std::function<void(FirewallRule&)>& change = {}, int protocol = platform::kProtocolAny) {
    FirewallRule r = hearthpad_firewall_rule(kProgram);
    r.name = "My rule";
    r.protocol = protocol;
    if (change) change(r);
    return r;
}
std::function<void(FirewallRule&)> remote(std::string text) {
    return [text](FirewallRule& r) { r.remoteAddresses = text; };
}
std::function<void(FirewallRule&)> ports(std::string text) {
    return [text](FirewallRule& r) { r.localPorts = text; };
}
std::function<void(FirewallRule&)> interfaces(std::string text) {
    return [text](FirewallRule& r) { r.interfaceTypes = text; };
}

Finding firewall_finding(FakeFirewall& fw) {
    ConnectionFacts facts = test::healthy_facts();  // a private network, the firewall on
    facts.firewall = gather_firewall(fw, kProgram);
    const auto findings = evaluate(facts);
    return *std::find_if(findings.begin(), findings.end(), [](const Finding& f) { return f.id == kFirewallProgramId; });
}

struct Case {
    const char* name;
    std::vector<FirewallRule> rules;
    bool covers;
};

TEST(FirewallRuleScope, OnlyAnOpenScopeLetsThePhonesInAndAllowOpensIt) {
    const FirewallRule block = [] {
        FirewallRule r = allow_rule(remote("203.0.113.0/24"));
        r.allow = false;
        return r;
    }();
    const Case cases[] = {
        {"open fields", {allow_rule()}, true},
        {"remote addresses: local subnet only", {allow_rule(remote("LocalSubnet"))}, false},
        {"remote addresses: local subnet and Tailscale; the keyword holds no private range",
         {allow_rule(remote("LocalSubnet,100.64.0.0/10"))}, false},
        {"remote addresses: private ranges without Tailscale",
         {allow_rule(remote("10.0.0.0/8,172.16.0.0/12,192.168.0.0/16"))}, false},
        {"remote addresses: the private ranges and Tailscale's, as Windows writes masks",
         {allow_rule(remote("10.0.0.0/255.0.0.0, 172.16.0.0/255.240.0.0,192.168.0.0/255.255.0.0,"
                            "100.64.0.0/255.192.0.0,fe80::/64"))},
         true},
        {"remote addresses: pieces that join up",
         {allow_rule(remote("10.0.0.0-10.127.255.255,10.128.0.0/9,172.16.0.0-172.31.255.255,192.168.0.0/17,"
                            "192.168.128.0/17,100.64.0.0/11,100.96.0.0/11"))},
         true},
        {"remote addresses: one address missing", {allow_rule(remote("10.0.0.0/8,172.16.0.0/12,192.168.0.0/16,"
                                                                     "100.64.0.0-100.127.255.254"))},
         false},
        {"remote addresses: not given", {allow_rule(remote(""))}, false},
        {"local ports: TCP and UDP on the host's range",
         {allow_rule(ports("49182-49192"), kProtocolTcp), allow_rule(ports("80, 49182-49186,49187-49192"), kProtocolUdp)},
         true},
        {"local ports: UDP limited to the first port",
         {allow_rule(ports("*"), kProtocolTcp), allow_rule(ports("49182"), kProtocolUdp)}, false},
        {"local ports: a keyword", {allow_rule(ports("RPC"), kProtocolTcp), allow_rule({}, kProtocolUdp)}, false},
        {"TCP only", {allow_rule({}, kProtocolTcp)}, false},
        {"interface types: wired only", {allow_rule(interfaces("Lan"))}, false},
        {"interface types: every kind listed", {allow_rule(interfaces("Lan, wireless,RemoteAccess"))}, true},
        {"interface types: not given", {allow_rule(interfaces(""))}, false},
        {"a limited rule beside an open one", {allow_rule(remote("LocalSubnet")), allow_rule()}, true},
        {"an open allow rule beside a block rule for some addresses", {allow_rule(), block}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFirewall fw;
        fw.ruleList = c.rules;
        const Finding before = firewall_finding(fw);
        EXPECT_EQ(before.state, c.covers ? FindingState::Ok : FindingState::Problem) << before.text;
        EXPECT_EQ(before.fix, c.covers ? FindingFix::None : FindingFix::AllowFirewall);

        ASSERT_EQ(run_allow_firewall(fw, kProgram), AllowFirewallExit::Done);
        EXPECT_EQ(firewall_finding(fw).state, FindingState::Ok);
        std::vector<FirewallRule> allowing;
        std::copy_if(fw.ruleList.begin(), fw.ruleList.end(), std::back_inserter(allowing),
                     [](const FirewallRule& r) { return r.enabled && r.allow; });
        EXPECT_EQ(allowing, std::vector{hearthpad_firewall_rule(kProgram)});
    }
}

// A rule that would let Hearthpad in but for its scope says so.
TEST(FirewallRuleScope, ALimitedRuleIsNamedAsSuch) {
    FakeFirewall fw;
    fw.ruleList = {allow_rule(remote("LocalSubnet"))};
    EXPECT_EQ(firewall_finding(fw).text,
              "Windows Defender Firewall lets Hearthpad accept connections only from some addresses, on some ports "
              "or on some kinds of network adapter, which can keep phones out (those on Tailscale too). Choose "
              "Allow… to let Hearthpad through on private networks.");
}

// The rule "Allow…" writes, and the change it asks of a limited rule: the
// same rule, every limit gone.
TEST(FirewallRuleScope, AllowReplacesALimitedRuleWithAnOpenOne) {
    const FirewallRule open = hearthpad_firewall_rule(kProgram);
    EXPECT_EQ(open.remoteAddresses, "*");
    EXPECT_EQ(open.localPorts, "*");
    EXPECT_EQ(open.interfaceTypes, "All");
    EXPECT_EQ(open.protocol, platform::kProtocolAny);

    FakeFirewall fw;
    FirewallRule limited = open;
    limited.protocol = kProtocolTcp;
    limited.remoteAddresses = "LocalSubnet";
    limited.localPorts = "49182";
    limited.interfaceTypes = "Wireless";
    fw.ruleList = {limited};
    ASSERT_EQ(run_allow_firewall(fw, kProgram), AllowFirewallExit::Done);
    EXPECT_EQ(fw.changes, (std::vector<FakeFirewall::Change>{{FakeFirewall::Change::Kind::Replace, 0, open}}));
}

}  // namespace
}  // namespace hp::connection_check
