#include "connection_check/gather.h"

#include <algorithm>

#include "connection_check/allow_firewall.h"
#include "discovery/scan.h"

namespace hp::connection_check {

FirewallFacts gather_firewall(platform::Firewall& firewall, std::string_view programPath) {
    FirewallFacts facts;
    for (const unsigned p : {platform::kProfileDomain, platform::kProfilePrivate, platform::kProfilePublic}) {
        facts.profile(p).enabled = firewall.enabled(p);
        facts.profile(p).blocksAll = firewall.blocks_all_inbound(p);
    }
    facts.managedElsewhere = firewall.managed_elsewhere();
    if (auto rules = firewall.rules()) {
        std::vector<platform::FirewallRule> ours;
        for (auto& rule : *rules)
            if (rule.inbound && !rule.applicationName.empty() && same_program(rule.applicationName, programPath))
                ours.push_back(std::move(rule));
        facts.programRules = std::move(ours);
    }
    return facts;
}

ConnectionFacts gather_facts(const platform::System& system, platform::Firewall* firewall,
                             platform::NetworkList* networks, discovery::AdvertState advert, std::uint16_t port,
                             std::string_view programPath) {
    ConnectionFacts facts;
    facts.advert = advert;
    facts.port = port;

    bool listed = false;
    discovery::LocalAddresses scan = discovery::scan_local_addresses([&] {
        auto all = system.interface_addresses();
        listed = all.has_value();
        return all;
    });
    facts.addressesKnown = listed;
    facts.lan = std::move(scan.lanInterfaces);

    const auto categories = networks ? networks->categories() : std::nullopt;
    for (const auto& address : facts.lan) {
        const auto seen = [&](const AdapterNetwork& n) { return n.adapterId == address.adapterId; };
        if (std::any_of(facts.networks.begin(), facts.networks.end(), seen)) continue;
        AdapterNetwork network{address.adapterId, address.adapterName, std::nullopt};
        if (categories) {
            const auto it = categories->find(address.adapterId);
            if (it != categories->end()) network.category = it->second;
        }
        facts.networks.push_back(std::move(network));
    }

    if (firewall) facts.firewall = gather_firewall(*firewall, programPath);
    return facts;
}

}  // namespace hp::connection_check
