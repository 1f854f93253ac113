#pragma once
// Small builders shared by the discovery tests.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "base/ip_address.h"
#include "discovery/scan.h"

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

// What a scan gives when the interfaces report these addresses.
inline LocalAddresses scan_of(std::initializer_list<const char*> reported) {
    return classify_addresses(ips(reported));
}

}  // namespace hp::discovery::test
