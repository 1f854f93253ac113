#include "platform/interfaces.h"

#include <ifaddrs.h>
#include <netinet/in.h>

#include <cstring>

namespace hp::platform {

std::optional<std::vector<IpAddress>> interface_addresses() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return std::nullopt;
    std::vector<IpAddress> out;
    for (ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr) continue;
        if (i->ifa_addr->sa_family == AF_INET) {
            sockaddr_in sin{};
            std::memcpy(&sin, i->ifa_addr, sizeof sin);
            const auto* b = reinterpret_cast<const std::uint8_t*>(&sin.sin_addr);
            out.push_back(IpAddress::v4(b[0], b[1], b[2], b[3]));
        } else if (i->ifa_addr->sa_family == AF_INET6) {
            sockaddr_in6 sin6{};
            std::memcpy(&sin6, i->ifa_addr, sizeof sin6);
            std::array<std::uint8_t, 16> o{};
            std::memcpy(o.data(), &sin6.sin6_addr, 16);
            out.push_back(IpAddress::v6(o));
        }
    }
    freeifaddrs(list);
    return out;
}

}  // namespace hp::platform
