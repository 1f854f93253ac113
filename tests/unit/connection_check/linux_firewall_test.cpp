// The connection check on Linux: firewalld's and ufw's facts read from what
// firewall-cmd and ufw printed on real systems (recorded below), the
// findings they give, and the fix run as root.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "connection_check/check_window_model.h"
#include "connection_check/gather.h"
#include "connection_check/linux_firewall.h"
#include "platform/fake/fake_system.h"
#include "support.h"

namespace hp::connection_check {
namespace {

using test::adapter_address;

// --- recorded outputs ----------------------------------------------------------------

constexpr const char* kPublicZone = R"(public (active)
  target: default
  icmp-block-inversion: no
  interfaces: wlan0
  sources: 
  services: dhcpv6-client ssh
  ports: 
  protocols: 
  forward: yes
  masquerade: no
  forward-ports: 
  source-ports: 
  icmp-blocks: 
  rich rules: 
)";

std::string zone_with(const std::string& services, const std::string& ports, const std::string& target = "default") {
    return "home (active)\n  target: " + target + "\n  icmp-block-inversion: no\n  interfaces: wlan0\n  sources: \n"
           "  services: " + services + "\n  ports: " + ports + "\n  protocols: \n  forward: yes\n"
           "  masquerade: no\n  rich rules: \n";
}

std::string ufw_status(const std::string& defaults, const std::string& rules) {
    return "Status: active\nLogging: on (low)\nDefault: " + defaults +
           "\nNew profiles: skip\n\nTo                         Action      From\n"
           "--                         ------      ----\n" + rules;
}
const std::string kUfwDefaults = "deny (incoming), allow (outgoing), disabled (routed)";
const std::string kUfwProfileRules =
    "22/tcp                     ALLOW IN    Anywhere\n"
    "Hearthpad                  ALLOW IN    Anywhere\n"
    "22/tcp (v6)                ALLOW IN    Anywhere (v6)\n"
    "Hearthpad (v6)             ALLOW IN    Anywhere (v6)\n";

// --- a runner answering by command line ----------------------------------------------------

class RecordedRunner : public platform::ProcessRunner {
public:
    // `command`: the program and its arguments joined by spaces.
    void answer(const std::string& command, int exitCode, std::string output = {}) {
        answers_[command] = platform::ProcessOutcome{exitCode, std::move(output), false};
    }
    void missing(std::string program) { missing_.insert(std::move(program)); }

    Result<platform::ProcessOutcome> run(const platform::ProcessRequest& request) override {
        std::string command = request.program;
        for (const auto& a : request.args) command += " " + a;
        asked.push_back(command);
        const auto it = answers_.find(command);
        if (it == answers_.end()) return fail(request.program + ": No such file or directory");
        return it->second;
    }
    std::optional<std::string> locate(const platform::ProcessRequest& request) override {
        if (missing_.contains(request.program)) return std::nullopt;
        return request.program;
    }
    std::vector<std::string> asked;

private:
    std::map<std::string, platform::ProcessOutcome> answers_;
    std::set<std::string> missing_;
};

const std::string kCmd = std::string(kFirewallCmd);
const std::string kUfwCmd = std::string(kUfw);

void firewalld_running(RecordedRunner& r, const std::string& zoneListing, int panicExit = 1) {
    r.answer(kCmd + " --state", 0, "running\n");
    r.answer(kCmd + " --get-zone-of-interface=wlan0", 0, "home\n");
    r.answer(kCmd + " --zone=home --list-all", 0, zoneListing);
    r.answer(kCmd + " --query-panic", panicExit, panicExit == 0 ? "yes\n" : "no\n");
}
void firewalld_missing(RecordedRunner& r) { r.missing(kCmd); }
void firewalld_stopped(RecordedRunner& r) { r.answer(kCmd + " --state", 252, "not running\n"); }

// A laptop on Wi-Fi with a router, and a container bridge without one.
fake::FakeSystem& laptop(fake::FakeSystem& system) {
    system.set_interface_addresses(std::vector{adapter_address("172.17.0.1", false, "docker0", "docker0"),
                                               adapter_address("192.168.1.20", true, "wlan0", "wlan0")});
    return system;
}

struct Expected {
    FindingState kind, program, blockAll;
    FindingFix fix = FindingFix::None;
};

TEST(LinuxFirewall, FindingsFromRecordedOutputs) {
    struct Case {
        const char* name;
        std::function<void(RecordedRunner&)> system;
        std::optional<LinuxFirewallKind> active;
        Expected expected;
        const char* programText;  // part of firewall_program's text
    };
    using S = FindingState;
    const Case cases[] = {
        {"firewalld, zone without Hearthpad", [](RecordedRunner& r) { firewalld_running(r, kPublicZone); },
         LinuxFirewallKind::Firewalld, {S::Ok, S::Problem, S::Ok, FindingFix::AllowFirewall},
         "firewalld's zone \"home\" (the network on wlan0) does not let Hearthpad accept connections. Choose Allow… "
         "to add the Hearthpad service to the zone \"home\"."},
        {"firewalld, the Hearthpad service", [](RecordedRunner& r) { firewalld_running(r, zone_with("ssh hearthpad", "")); },
         LinuxFirewallKind::Firewalld, {S::Ok, S::Ok, S::Ok}, "firewalld lets Hearthpad accept connections in the zone \"home\"."},
        {"firewalld, the ports and mdns",
         [](RecordedRunner& r) { firewalld_running(r, zone_with("mdns", "49182-49190/tcp 49191-49192/tcp 49182-49192/udp")); },
         LinuxFirewallKind::Firewalld, {S::Ok, S::Ok, S::Ok}, "lets Hearthpad accept connections"},
        {"firewalld, the ports without mDNS",
         [](RecordedRunner& r) { firewalld_running(r, zone_with("ssh", "49182-49192/tcp 49182-49192/udp")); },
         LinuxFirewallKind::Firewalld, {S::Ok, S::Problem, S::Ok, FindingFix::AllowFirewall},
         "but keeps out the announcement to phones (mDNS)"},
        {"firewalld, TCP only", [](RecordedRunner& r) { firewalld_running(r, zone_with("mdns", "49182-49192/tcp")); },
         LinuxFirewallKind::Firewalld, {S::Ok, S::Problem, S::Ok, FindingFix::AllowFirewall}, "does not let Hearthpad"},
        {"firewalld, one port short",
         [](RecordedRunner& r) { firewalld_running(r, zone_with("mdns", "49182-49191/tcp 49182-49192/udp")); },
         LinuxFirewallKind::Firewalld, {S::Ok, S::Problem, S::Ok, FindingFix::AllowFirewall}, "does not let Hearthpad"},
        {"firewalld, trusted zone", [](RecordedRunner& r) { firewalld_running(r, zone_with("", "", "ACCEPT")); },
         LinuxFirewallKind::Firewalld, {S::Ok, S::Ok, S::Ok}, "lets Hearthpad accept connections"},
        {"firewalld, panic mode", [](RecordedRunner& r) { firewalld_running(r, zone_with("hearthpad", ""), 0); },
         LinuxFirewallKind::Firewalld, {S::Ok, S::Ok, S::Problem}, "lets Hearthpad"},
        {"firewalld, interface in no zone: the default zone",
         [](RecordedRunner& r) {
             firewalld_running(r, zone_with("hearthpad", ""));
             r.answer(kCmd + " --get-zone-of-interface=wlan0", 2, "no zone\n");
             r.answer(kCmd + " --get-default-zone", 0, "home\n");
         },
         LinuxFirewallKind::Firewalld, {S::Ok, S::Ok, S::Ok}, "in the zone \"home\""},
        {"firewalld, zone unreadable",
         [](RecordedRunner& r) {
             firewalld_running(r, kPublicZone);
             r.answer(kCmd + " --zone=home --list-all", 112, "");
         },
         LinuxFirewallKind::Firewalld, {S::Ok, S::Unknown, S::Ok}, "Could not find out whether firewalld lets"},
        {"firewalld, zone of the interface unknown",
         [](RecordedRunner& r) {
             firewalld_running(r, kPublicZone);
             r.answer(kCmd + " --get-zone-of-interface=wlan0", 13, "");
         },
         LinuxFirewallKind::Firewalld, {S::Unknown, S::Unknown, S::Ok}, "Could not find out"},
        {"firewalld, garbled listing",
         [](RecordedRunner& r) { firewalld_running(r, zone_with("hearthpad", "49182-/tcp")); },
         LinuxFirewallKind::Firewalld, {S::Ok, S::Unknown, S::Ok}, "Could not find out"},
        {"firewalld answers nothing clear",
         [](RecordedRunner& r) { r.answer(kCmd + " --state", 1, ""); },
         std::nullopt, {S::Unknown, S::Unknown, S::Unknown}, "Could not find out whether the firewall"},
        {"firewall-cmd cannot be started", [](RecordedRunner&) {}, std::nullopt,
         {S::Unknown, S::Unknown, S::Unknown}, "Could not find out"},
        {"neither installed",
         [](RecordedRunner& r) {
             firewalld_missing(r);
             r.missing(kUfwCmd);
         },
         LinuxFirewallKind::None, {S::Ok, S::Ok, S::Ok}, "With neither firewalld nor ufw on"},
        {"firewalld stopped, ufw inactive",
         [](RecordedRunner& r) {
             firewalld_stopped(r);
             r.answer(kUfwCmd + " status verbose", 0, "Status: inactive\n");
         },
         LinuxFirewallKind::None, {S::Ok, S::Ok, S::Ok}, "With neither"},
        {"ufw refuses a user",
         [](RecordedRunner& r) {
             firewalld_missing(r);
             r.answer(kUfwCmd + " status verbose", 1, "");
         },
         std::nullopt, {S::Unknown, S::Unknown, S::Ok}, "sudo ufw allow Hearthpad"},
        {"ufw, the Hearthpad profile",
         [](RecordedRunner& r) {
             firewalld_missing(r);
             r.answer(kUfwCmd + " status verbose", 0, ufw_status(kUfwDefaults, kUfwProfileRules));
         },
         LinuxFirewallKind::Ufw, {S::Ok, S::Ok, S::Ok}, "ufw lets Hearthpad accept connections."},
        {"ufw without a rule",
         [](RecordedRunner& r) {
             firewalld_stopped(r);
             r.answer(kUfwCmd + " status verbose", 0, ufw_status(kUfwDefaults, "22/tcp  ALLOW IN  Anywhere\n"));
         },
         LinuxFirewallKind::Ufw, {S::Ok, S::Problem, S::Ok, FindingFix::AllowFirewall},
         "ufw does not let Hearthpad accept connections. Choose Allow… to allow ufw's Hearthpad profile."},
        {"ufw, a deny rule before the allow rule",
         [](RecordedRunner& r) {
             firewalld_missing(r);
             r.answer(kUfwCmd + " status verbose", 0,
                      ufw_status(kUfwDefaults, "49190/udp                  DENY IN     Anywhere\n" + kUfwProfileRules));
         },
         LinuxFirewallKind::Ufw, {S::Ok, S::Problem, S::Ok, FindingFix::AllowFirewall}, "does not let"},
        {"ufw, ports on an interface, no mDNS",
         [](RecordedRunner& r) {
             firewalld_missing(r);
             r.answer(kUfwCmd + " status verbose", 0,
                      ufw_status(kUfwDefaults, "49182:49192/tcp on wlan0   ALLOW IN    Anywhere\n"
                                               "49182:49192/udp on wlan0   ALLOW IN    Anywhere\n"));
         },
         LinuxFirewallKind::Ufw, {S::Ok, S::Problem, S::Ok, FindingFix::AllowFirewall}, "(mDNS)"},
        {"ufw allows everything from the LAN",
         [](RecordedRunner& r) {
             firewalld_missing(r);
             r.answer(kUfwCmd + " status verbose", 0,
                      ufw_status(kUfwDefaults, "Anywhere                   ALLOW IN    192.168.1.0/24\n"));
         },
         LinuxFirewallKind::Ufw, {S::Ok, S::Ok, S::Ok}, "ufw lets Hearthpad"},
        {"ufw allows by default",
         [](RecordedRunner& r) {
             firewalld_missing(r);
             r.answer(kUfwCmd + " status verbose", 0,
                      ufw_status("allow (incoming), allow (outgoing), disabled (routed)", ""));
         },
         LinuxFirewallKind::Ufw, {S::Ok, S::Ok, S::Ok}, "ufw lets Hearthpad"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordedRunner runner;
        c.system(runner);
        fake::FakeSystem system;
        const ConnectionFacts facts =
            gather_linux_facts(laptop(system), runner, discovery::AdvertState::Registered, 49182);
        ASSERT_TRUE(facts.linuxFirewall);
        EXPECT_EQ(facts.linuxFirewall->active, c.active);
        for (const auto& command : runner.asked) EXPECT_TRUE(command.starts_with("/usr/")) << command;

        const auto findings = evaluate(facts);
        ASSERT_EQ(findings.size(), kFindingIds.size());
        for (std::size_t i = 0; i < findings.size(); ++i) EXPECT_EQ(findings[i].id, kFindingIds[i]);
        EXPECT_EQ(findings[0].state, FindingState::Ok) << findings[0].text;  // the address, as on Windows
        EXPECT_EQ(findings[2].state, c.expected.kind) << findings[2].text;
        EXPECT_EQ(findings[3].state, c.expected.program) << findings[3].text;
        EXPECT_EQ(findings[3].fix, c.expected.fix);
        EXPECT_NE(findings[3].text.find(c.programText), std::string::npos) << findings[3].text;
        EXPECT_EQ(findings[4].state, c.expected.blockAll) << findings[4].text;
        for (const Finding& f : findings) EXPECT_EQ(f.text.find("Windows"), std::string::npos) << f.text;
    }
}

// Only the interface with the router decides the zone: the container
// bridge beside it is never asked about.
TEST(LinuxFirewall, AsksAboutTheInterfacesThatDecide) {
    RecordedRunner runner;
    firewalld_running(runner, zone_with("hearthpad", ""));
    fake::FakeSystem system;
    const auto facts = gather_linux_facts(laptop(system), runner, discovery::AdvertState::Registered, 49182);
    EXPECT_EQ(facts.linuxFirewall->zones,
              (std::vector<LinuxZone>{{"wlan0", "home", LinuxAllowance{true, true}}}));
    EXPECT_EQ(runner.asked, (std::vector<std::string>{kCmd + " --state", kCmd + " --get-zone-of-interface=wlan0",
                                                      kCmd + " --zone=home --list-all", kCmd + " --query-panic"}));

    // Without a LAN address nothing about zones can be said.
    system.set_interface_addresses(std::vector<platform::InterfaceAddress>{});
    const auto findings = evaluate(gather_linux_facts(system, runner, discovery::AdvertState::NoAddress, 49182));
    EXPECT_EQ(findings[2].text, "Not checked: this PC has no local network address.");
    EXPECT_EQ(findings[3].state, FindingState::Unknown);
}

TEST(LinuxFirewall, TheFixAsRoot) {
    struct Case {
        const char* name;
        std::function<void(RecordedRunner&)> system;
        AllowFirewallExit exit;
        std::vector<std::string> changes;  // the commands that change something, in order
    };
    const std::string addService = kCmd + " --permanent --zone=home --add-service=hearthpad";
    const std::string addPorts = kCmd +
                                 " --permanent --zone=home --add-port=49182-49192/tcp --add-port=49182-49192/udp "
                                 "--add-service=mdns";
    const std::string reload = kCmd + " --reload";
    const std::string ufwActive = ufw_status(kUfwDefaults, "22/tcp  ALLOW IN  Anywhere\n");
    const Case cases[] = {
        {"firewalld: the service, then a reload",
         [&](RecordedRunner& r) {
             firewalld_running(r, kPublicZone);
             r.answer(addService, 0, "success\n");
             r.answer(reload, 0, "success\n");
         },
         AllowFirewallExit::Done, {addService, reload}},
        {"firewalld without the service file: the ports",
         [&](RecordedRunner& r) {
             firewalld_running(r, kPublicZone);
             r.answer(addService, 101, "");
             r.answer(addPorts, 0, "success\n");
             r.answer(reload, 0, "success\n");
         },
         AllowFirewallExit::Done, {addService, addPorts, reload}},
        {"firewalld refuses",
         [&](RecordedRunner& r) {
             firewalld_running(r, kPublicZone);
             r.answer(addService, 126, "");
         },
         AllowFirewallExit::Refused, {addService}},
        {"the reload fails",
         [&](RecordedRunner& r) {
             firewalld_running(r, kPublicZone);
             r.answer(addService, 0, "success\n");
             r.answer(reload, 1, "");
         },
         AllowFirewallExit::Refused, {addService, reload}},
        {"zone unknown", [&](RecordedRunner& r) { r.answer(kCmd + " --state", 0, "running\n"); },
         AllowFirewallExit::CannotRead, {}},
        {"firewall-cmd says nothing clear", [&](RecordedRunner& r) { r.answer(kCmd + " --state", 1, ""); },
         AllowFirewallExit::CannotRead, {}},
        {"ufw: the profile",
         [&](RecordedRunner& r) {
             firewalld_missing(r);
             r.answer(kUfwCmd + " status verbose", 0, ufwActive);
             r.answer(kUfwCmd + " app info Hearthpad", 0, "Profile: Hearthpad\n");
             r.answer(kUfwCmd + " allow Hearthpad", 0, "Rule added\nRule added (v6)\n");
         },
         AllowFirewallExit::Done, {kUfwCmd + " allow Hearthpad"}},
        {"ufw without the profile: the ports",
         [&](RecordedRunner& r) {
             firewalld_stopped(r);
             r.answer(kUfwCmd + " status verbose", 0, ufwActive);
             r.answer(kUfwCmd + " app info Hearthpad", 1, "");
             for (const char* p : {"49182:49192/tcp", "49182:49192/udp", "5353/udp"})
                 r.answer(kUfwCmd + " allow " + p, 0, "Rule added\n");
         },
         AllowFirewallExit::Done,
         {kUfwCmd + " allow 49182:49192/tcp", kUfwCmd + " allow 49182:49192/udp", kUfwCmd + " allow 5353/udp"}},
        {"ufw refuses",
         [&](RecordedRunner& r) {
             firewalld_missing(r);
             r.answer(kUfwCmd + " status verbose", 0, ufwActive);
             r.answer(kUfwCmd + " app info Hearthpad", 0, "Profile: Hearthpad\n");
             r.answer(kUfwCmd + " allow Hearthpad", 1, "");
         },
         AllowFirewallExit::Refused, {kUfwCmd + " allow Hearthpad"}},
        {"ufw status unreadable",
         [&](RecordedRunner& r) {
             firewalld_missing(r);
             r.answer(kUfwCmd + " status verbose", 1, "");
         },
         AllowFirewallExit::CannotRead, {}},
        {"ufw inactive: nothing to change",
         [&](RecordedRunner& r) {
             firewalld_missing(r);
             r.answer(kUfwCmd + " status verbose", 0, "Status: inactive\n");
         },
         AllowFirewallExit::Done, {}},
        {"neither installed",
         [&](RecordedRunner& r) {
             firewalld_missing(r);
             r.missing(kUfwCmd);
         },
         AllowFirewallExit::Done, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordedRunner runner;
        c.system(runner);
        fake::FakeSystem system;
        std::string why;
        EXPECT_EQ(allow_through_linux_firewall(runner, deciding_interfaces(laptop(system)), why), c.exit);
        EXPECT_EQ(why.empty(), c.exit == AllowFirewallExit::Done) << why;
        std::vector<std::string> changes;
        for (const auto& command : runner.asked)
            if (command.find("--permanent") != std::string::npos || command.find("--reload") != std::string::npos ||
                command.starts_with(kUfwCmd + " allow"))
                changes.push_back(command);
        EXPECT_EQ(changes, c.changes);
    }
}

// After the fix the same recorded system, now with the service in its
// zone, checks clean: the window's round trip on Linux words.
TEST(LinuxFirewall, WindowRoundTrip) {
    RecordedRunner runner;
    firewalld_running(runner, kPublicZone);
    fake::FakeSystem system;
    laptop(system);
    CheckWindowModel model(CheckSystem::Linux);
    model.show_findings(evaluate(gather_linux_facts(system, runner, discovery::AdvertState::Registered, 49182)));
    ASSERT_EQ(model.click(row_fix_id(3)), CheckAction::AllowFirewall);
    EXPECT_EQ(model.status(), "Asking for permission…");

    runner.answer(kCmd + " --permanent --zone=home --add-service=hearthpad", 0, "success\n");
    runner.answer(kCmd + " --reload", 0, "success\n");
    std::string why;
    const auto exit = allow_through_linux_firewall(runner, deciding_interfaces(system), why);
    runner.answer(kCmd + " --zone=home --list-all", 0, zone_with("dhcpv6-client hearthpad ssh", ""));
    ASSERT_EQ(model.fix_finished(platform::ElevatedOutcome{false, static_cast<std::uint32_t>(exit)}),
              CheckAction::RunCheck);
    model.show_findings(evaluate(gather_linux_facts(system, runner, discovery::AdvertState::Registered, 49182)));
    EXPECT_EQ(model.status(), "Hearthpad is now allowed through the firewall.");
    EXPECT_EQ(model.findings()[3].state, FindingState::Ok);

    EXPECT_EQ(model.fix_finished(platform::ElevatedOutcome{true, 126}), CheckAction::None);
    EXPECT_EQ(model.status(), "Permission was not given, so the firewall was not changed.");
    model.fix_finished(fail("/usr/bin/pkexec: No such file or directory"));
    EXPECT_EQ(model.status(), "Could not ask for permission: /usr/bin/pkexec: No such file or directory");
    model.fix_finished(platform::ElevatedOutcome{false, static_cast<std::uint32_t>(AllowFirewallExit::CannotRead)});
    EXPECT_EQ(model.status(), "Could not find out which firewall is on, so nothing was changed.");
}

}  // namespace
}  // namespace hp::connection_check
