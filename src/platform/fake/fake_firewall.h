#pragma once
// A firewall and a network list for tests: the facts are plain values the
// test sets, the rules a list the changes edit in place, and every change is
// recorded. Used from one thread, as the real ones are.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/firewall.h"

namespace hp::fake {

class FakeFirewall : public platform::Firewall {
public:
    struct Profile {
        std::optional<bool> enabled = true;
        std::optional<bool> blocksAll = false;
    };
    struct Change {
        enum class Kind { Disable, Replace, Add };
        Kind kind = Kind::Disable;
        std::size_t index = 0;        // Disable, Replace
        platform::FirewallRule rule;  // Replace, Add
        friend bool operator==(const Change&, const Change&) = default;
    };

    std::optional<bool> enabled(unsigned profile) override;
    std::optional<bool> blocks_all_inbound(unsigned profile) override;
    std::optional<bool> managed_elsewhere() override { return managed; }
    Result<std::vector<platform::FirewallRule>> rules() override;
    Status disable_rule(std::size_t index) override;
    Status replace_rule(std::size_t index, const platform::FirewallRule& rule) override;
    Status add_rule(const platform::FirewallRule& rule) override;

    // What the test sets. A profile bit missing from the map is unknown.
    std::map<unsigned, Profile> profiles{{platform::kProfileDomain, {}},
                                         {platform::kProfilePrivate, {}},
                                         {platform::kProfilePublic, {}}};
    std::optional<bool> managed = false;
    std::vector<platform::FirewallRule> ruleList;  // changes edit it in place; adds go to the end
    bool failRules = false;      // rules() fails
    bool refuseChanges = false;  // every change fails and changes nothing

    // What was asked, in order (refused changes included).
    std::vector<Change> changes;
    int rulesReads = 0;
};

class FakeNetworkList : public platform::NetworkList {
public:
    std::optional<std::map<std::string, platform::NetworkCategory>> categories() override { return known; }
    std::optional<std::map<std::string, platform::NetworkCategory>> known;  // nothing: cannot be read
};

}  // namespace hp::fake
