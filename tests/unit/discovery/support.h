#pragma once
// Small builders shared by the discovery tests.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "base/ip_address.h"
#include "discovery/scan.h"
#include "platform/system.h"

namespace hp::discovery::test {

inline IpAddress ip(const char* text) {
    auto a = IpAddress::parse(text);
    EXPECT_TRUE(a) << text;
    return a.value_or(IpAddress{});
}

inline std::vector<IpAddress> ips(std::initializer_list<const char*> texts) {
    std::vector<IpAddress> out;
    for (const char* t : texts) out.push_back(ip(t));
    return out;
}

inline std::vector<std::string> texts(const std::vector<IpAddress>& v) {
    std::vector<std::string> out;
    for (const auto& a : v) out.push_back(a.to_string());
    return out;
}

// Each address on an adapter that is up, without a gateway (what the fake
// system reports for set_interfaces).
inline std::vector<platform::InterfaceAddress> plain_interfaces(const std::vector<IpAddress>& addresses) {
    std::vector<platform::InterfaceAddress> out;
    for (const auto& a : addresses) {
        platform::InterfaceAddress entry;
        entry.address = a;
        entry.adapterId = entry.adapterName = "fake0";
        out.push_back(entry);
    }
    return out;
}

// One address of an adapter with the given facts.
inline platform::InterfaceAddress on_adapter(const char* address, const char* adapter, bool gateway,
                                             std::uint32_t metric = 0,
                                             platform::AdapterKind kind = platform::AdapterKind::Physical,
                                             bool up = true) {
    platform::InterfaceAddress entry;
    entry.address = ip(address);
    entry.up = up;
    entry.hasGateway = gateway;
    entry.metric = metric;
    entry.kind = kind;
    entry.adapterId = entry.adapterName = adapter;
    return entry;
}

// What a scan gives when the interfaces report these addresses (adapters up,
// without a gateway).
inline LocalAddresses scan_of(std::initializer_list<const char*> reported) {
    return classify_addresses(plain_interfaces(ips(reported)));
}

}  // namespace hp::discovery::test
