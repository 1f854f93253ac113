#include "connection_check/allow_firewall.h"

#include <optional>

#include "input/unicode_case.h"

namespace hp::connection_check {

namespace {

std::string folded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();)
        input::unicode::append_lowercase(out, input::unicode::next_code_point(text, pos));
    return out;
}

bool ours(const platform::FirewallRule& rule, std::string_view programPath) {
    return rule.inbound && !rule.applicationName.empty() && same_program(rule.applicationName, programPath);
}

AllowFirewallExit apply(platform::Firewall& firewall, std::string_view programPath, std::string& why) {
    if (firewall.managed_elsewhere() == true) {
        why = "the firewall is managed by Group Policy";
        return AllowFirewallExit::ManagedElsewhere;
    }
    auto rules = firewall.rules();
    if (!rules) {
        why = "the firewall's rules could not be read: " + rules.error().text;
        return AllowFirewallExit::CannotRead;
    }
    const platform::FirewallRule wanted = hearthpad_firewall_rule(std::string(programPath));
    // The allow rule to keep: one that is already right, else the first.
    std::optional<std::size_t> keep;
    for (std::size_t i = 0; i < rules->size(); ++i) {
        const platform::FirewallRule& rule = (*rules)[i];
        if (!ours(rule, programPath) || !rule.allow) continue;
        if (rule == wanted) {
            keep = i;
            break;
        }
        if (!keep) keep = i;
    }
    const auto refused = [&](const Status& s) {
        if (s) return false;
        why = "the firewall refused a change: " + s.error().text;
        return true;
    };
    // Changes keep the indexes of the list read; a new rule comes last.
    for (std::size_t i = 0; i < rules->size(); ++i) {
        const platform::FirewallRule& rule = (*rules)[i];
        if (!ours(rule, programPath)) continue;
        if (i == keep) {
            if (rule != wanted && refused(firewall.replace_rule(i, wanted))) return AllowFirewallExit::Refused;
        } else if (rule.enabled && refused(firewall.disable_rule(i))) {
            return AllowFirewallExit::Refused;
        }
    }
    if (!keep && refused(firewall.add_rule(wanted))) return AllowFirewallExit::Refused;
    return AllowFirewallExit::Done;
}

}  // namespace

platform::FirewallRule hearthpad_firewall_rule(std::string programPath) {
    platform::FirewallRule rule;
    rule.name = std::string(kFirewallRuleName);
    rule.description = "Lets paired phones connect to Hearthpad on private and work networks.";
    rule.applicationName = std::move(programPath);
    rule.inbound = true;
    rule.allow = true;
    rule.enabled = true;
    rule.profiles = platform::kProfilePrivate | platform::kProfileDomain;
    // No limit of scope: phones come from any address (Tailscale's too), to
    // whichever port the host got, over any kind of adapter.
    rule.protocol = platform::kProtocolAny;
    rule.remoteAddresses = "*";
    rule.localPorts = "*";
    rule.interfaceTypes = "All";
    return rule;
}

bool same_program(std::string_view a, std::string_view b) { return a == b || folded(a) == folded(b); }

AllowFirewallExit run_allow_firewall(platform::Firewall& firewall, std::string_view programPath) {
    std::string why;
    return apply(firewall, programPath, why);
}

Status allow_program_through_firewall(platform::Firewall& firewall, std::string_view programPath) {
    std::string why;
    if (apply(firewall, programPath, why) != AllowFirewallExit::Done) return fail(why);
    return {};
}

bool allow_firewall_succeeded(const Result<platform::ElevatedOutcome>& outcome) {
    return outcome && !outcome->declined && outcome->exitCode == static_cast<std::uint32_t>(AllowFirewallExit::Done);
}

std::string allow_firewall_outcome_text(const Result<platform::ElevatedOutcome>& outcome,
                                        const text_catalogue::Catalogue& texts, CheckSystem system) {
    const bool onLinux = system == CheckSystem::Linux;
    if (!outcome)
        return onLinux ? "Could not ask for permission: " + outcome.error().text
                       : texts.tr("Could not ask Windows for permission: {0}", {outcome.error().text});
    if (outcome->declined) return std::string(texts.tr("Permission was not given, so the firewall was not changed."));
    switch (static_cast<AllowFirewallExit>(outcome->exitCode)) {
        case AllowFirewallExit::Done:
            return onLinux ? std::string("Hearthpad is now allowed through the firewall.")
                           : std::string(texts.tr("Hearthpad is now allowed through the firewall on private networks."));
        case AllowFirewallExit::CannotRead:
            return onLinux ? std::string("Could not find out which firewall is on, so nothing was changed.")
                           : std::string(texts.tr("Could not read the firewall's rules, so nothing was changed."));
        case AllowFirewallExit::ManagedElsewhere:
            return std::string(texts.tr("The firewall is managed by your organization, so nothing was changed."));
        case AllowFirewallExit::Refused: return std::string(texts.tr("The firewall refused the change."));
    }
    return texts.tr("The firewall change ended unexpectedly (code {0}).", {std::to_string(outcome->exitCode)});
}

}  // namespace hp::connection_check
