#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "base/utf8.h"
#include "platform/posix/posix_system.h"
#include "platform/posix/routes.h"

namespace hp::platform {

namespace {

// The whole file, or nothing when it cannot be read.
std::string read_text(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

AdapterKind kind_of(const std::string& device) {
    if (device.empty() || device.find('/') != std::string::npos) return AdapterKind::Other;
    const std::filesystem::path dir = std::filesystem::path("/sys/class/net") / device;
    std::ifstream typeFile(dir / "type");
    int type = 0;
    if (!(typeFile >> type)) return AdapterKind::Other;
    std::error_code ec;
    const bool bridge = std::filesystem::exists(dir / "bridge", ec);
    const bool device_link = std::filesystem::exists(dir / "device", ec);
    return adapter_kind(type, bridge, device_link);
}

Result<NativeSocket> new_socket(int family, int type, int protocol) {
    const int fd = ::socket(family, type | SOCK_CLOEXEC, protocol);
    if (fd < 0) return fail(std::strerror(errno));
    return static_cast<NativeSocket>(fd);
}

class PosixSystem final : public System {
public:
    PosixSystem()
        : protection_(make_posix_data_protection(default_key_dir())), sas_(make_posix_sas_system()) {}

    std::optional<std::string> env(const char* name) const override {
        const char* v = std::getenv(name);
        if (!v) return std::nullopt;
        std::string s(v);
        if (!is_valid_utf8(s)) return std::nullopt;
        return s;
    }

    std::optional<std::string> machine_name() const override {
        char buf[HOST_NAME_MAX + 1] = {};
        if (::gethostname(buf, sizeof buf - 1) != 0 || buf[0] == '\0') return std::nullopt;
        std::string name(buf);
        if (!is_valid_utf8(name)) return std::nullopt;
        return name;
    }

    std::uint64_t filetime_now() const override {
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        constexpr std::uint64_t kEpochDiff = 116444736000000000ULL;  // 1601 -> 1970 in 100 ns
        if (ts.tv_sec < 0) return 0;
        return kEpochDiff + static_cast<std::uint64_t>(ts.tv_sec) * 10000000ULL +
               static_cast<std::uint64_t>(ts.tv_nsec) / 100;
    }

    std::string device_type() const override {
        // A laptop reports a battery under power_supply.
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator("/sys/class/power_supply", ec)) {
            std::ifstream type(entry.path() / "type");
            std::string t;
            if (type >> t && t == "Battery") return "laptop";
        }
        return "desktop";
    }

    void time_begin_period() override {}
    void time_end_period() override {}
    void trim_working_set() override {}

    // Adapters that are down come too, marked (up needs IFF_UP and
    // IFF_RUNNING: a cable or a link). An adapter has a gateway when it has
    // a default route (main table, either family); an address's metric is
    // that of its own family's default route, else of the other family's.
    // The kind comes from /sys/class/net.
    std::optional<std::vector<InterfaceAddress>> interface_addresses() const override {
        ifaddrs* list = nullptr;
        if (getifaddrs(&list) != 0) return std::nullopt;
        const auto routes4 = default_routes_v4(read_text("/proc/net/route"));
        const auto routes6 = default_routes_v6(read_text("/proc/net/ipv6_route"));
        std::map<std::string, AdapterKind> kinds;
        std::vector<InterfaceAddress> out;
        for (ifaddrs* i = list; i; i = i->ifa_next) {
            if (!i->ifa_addr) continue;
            InterfaceAddress entry;
            if (i->ifa_addr->sa_family == AF_INET) {
                sockaddr_in sin{};
                std::memcpy(&sin, i->ifa_addr, sizeof sin);
                const auto* b = reinterpret_cast<const std::uint8_t*>(&sin.sin_addr);
                entry.address = IpAddress::v4(b[0], b[1], b[2], b[3]);
            } else if (i->ifa_addr->sa_family == AF_INET6) {
                sockaddr_in6 sin6{};
                std::memcpy(&sin6, i->ifa_addr, sizeof sin6);
                std::array<std::uint8_t, 16> o{};
                std::memcpy(o.data(), &sin6.sin6_addr, 16);
                entry.address = IpAddress::v6(o);
            } else {
                continue;
            }
            const std::string device = device_of_label(i->ifa_name ? i->ifa_name : "");
            entry.up = (i->ifa_flags & IFF_UP) != 0 && (i->ifa_flags & IFF_RUNNING) != 0;
            const auto& same_family = entry.address.is_v4() ? routes4 : routes6;
            const auto& other_family = entry.address.is_v4() ? routes6 : routes4;
            for (const auto* routes : {&same_family, &other_family}) {
                const auto route = routes->find(device);
                if (route == routes->end()) continue;
                entry.hasGateway = true;
                entry.metric = route->second;
                break;
            }
            auto kind = kinds.find(device);
            if (kind == kinds.end()) kind = kinds.emplace(device, kind_of(device)).first;
            entry.kind = kind->second;
            entry.adapterId = device;
            entry.adapterName = device;
            out.push_back(std::move(entry));
        }
        freeifaddrs(list);
        return out;
    }

    Result<NativeSocket> create_tcp_listener(bool v6) override {
        auto s = new_socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (!s) return s;
        // Lets a restarted host take its port back while connections of the
        // previous run linger in TIME_WAIT; Linux still refuses a second
        // listener on a port that is in use.
        const int on = 1;
        if (::setsockopt(static_cast<int>(*s), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
            const int err = errno;
            ::close(static_cast<int>(*s));
            return fail(std::strerror(err));
        }
        return s;
    }

    Result<NativeSocket> create_udp_socket(bool v6) override {
        return new_socket(v6 ? AF_INET6 : AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    }

    void close_socket(NativeSocket socket) override { ::close(static_cast<int>(socket)); }

    std::size_t receive_ready(NativeSocket socket, std::uint8_t* buffers, std::size_t capacity,
                              std::span<ReceivedDatagram> out) override {
        constexpr std::size_t kMost = 64;
        const std::size_t n = std::min(out.size(), kMost);
        if (n == 0) return 0;
        std::array<mmsghdr, kMost> messages{};
        std::array<iovec, kMost> vectors{};
        std::array<sockaddr_storage, kMost> senders{};
        for (std::size_t i = 0; i < n; ++i) {
            vectors[i] = iovec{buffers + i * capacity, capacity};
            messages[i].msg_hdr.msg_iov = &vectors[i];
            messages[i].msg_hdr.msg_iovlen = 1;
            messages[i].msg_hdr.msg_name = &senders[i];
            messages[i].msg_hdr.msg_namelen = sizeof(sockaddr_storage);
        }
        int got = 0;
        do {
            got = ::recvmmsg(static_cast<int>(socket), messages.data(), static_cast<unsigned>(n), MSG_DONTWAIT,
                             nullptr);
        } while (got < 0 && errno == EINTR);
        if (got <= 0) return 0;
        for (int i = 0; i < got; ++i) {
            ReceivedDatagram& d = out[static_cast<std::size_t>(i)];
            const bool truncated = (messages[i].msg_hdr.msg_flags & MSG_TRUNC) != 0;
            d.size = truncated ? capacity + 1 : messages[i].msg_len;
            if (senders[i].ss_family == AF_INET) {
                sockaddr_in sin{};
                std::memcpy(&sin, &senders[i], sizeof sin);
                const auto* b = reinterpret_cast<const std::uint8_t*>(&sin.sin_addr);
                d.from = IpAddress::v4(b[0], b[1], b[2], b[3]);
                d.port = ntohs(sin.sin_port);
            } else if (senders[i].ss_family == AF_INET6) {
                sockaddr_in6 sin6{};
                std::memcpy(&sin6, &senders[i], sizeof sin6);
                std::array<std::uint8_t, 16> o{};
                std::memcpy(o.data(), &sin6.sin6_addr, 16);
                d.from = IpAddress::v6(o);
                d.port = ntohs(sin6.sin6_port);
            }
        }
        return static_cast<std::size_t>(got);
    }

    std::string error_text(const std::error_code& error) const override { return error.message(); }

    DataProtection& data_protection() override { return *protection_; }
    std::shared_ptr<SasSystem> sas() override { return sas_; }

private:
    std::unique_ptr<DataProtection> protection_;
    std::shared_ptr<SasSystem> sas_;
};

}  // namespace

std::shared_ptr<System> make_posix_system() { return std::make_shared<PosixSystem>(); }

}  // namespace hp::platform
