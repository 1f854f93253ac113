#include "platform/fake/fake_firewall.h"

namespace hp::fake {

std::optional<bool> FakeFirewall::enabled(unsigned profile) {
    const auto it = profiles.find(profile);
    return it == profiles.end() ? std::nullopt : it->second.enabled;
}

std::optional<bool> FakeFirewall::blocks_all_inbound(unsigned profile) {
    const auto it = profiles.find(profile);
    return it == profiles.end() ? std::nullopt : it->second.blocksAll;
}

Result<std::vector<platform::FirewallRule>> FakeFirewall::rules() {
    ++rulesReads;
    if (failRules) return fail("the rules could not be read");
    return ruleList;
}

Status FakeFirewall::disable_rule(std::size_t index) {
    changes.push_back({Change::Kind::Disable, index, {}});
    if (refuseChanges) return fail("access is denied");
    if (index >= ruleList.size()) return fail("no rule " + std::to_string(index));
    ruleList[index].enabled = false;
    return {};
}

Status FakeFirewall::replace_rule(std::size_t index, const platform::FirewallRule& rule) {
    changes.push_back({Change::Kind::Replace, index, rule});
    if (refuseChanges) return fail("access is denied");
    if (index >= ruleList.size()) return fail("no rule " + std::to_string(index));
    ruleList[index] = rule;
    return {};
}

Status FakeFirewall::add_rule(const platform::FirewallRule& rule) {
    changes.push_back({Change::Kind::Add, 0, rule});
    if (refuseChanges) return fail("access is denied");
    ruleList.push_back(rule);
    return {};
}

}  // namespace hp::fake
