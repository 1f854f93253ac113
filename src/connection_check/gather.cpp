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

namespace {

// The addresses and, for each adapter with a LAN address, its network with
// no category yet.
ConnectionFacts gather_addresses(const platform::System& system, discovery::AdvertState advert, std::uint16_t port) {
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
    for (const auto& address : facts.lan) {
        const auto seen = [&](const AdapterNetwork& n) { return n.adapterId == address.adapterId; };
        if (std::any_of(facts.networks.begin(), facts.networks.end(), seen)) continue;
        facts.networks.push_back(AdapterNetwork{address.adapterId, address.adapterName, std::nullopt});
    }
    return facts;
}

std::vector<std::string> interface_names(const ConnectionFacts& facts) {
    std::vector<std::string> names;
    for (const AdapterNetwork& n : deciding_networks(facts)) names.push_back(n.adapterId);
    return names;
}

}  // namespace

ConnectionFacts gather_facts(const platform::System& system, platform::Firewall* firewall,
                             platform::NetworkList* networks, discovery::AdvertState advert, std::uint16_t port,
                             std::string_view programPath) {
    ConnectionFacts facts = gather_addresses(system, advert, port);
    const auto categories = networks ? networks->categories() : std::nullopt;
    if (categories) {
        for (AdapterNetwork& network : facts.networks) {
            const auto it = categories->find(network.adapterId);
            if (it != categories->end()) network.category = it->second;
        }
    }
    if (firewall) facts.firewall = gather_firewall(*firewall, programPath);
    return facts;
}

ConnectionFacts gather_linux_facts(const platform::System& system, platform::ProcessRunner& runner,
                                   discovery::AdvertState advert, std::uint16_t port) {
    ConnectionFacts facts = gather_addresses(system, advert, port);
    facts.linuxFirewall = gather_linux_firewall(runner, interface_names(facts));
    return facts;
}

std::vector<std::string> deciding_interfaces(const platform::System& system) {
    return interface_names(gather_addresses(system, discovery::AdvertState::Off, 0));
}

}  // namespace hp::connection_check
