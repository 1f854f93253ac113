// The --allow-firewall run against a fake firewall: only this program's
// inbound rules change, its block rules are disabled, and one enabled allow
// rule for private and domain networks is left, however often it runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "connection_check/allow_firewall.h"
#include "platform/fake/fake_firewall.h"
#include "support.h"

namespace hp::connection_check {
namespace {

using fake::FakeFirewall;
using platform::FirewallRule;
using platform::kProfileAll;
using platform::kProfileDomain;
using platform::kProfilePrivate;
using platform::kProfilePublic;
using test::kProgram;
using test::program_rule;
using Kind = FakeFirewall::Change::Kind;

constexpr const char* kOther = "C:\\Games\\other.exe";

std::size_t enabled_allow_rules(const std::vector<FirewallRule>& rules, std::string_view path) {
    return static_cast<std::size_t>(std::count_if(rules.begin(), rules.end(), [&](const FirewallRule& r) {
        return r.inbound && r.allow && r.enabled && same_program(r.applicationName, path);
    }));
}

TEST(AllowFirewall, TheRuleItKeeps) {
    const FirewallRule rule = hearthpad_firewall_rule(kProgram);
    EXPECT_EQ(rule.name, "Hearthpad");
    EXPECT_FALSE(rule.description.empty());
    EXPECT_EQ(rule.applicationName, kProgram);
    EXPECT_TRUE(rule.inbound);
    EXPECT_TRUE(rule.allow);
    EXPECT_TRUE(rule.enabled);
    EXPECT_EQ(rule.profiles, kProfilePrivate | kProfileDomain);
    EXPECT_EQ(rule.protocol, platform::kProtocolAny);
}

TEST(AllowFirewall, SameProgram) {
    struct Case {
        const char* a;
        const char* b;
        bool same;
    };
    const Case cases[] = {
        {kProgram, kProgram, true},
        {kProgram, "c:\\program files\\HEARTHPAD\\Hearthpad.EXE", true},
        {"C:\\Users\\J\xC3\xBCrgen\\Hearthpad\\hearthpad.exe", "C:\\USERS\\J\xC3\x9CRGEN\\HEARTHPAD\\HEARTHPAD.EXE",
         true},
        {kProgram, "C:\\Program Files\\Hearthpad\\hearthpad.exe.bak", false},
        {kProgram, "C:\\Program Files (x86)\\Hearthpad\\hearthpad.exe", false},
        {kProgram, kOther, false},
        {kProgram, "", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(same_program(c.a, c.b), c.same) << c.a << " / " << c.b;
        EXPECT_EQ(same_program(c.b, c.a), c.same) << c.b << " / " << c.a;
    }
}

// The firewall of a PC on which Windows asked about the program once
// (leaving a block rule), the user added an allow rule of their own, and
// other programs have rules too.
FakeFirewall lived_in_firewall() {
    FakeFirewall fw;
    // The seam has expanded "%ProgramFiles%\Hearthpad\hearthpad.exe" already;
    // Windows wrote it in its own case.
    fw.ruleList.push_back(program_rule(false, kProfilePublic, platform::kProtocolTcp,
                                       "c:\\program files\\hearthpad\\hearthpad.exe"));       // 0 ours: block
    fw.ruleList.push_back(program_rule(false, kProfileAll, platform::kProtocolAny, kOther));   // 1 another program's
    FirewallRule outbound = program_rule(false, kProfileAll);
    outbound.inbound = false;
    fw.ruleList.push_back(outbound);                                                           // 2 ours, outbound
    FirewallRule mine = program_rule(true, kProfileAll, platform::kProtocolTcp);
    mine.name = "My Hearthpad rule";
    mine.enabled = false;
    fw.ruleList.push_back(mine);                                                               // 3 ours: allow
    fw.ruleList.push_back(program_rule(true, kProfilePrivate, platform::kProtocolUdp));       // 4 ours: allow
    FirewallRule anyProgram = program_rule(false, kProfileAll, platform::kProtocolAny, "");
    fw.ruleList.push_back(anyProgram);                                                         // 5 every program
    FirewallRule oldBlock = program_rule(false, kProfileAll);
    oldBlock.enabled = false;
    fw.ruleList.push_back(oldBlock);                                                           // 6 ours, disabled
    return fw;
}

TEST(AllowFirewall, DisablesOurBlockRulesAndLeavesOneAllowRule) {
    FakeFirewall fw = lived_in_firewall();
    const std::vector<FirewallRule> before = fw.ruleList;

    EXPECT_EQ(run_allow_firewall(fw, kProgram), AllowFirewallExit::Done);

    ASSERT_EQ(fw.ruleList.size(), before.size());  // an allow rule was there to replace
    FirewallRule disabledBlock = before[0];
    disabledBlock.enabled = false;
    EXPECT_EQ(fw.ruleList[0], disabledBlock);
    EXPECT_EQ(fw.ruleList[1], before[1]);
    EXPECT_EQ(fw.ruleList[2], before[2]);
    EXPECT_EQ(fw.ruleList[3], hearthpad_firewall_rule(kProgram));
    EXPECT_FALSE(fw.ruleList[4].enabled);
    EXPECT_EQ(fw.ruleList[5], before[5]);
    EXPECT_EQ(fw.ruleList[6], before[6]);
    const std::vector<FakeFirewall::Change> expected = {
        {Kind::Disable, 0, {}}, {Kind::Replace, 3, hearthpad_firewall_rule(kProgram)}, {Kind::Disable, 4, {}}};
    EXPECT_EQ(fw.changes, expected);

    // Again: nothing left to change.
    fw.changes.clear();
    EXPECT_EQ(run_allow_firewall(fw, kProgram), AllowFirewallExit::Done);
    EXPECT_TRUE(fw.changes.empty());
    EXPECT_EQ(enabled_allow_rules(fw.ruleList, kProgram), 1u);
}

TEST(AllowFirewall, AddsTheRuleWhenThereIsNoneAndOnlyOnce) {
    FakeFirewall fw;
    fw.ruleList.push_back(program_rule(true, kProfileAll, platform::kProtocolAny, kOther));
    ASSERT_TRUE(allow_program_through_firewall(fw, kProgram));
    ASSERT_TRUE(allow_program_through_firewall(fw, kProgram));
    ASSERT_EQ(fw.ruleList.size(), 2u);
    EXPECT_EQ(fw.ruleList[1], hearthpad_firewall_rule(kProgram));
    EXPECT_EQ(fw.changes, (std::vector<FakeFirewall::Change>{{Kind::Add, 0, hearthpad_firewall_rule(kProgram)}}));
    EXPECT_EQ(enabled_allow_rules(fw.ruleList, kProgram), 1u);
}

TEST(AllowFirewall, KeepsAnAllowRuleThatIsAlreadyRight) {
    FakeFirewall fw;
    fw.ruleList.push_back(program_rule(true, kProfileAll));
    fw.ruleList.push_back(hearthpad_firewall_rule(kProgram));
    EXPECT_EQ(run_allow_firewall(fw, kProgram), AllowFirewallExit::Done);
    EXPECT_EQ(fw.changes, (std::vector<FakeFirewall::Change>{{Kind::Disable, 0, {}}}));
    EXPECT_EQ(fw.ruleList[1], hearthpad_firewall_rule(kProgram));
}

TEST(AllowFirewall, EachFailureHasItsOwnExitCodeAndChangesNothingFirst) {
    struct Case {
        const char* name;
        void (*spoil)(FakeFirewall&);
        AllowFirewallExit exit;
        std::size_t changesAsked;
    };
    const Case cases[] = {
        {"managed elsewhere", [](FakeFirewall& fw) { fw.managed = true; }, AllowFirewallExit::ManagedElsewhere, 0},
        {"rules unreadable", [](FakeFirewall& fw) { fw.failRules = true; }, AllowFirewallExit::CannotRead, 0},
        {"change refused", [](FakeFirewall& fw) { fw.refuseChanges = true; }, AllowFirewallExit::Refused, 1},
    };
    std::set<std::uint32_t> codes{static_cast<std::uint32_t>(AllowFirewallExit::Done), 1};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFirewall fw = lived_in_firewall();
        const auto before = fw.ruleList;
        c.spoil(fw);
        EXPECT_EQ(run_allow_firewall(fw, kProgram), c.exit);
        EXPECT_EQ(fw.changes.size(), c.changesAsked);
        EXPECT_EQ(fw.ruleList, before);
        EXPECT_TRUE(codes.insert(static_cast<std::uint32_t>(c.exit)).second) << "code shared";

        FakeFirewall again = lived_in_firewall();
        c.spoil(again);
        const Status status = allow_program_through_firewall(again, kProgram);
        ASSERT_FALSE(status);
        EXPECT_FALSE(status.error().text.empty());
    }
}

TEST(AllowFirewall, OutcomeTexts) {
    using platform::ElevatedOutcome;
    const auto code = [](AllowFirewallExit e) { return ElevatedOutcome{false, static_cast<std::uint32_t>(e)}; };
    struct Case {
        Result<ElevatedOutcome> outcome;
        const char* text;
        bool succeeded;
    };
    const Case cases[] = {
        {code(AllowFirewallExit::Done), "Hearthpad is now allowed through the firewall on private networks.", true},
        {ElevatedOutcome{true, 0}, "Permission was not given, so the firewall was not changed.", false},
        {code(AllowFirewallExit::CannotRead), "Could not read the firewall's rules, so nothing was changed.", false},
        {code(AllowFirewallExit::ManagedElsewhere),
         "The firewall is managed by your organization, so nothing was changed.", false},
        {code(AllowFirewallExit::Refused), "The firewall refused the change.", false},
        {ElevatedOutcome{false, 1}, "The firewall change ended unexpectedly (code 1).", false},
        {fail("The file was not found."), "Could not ask Windows for permission: The file was not found.", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(allow_firewall_outcome_text(c.outcome), c.text);
        EXPECT_EQ(allow_firewall_succeeded(c.outcome), c.succeeded) << c.text;
    }
}

}  // namespace
}  // namespace hp::connection_check
