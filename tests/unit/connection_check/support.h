#pragma once
// Facts of a PC whose phones can reach it, for tests to spoil one at a time.
#include <string>

#include "connection_check/findings.h"

namespace hp::connection_check::test {

inline constexpr const char* kProgram = "C:\\Program Files\\Hearthpad\\hearthpad.exe";

inline platform::InterfaceAddress adapter_address(const char* ip, bool gateway, const char* id, const char* name,
                                                  platform::AdapterKind kind = platform::AdapterKind::Physical) {
    platform::InterfaceAddress a;
    a.address = *IpAddress::parse(ip);
    a.hasGateway = gateway;
    a.kind = kind;
    a.adapterId = id;
    a.adapterName = name;
    return a;
}

inline platform::FirewallRule program_rule(bool allow, unsigned profiles, int protocol = platform::kProtocolAny,
                                           std::string program = kProgram) {
    platform::FirewallRule r;
    r.name = allow ? "Hearthpad" : "hearthpad.exe";
    r.applicationName = std::move(program);
    r.allow = allow;
    r.profiles = profiles;
    r.protocol = protocol;
    return r;
}

// Wi-Fi with a router on a private network, the firewall on with an allow
// rule for private and domain networks, the advertisement registered.
inline ConnectionFacts healthy_facts() {
    ConnectionFacts f;
    f.lan = {adapter_address("192.168.1.20", true, "{wifi}", "Wi-Fi")};
    f.networks = {{"{wifi}", "Wi-Fi", platform::NetworkCategory::Private}};
    for (auto& p : f.firewall.profiles) p = {true, false};
    f.firewall.managedElsewhere = false;
    f.firewall.programRules = std::vector{
        program_rule(true, platform::kProfilePrivate | platform::kProfileDomain)};
    f.advert = discovery::AdvertState::Registered;
    f.port = 49182;
    return f;
}

}  // namespace hp::connection_check::test
