#include "platform/interfaces.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <cstring>
#include <vector>

namespace hp::platform {

std::optional<std::vector<IpAddress>> interface_addresses() {
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer;
    ULONG rc = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 3 && rc == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        rc = GetAdaptersAddresses(AF_UNSPEC,
                                  GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST |
                                      GAA_FLAG_SKIP_DNS_SERVER,
                                  nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()),
                                  &size);
    }
    if (rc != NO_ERROR) return std::nullopt;
    std::vector<IpAddress> out;
    for (auto* a = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); a; a = a->Next) {
        for (auto* u = a->FirstUnicastAddress; u; u = u->Next) {
            const sockaddr* sa = u->Address.lpSockaddr;
            if (!sa) continue;
            if (sa->sa_family == AF_INET) {
                sockaddr_in sin{};
                std::memcpy(&sin, sa, sizeof sin);
                const auto* b = reinterpret_cast<const std::uint8_t*>(&sin.sin_addr);
                out.push_back(IpAddress::v4(b[0], b[1], b[2], b[3]));
            } else if (sa->sa_family == AF_INET6) {
                sockaddr_in6 sin6{};
                std::memcpy(&sin6, sa, sizeof sin6);
                std::array<std::uint8_t, 16> o{};
                std::memcpy(o.data(), &sin6.sin6_addr, 16);
                out.push_back(IpAddress::v6(o));
            }
        }
    }
    return out;
}

}  // namespace hp::platform
