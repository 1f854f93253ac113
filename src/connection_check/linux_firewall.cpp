#include "connection_check/linux_firewall.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <utility>

#include "connection_check/rule_scope.h"

namespace hp::connection_check {

namespace {

using Range = std::pair<unsigned, unsigned>;

// Ports by protocol, as lists of ranges.
struct PortSet {
    std::vector<Range> tcp, udp;
    bool has(bool udpProtocol, unsigned port) const {
        const auto& ranges = udpProtocol ? udp : tcp;
        return std::any_of(ranges.begin(), ranges.end(),
                           [&](const Range& r) { return r.first <= port && port <= r.second; });
    }
};

std::string_view trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(" \t\r\n");
    return s.substr(first, last - first + 1);
}

std::vector<std::string_view> lines_of(std::string_view text) {
    std::vector<std::string_view> out;
    while (!text.empty()) {
        const auto nl = text.find('\n');
        out.push_back(text.substr(0, nl));
        if (nl == std::string_view::npos) break;
        text.remove_prefix(nl + 1);
    }
    return out;
}

std::vector<std::string_view> words_of(std::string_view text) {
    std::vector<std::string_view> out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto start = text.find_first_not_of(" \t", pos);
        if (start == std::string_view::npos) break;
        const auto end = std::min(text.find_first_of(" \t", start), text.size());
        out.push_back(text.substr(start, end - start));
        pos = end;
    }
    return out;
}

std::optional<unsigned> port_number(std::string_view s) {
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size() || value == 0 || value > 65535) return std::nullopt;
    return value;
}

// "49182", "49182-49192" (firewalld) or "49182:49192" (ufw).
std::optional<Range> port_range(std::string_view s) {
    const auto dash = s.find_first_of("-:");
    if (dash == std::string_view::npos) {
        const auto p = port_number(s);
        if (!p) return std::nullopt;
        return Range{*p, *p};
    }
    const auto lo = port_number(s.substr(0, dash)), hi = port_number(s.substr(dash + 1));
    if (!lo || !hi || *lo > *hi) return std::nullopt;
    return Range{*lo, *hi};
}

// Adds "<ports>/<protocol>" (ports a comma-separated list of ports and
// ranges; no protocol: both) to `set`. False when it is no such port entry.
bool add_port_entry(std::string_view entry, PortSet& set) {
    const auto slash = entry.find('/');
    const std::string_view ports = entry.substr(0, slash);
    const std::string_view protocol = slash == std::string_view::npos ? "" : entry.substr(slash + 1);
    if (protocol != "" && protocol != "tcp" && protocol != "udp") return false;
    PortSet parsed;
    std::size_t pos = 0;
    while (pos <= ports.size()) {
        const auto comma = std::min(ports.find(',', pos), ports.size());
        const auto range = port_range(ports.substr(pos, comma - pos));
        if (!range) return false;
        if (protocol != "udp") parsed.tcp.push_back(*range);
        if (protocol != "tcp") parsed.udp.push_back(*range);
        pos = comma + 1;
    }
    set.tcp.insert(set.tcp.end(), parsed.tcp.begin(), parsed.tcp.end());
    set.udp.insert(set.udp.end(), parsed.udp.begin(), parsed.udp.end());
    return true;
}

// What phones send: every port the host may listen on, over TCP and UDP.
template <class Allows>
std::optional<bool> host_ports(Allows allows) {
    std::optional<bool> all = true;
    for (unsigned port = kHostFirstPort; port <= kHostLastPort; ++port)
        for (const bool udp : {false, true}) {
            const std::optional<bool> one = allows(udp, port);
            if (one == false) return false;
            if (!one) all = std::nullopt;
        }
    return all;
}

// --- running the helpers -----------------------------------------------------------

struct Ran {
    enum class Kind { Exited, Missing, Failed } kind = Kind::Failed;
    int exitCode = -1;
    std::string output;
};

Ran run(platform::ProcessRunner& runner, std::string_view program, std::vector<std::string> args) {
    platform::ProcessRequest request;
    request.program = std::string(program);
    request.args = std::move(args);
    // firewall-cmd --reload rebuilds every rule set; give it time.
    request.timeLimit = std::chrono::seconds(60);
    request.outputLimit = 1u << 20;
    auto outcome = runner.run(request);
    if (!outcome) return {runner.locate(request) ? Ran::Kind::Failed : Ran::Kind::Missing, -1, {}};
    if (outcome->truncated) return {Ran::Kind::Failed, -1, {}};
    return {Ran::Kind::Exited, outcome->exitCode, std::move(outcome->output)};
}

Ran firewall_cmd(platform::ProcessRunner& runner, std::vector<std::string> args) {
    return run(runner, kFirewallCmd, std::move(args));
}

// firewall-cmd's exit code when firewalld is not running (NOT_RUNNING), and
// when a service is unknown to it (INVALID_SERVICE).
constexpr int kFirewalldNotRunning = 252;
constexpr int kFirewalldInvalidService = 101;

// Whether firewalld runs; nothing when firewall-cmd gave no clear answer.
// Not installed counts as not running.
std::optional<bool> firewalld_running(platform::ProcessRunner& runner) {
    const Ran state = firewall_cmd(runner, {"--state"});
    if (state.kind == Ran::Kind::Missing) return false;
    if (state.kind != Ran::Kind::Exited) return std::nullopt;
    if (state.exitCode == 0 && trim(state.output) == "running") return true;
    if (state.exitCode == kFirewalldNotRunning) return false;
    return std::nullopt;
}

// The zone each interface is in: the zone it is bound to, or firewalld's
// default zone for one bound to none.
class ZoneFinder {
public:
    explicit ZoneFinder(platform::ProcessRunner& runner) : runner_(runner) {}

    std::optional<std::string> zone_of(const std::string& interfaceName) {
        const Ran ran = firewall_cmd(runner_, {"--get-zone-of-interface=" + interfaceName});
        if (ran.kind != Ran::Kind::Exited) return std::nullopt;
        const std::string_view zone = trim(ran.output);
        if (zone == "no zone") return default_zone();
        if (ran.exitCode != 0 || !valid_zone_name(zone)) return std::nullopt;
        return std::string(zone);
    }

    std::optional<std::string> default_zone() {
        if (!defaultAsked_) {
            defaultAsked_ = true;
            const Ran ran = firewall_cmd(runner_, {"--get-default-zone"});
            const std::string_view zone = trim(ran.output);
            if (ran.kind == Ran::Kind::Exited && ran.exitCode == 0 && valid_zone_name(zone))
                default_ = std::string(zone);
        }
        return default_;
    }

private:
    static bool valid_zone_name(std::string_view zone) {
        return !zone.empty() && zone.find_first_of(" \t\n") == std::string_view::npos;
    }
    platform::ProcessRunner& runner_;
    bool defaultAsked_ = false;
    std::optional<std::string> default_;
};

constexpr int kUfwRefusedCode = 1;

}  // namespace

std::optional<LinuxAllowance> parse_firewalld_zone(std::string_view listing) {
    bool sawTarget = false, acceptAll = false, sawServices = false, sawPorts = false;
    std::vector<std::string_view> services;
    PortSet ports;
    for (const std::string_view raw : lines_of(listing)) {
        const std::string_view line = trim(raw);
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string_view key = line.substr(0, colon), value = trim(line.substr(colon + 1));
        if (key == "target") {
            sawTarget = true;
            acceptAll = value == "ACCEPT";
        } else if (key == "services") {
            sawServices = true;
            services = words_of(value);
        } else if (key == "ports") {
            sawPorts = true;
            for (const std::string_view entry : words_of(value))
                if (!add_port_entry(entry, ports)) return std::nullopt;
        }
    }
    if (!sawTarget || !sawServices || !sawPorts) return std::nullopt;
    const auto service = [&](std::string_view name) {
        return std::find(services.begin(), services.end(), name) != services.end();
    };
    const bool ours = service(kFirewalldService);
    LinuxAllowance allows;
    allows.host = acceptAll || ours || *host_ports([&](bool udp, unsigned port) -> std::optional<bool> {
        return ports.has(udp, port);
    });
    allows.mdns = acceptAll || ours || service("mdns") || ports.has(true, kMdnsPort);
    return allows;
}

std::optional<UfwStatus> parse_ufw_status(std::string_view status) {
    struct Rule {
        bool allow = false;
        bool anyPort = false;
        PortSet ports;
    };
    std::optional<bool> active;
    std::optional<bool> defaultAllows;  // the default incoming policy
    std::vector<Rule> rules;
    bool inTable = false;
    for (const std::string_view raw : lines_of(status)) {
        const std::string_view line = trim(raw);
        if (line.starts_with("Status:")) {
            const std::string_view value = trim(line.substr(7));
            if (value == "active") active = true;
            else if (value == "inactive") active = false;
            continue;
        }
        if (line.starts_with("Default:")) {
            // "Default: deny (incoming), allow (outgoing), disabled (routed)"
            const auto incoming = line.find("(incoming)");
            if (incoming != std::string_view::npos) {
                const auto words = words_of(line.substr(8, incoming - 8));
                if (!words.empty()) defaultAllows = words.back() == "allow";
            }
            continue;
        }
        if (line.starts_with("--")) {
            inTable = true;
            continue;
        }
        if (!inTable || line.empty()) continue;
        // "To    Action    From", the columns at least two spaces apart; the
        // action "ALLOW", "ALLOW IN", "DENY IN", "LIMIT IN", "REJECT OUT", ...
        const auto words = words_of(line);
        auto action = std::find_if(words.begin(), words.end(), [](std::string_view w) {
            return w == "ALLOW" || w == "DENY" || w == "REJECT" || w == "LIMIT";
        });
        if (action == words.end()) continue;
        const auto direction = std::next(action);
        if (direction != words.end() && (*direction == "OUT" || *direction == "FWD")) continue;
        Rule rule;
        rule.allow = *action == "ALLOW" || *action == "LIMIT";
        // The destination: a port entry, an application profile, "Anywhere"
        // or an address, maybe followed by "(v6)" and "on <interface>".
        std::vector<std::string_view> to(words.begin(), action);
        if (const auto on = std::find(to.begin(), to.end(), "on"); on != to.end()) to.erase(on, to.end());
        std::erase(to, "(v6)");
        bool understood = false;
        for (const std::string_view word : to) {
            if (word == kUfwProfile) {
                rule.ports.tcp.push_back({kHostFirstPort, kHostLastPort});
                rule.ports.udp.push_back({kHostFirstPort, kHostLastPort});
                rule.ports.udp.push_back({kMdnsPort, kMdnsPort});
                understood = true;
            } else if (add_port_entry(word, rule.ports)) {
                understood = true;
            }
        }
        // No port named: the rule is about addresses only, every port.
        if (!understood) {
            const bool addressOnly = std::all_of(to.begin(), to.end(), [](std::string_view w) {
                return w == "Anywhere" || w.find_first_of(".:") != std::string_view::npos;
            });
            if (!addressOnly || to.empty()) continue;  // another application's profile: not ours
            rule.anyPort = true;
        }
        rules.push_back(std::move(rule));
    }
    if (!active) return std::nullopt;
    UfwStatus out;
    out.active = *active;
    if (!out.active) return out;
    // ufw takes the first rule that matches a packet, else the default.
    const auto allows = [&](bool udp, unsigned port) -> std::optional<bool> {
        for (const Rule& r : rules)
            if (r.anyPort || r.ports.has(udp, port)) return r.allow;
        return defaultAllows;
    };
    out.allows.host = host_ports(allows);
    out.allows.mdns = allows(true, kMdnsPort);
    return out;
}

LinuxFirewallFacts gather_linux_firewall(platform::ProcessRunner& runner, const std::vector<std::string>& interfaces) {
    LinuxFirewallFacts facts;
    const std::optional<bool> firewalld = firewalld_running(runner);
    if (!firewalld) return facts;
    if (*firewalld) {
        facts.active = LinuxFirewallKind::Firewalld;
        ZoneFinder finder(runner);
        std::map<std::string, LinuxAllowance> listed;
        for (const std::string& name : interfaces) {
            LinuxZone zone{name, finder.zone_of(name), {}};
            if (zone.zone) {
                auto it = listed.find(*zone.zone);
                if (it == listed.end()) {
                    const Ran ran = firewall_cmd(runner, {"--zone=" + *zone.zone, "--list-all"});
                    std::optional<LinuxAllowance> allows;
                    if (ran.kind == Ran::Kind::Exited && ran.exitCode == 0) allows = parse_firewalld_zone(ran.output);
                    it = listed.emplace(*zone.zone, allows.value_or(LinuxAllowance{})).first;
                }
                zone.allows = it->second;
            }
            facts.zones.push_back(std::move(zone));
        }
        const Ran panic = firewall_cmd(runner, {"--query-panic"});
        if (panic.kind == Ran::Kind::Exited && (panic.exitCode == 0 || panic.exitCode == 1))
            facts.panic = panic.exitCode == 0;
        return facts;
    }

    const Ran ufw = run(runner, kUfw, {"status", "verbose"});
    if (ufw.kind == Ran::Kind::Missing) {
        facts.active = LinuxFirewallKind::None;
        return facts;
    }
    if (ufw.kind != Ran::Kind::Exited) return facts;
    if (ufw.exitCode == kUfwRefusedCode && trim(ufw.output).empty()) {
        // "ERROR: You need to be root to run this script", on standard error.
        facts.ufwNeedsAdministrator = true;
        return facts;
    }
    if (ufw.exitCode != 0) return facts;
    const auto status = parse_ufw_status(ufw.output);
    if (!status) return facts;
    facts.active = status->active ? LinuxFirewallKind::Ufw : LinuxFirewallKind::None;
    facts.ufw = status->allows;
    return facts;
}

AllowFirewallExit allow_through_linux_firewall(platform::ProcessRunner& runner,
                                               const std::vector<std::string>& interfaces, std::string& why) {
    const auto refused = [&](const std::string& what, const Ran& ran) {
        why = what + (ran.kind == Ran::Kind::Exited ? " failed (exit code " + std::to_string(ran.exitCode) + ")"
                                                    : " could not be run");
        return AllowFirewallExit::Refused;
    };
    const std::optional<bool> firewalld = firewalld_running(runner);
    if (!firewalld) {
        why = "firewall-cmd gave no clear answer whether firewalld is running";
        return AllowFirewallExit::CannotRead;
    }
    if (*firewalld) {
        ZoneFinder finder(runner);
        std::vector<std::string> zones;
        for (const std::string& name : interfaces) {
            const auto zone = finder.zone_of(name);
            if (!zone) {
                why = "could not find out which firewalld zone " + name + " is in";
                return AllowFirewallExit::CannotRead;
            }
            if (std::find(zones.begin(), zones.end(), *zone) == zones.end()) zones.push_back(*zone);
        }
        if (zones.empty()) {
            // No network yet: the zone a new one lands in.
            const auto zone = finder.default_zone();
            if (!zone) {
                why = "could not find out firewalld's default zone";
                return AllowFirewallExit::CannotRead;
            }
            zones.push_back(*zone);
        }
        for (const std::string& zone : zones) {
            const Ran added = firewall_cmd(
                runner, {"--permanent", "--zone=" + zone, "--add-service=" + std::string(kFirewalldService)});
            if (added.kind == Ran::Kind::Exited && added.exitCode == 0) continue;
            if (added.kind != Ran::Kind::Exited || added.exitCode != kFirewalldInvalidService)
                return refused("adding the service to the zone " + zone, added);
            // No service file (a copy not installed from the package): the
            // ports themselves, and the mDNS service firewalld ships.
            const std::string range = std::to_string(kHostFirstPort) + "-" + std::to_string(kHostLastPort);
            const Ran ports = firewall_cmd(runner, {"--permanent", "--zone=" + zone, "--add-port=" + range + "/tcp",
                                                    "--add-port=" + range + "/udp", "--add-service=mdns"});
            if (ports.kind != Ran::Kind::Exited || ports.exitCode != 0)
                return refused("opening the ports in the zone " + zone, ports);
        }
        const Ran reload = firewall_cmd(runner, {"--reload"});
        if (reload.kind != Ran::Kind::Exited || reload.exitCode != 0) return refused("reloading firewalld", reload);
        return AllowFirewallExit::Done;
    }

    const Ran ufw = run(runner, kUfw, {"status", "verbose"});
    if (ufw.kind == Ran::Kind::Missing) return AllowFirewallExit::Done;  // no firewall on to change
    const auto status = ufw.kind == Ran::Kind::Exited && ufw.exitCode == 0 ? parse_ufw_status(ufw.output)
                                                                           : std::nullopt;
    if (!status) {
        why = "ufw did not tell its status";
        return AllowFirewallExit::CannotRead;
    }
    if (!status->active) return AllowFirewallExit::Done;
    const Ran profile = run(runner, kUfw, {"app", "info", std::string(kUfwProfile)});
    std::vector<std::vector<std::string>> rules;
    if (profile.kind == Ran::Kind::Exited && profile.exitCode == 0) {
        rules.push_back({"allow", std::string(kUfwProfile)});
    } else {
        const std::string range = std::to_string(kHostFirstPort) + ":" + std::to_string(kHostLastPort);
        rules = {{"allow", range + "/tcp"}, {"allow", range + "/udp"}, {"allow", std::to_string(kMdnsPort) + "/udp"}};
    }
    for (const auto& rule : rules) {
        const Ran added = run(runner, kUfw, rule);
        if (added.kind != Ran::Kind::Exited || added.exitCode != 0) return refused("ufw " + rule[0] + " " + rule[1], added);
    }
    return AllowFirewallExit::Done;
}

}  // namespace hp::connection_check
