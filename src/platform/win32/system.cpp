#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <windows.h>
#include <timeapi.h>

#include <asio/error.hpp>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "base/atomic_file.h"
#include "platform/win32/text.h"
#include "platform/win32/win32_system.h"

namespace hp::platform {

namespace {

// The runtime's socket layer starts Winsock too; this keeps our own calls
// independent of the order in which things are created.
class WinsockStartup {
public:
    WinsockStartup() {
        WSADATA data;
        ok_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockStartup() {
        if (ok_) WSACleanup();
    }
    WinsockStartup(const WinsockStartup&) = delete;
    WinsockStartup& operator=(const WinsockStartup&) = delete;

private:
    bool ok_ = false;
};

// Ethernet and Wi-Fi are physical; tunnels, PPP links and proprietary
// virtual adapters (most VPN clients' own) are tunnels; the rest (loopback,
// ...) other. Hyper-V's virtual switches (WSL's among them) report
// themselves as Ethernet: they have no gateway, which puts them after.
AdapterKind kind_of_if_type(IFTYPE type) {
    switch (type) {
        case IF_TYPE_ETHERNET_CSMACD:  // 6
        case IF_TYPE_IEEE80211:        // 71
            return AdapterKind::Physical;
        case IF_TYPE_TUNNEL:        // 131
        case IF_TYPE_PPP:           // 23
        case IF_TYPE_PROP_VIRTUAL:  // 53
            return AdapterKind::Tunnel;
        default: return AdapterKind::Other;
    }
}

// Sockets are never inherited: a process the host starts (PowerShell,
// schtasks.exe) must not keep the host's port open.
Result<NativeSocket> new_socket(int family, int type, int protocol) {
    const SOCKET s = WSASocketW(family, type, protocol, nullptr, 0,
                                WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) return fail(os_error_text(static_cast<unsigned long>(WSAGetLastError())));
    return static_cast<NativeSocket>(s);
}

class Win32System final : public System {
public:
    Win32System() : protection_(make_dpapi_protection()), sas_(make_win32_sas_system()) {}

    std::optional<std::string> env(const char* name) const override {
        const auto wide_name = win32::to_wide(name ? name : "");
        if (!wide_name || wide_name->empty()) return std::nullopt;
        std::wstring value(256, L'\0');
        for (;;) {
            SetLastError(ERROR_SUCCESS);
            const DWORD n = GetEnvironmentVariableW(wide_name->c_str(), value.data(),
                                                    static_cast<DWORD>(value.size()));
            if (n == 0) {
                // Zero is both "not set" and "set to the empty string".
                if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
                return std::string{};
            }
            if (n < value.size()) {
                value.resize(n);
                break;
            }
            value.resize(n);  // n counts the terminator when the buffer was too small
        }
        return win32::to_utf8(value);
    }

    // Windows names the machine through COMPUTERNAME, which is read first.
    std::optional<std::string> machine_name() const override { return std::nullopt; }

    std::uint64_t filetime_now() const override {
        FILETIME ft{};
        GetSystemTimePreciseAsFileTime(&ft);
        return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    }

    std::string device_type() const override {
        SYSTEM_POWER_STATUS status{};
        // 128: no system battery; 255: battery status unknown.
        if (GetSystemPowerStatus(&status) && status.BatteryFlag != 128 && status.BatteryFlag != 255)
            return "laptop";
        return "desktop";
    }

    void time_begin_period() override { timeBeginPeriod(1); }
    void time_end_period() override { timeEndPeriod(1); }
    void trim_working_set() override {
        SetProcessWorkingSetSize(GetCurrentProcess(), static_cast<SIZE_T>(-1), static_cast<SIZE_T>(-1));
    }

    // Adapters that are down come too, marked (up: OperStatus is
    // IfOperStatusUp). With each address its adapter's gateway (any default
    // gateway of the adapter), its interface metric for the address's family
    // and its kind from the interface type.
    std::optional<std::vector<InterfaceAddress>> interface_addresses() const override {
        ULONG size = 16 * 1024;
        std::vector<unsigned char> buffer;
        ULONG rc = ERROR_BUFFER_OVERFLOW;
        for (int attempt = 0; attempt < 3 && rc == ERROR_BUFFER_OVERFLOW; ++attempt) {
            buffer.resize(size);
            rc = GetAdaptersAddresses(AF_UNSPEC,
                                      GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER |
                                          GAA_FLAG_INCLUDE_GATEWAYS,
                                      nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
        }
        if (rc != NO_ERROR) return std::nullopt;
        std::vector<InterfaceAddress> out;
        for (auto* a = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); a; a = a->Next) {
            const bool up = a->OperStatus == IfOperStatusUp;
            const bool gateway = a->FirstGatewayAddress != nullptr;
            const AdapterKind kind = kind_of_if_type(a->IfType);
            const std::string id = a->AdapterName ? a->AdapterName : "";
            std::string name;
            if (a->FriendlyName) name = win32::to_utf8(a->FriendlyName).value_or(std::string{});
            for (auto* u = a->FirstUnicastAddress; u; u = u->Next) {
                const sockaddr* sa = u->Address.lpSockaddr;
                if (!sa) continue;
                InterfaceAddress entry;
                if (sa->sa_family == AF_INET) {
                    sockaddr_in sin{};
                    std::memcpy(&sin, sa, sizeof sin);
                    const auto* b = reinterpret_cast<const std::uint8_t*>(&sin.sin_addr);
                    entry.address = IpAddress::v4(b[0], b[1], b[2], b[3]);
                    entry.metric = a->Ipv4Metric;
                } else if (sa->sa_family == AF_INET6) {
                    sockaddr_in6 sin6{};
                    std::memcpy(&sin6, sa, sizeof sin6);
                    std::array<std::uint8_t, 16> o{};
                    std::memcpy(o.data(), &sin6.sin6_addr, 16);
                    entry.address = IpAddress::v6(o);
                    entry.metric = a->Ipv6Metric;
                } else {
                    continue;
                }
                entry.up = up;
                entry.hasGateway = gateway;
                entry.kind = kind;
                entry.adapterId = id;
                entry.adapterName = name;
                out.push_back(std::move(entry));
            }
        }
        return out;
    }

    // The system's defaults: no SO_REUSEADDR (which on Windows would let
    // another program bind the same port) and no exclusive-address flag.
    Result<NativeSocket> create_tcp_listener(bool v6) override {
        return new_socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM, IPPROTO_TCP);
    }

    Result<NativeSocket> create_udp_socket(bool v6) override {
        return new_socket(v6 ? AF_INET6 : AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    }

    void close_socket(NativeSocket socket) override { closesocket(static_cast<SOCKET>(socket)); }

    // Windows has no batch receive: non-blocking receives until none is left.
    std::size_t receive_ready(NativeSocket socket, std::uint8_t* buffers, std::size_t capacity,
                              std::span<ReceivedDatagram> out) override {
        std::size_t got = 0;
        while (got < out.size()) {
            sockaddr_storage sender{};
            int senderSize = sizeof sender;
            const int n = recvfrom(static_cast<SOCKET>(socket), reinterpret_cast<char*>(buffers + got * capacity),
                                   static_cast<int>(capacity), 0, reinterpret_cast<sockaddr*>(&sender), &senderSize);
            ReceivedDatagram& d = out[got];
            if (n == SOCKET_ERROR) {
                const int error = WSAGetLastError();
                if (error != WSAEMSGSIZE) break;  // nothing left (or an error the next wait sees)
                d.size = capacity + 1;
            } else {
                d.size = static_cast<std::size_t>(n);
            }
            if (sender.ss_family == AF_INET) {
                sockaddr_in sin{};
                std::memcpy(&sin, &sender, sizeof sin);
                const auto* b = reinterpret_cast<const std::uint8_t*>(&sin.sin_addr);
                d.from = IpAddress::v4(b[0], b[1], b[2], b[3]);
                d.port = ntohs(sin.sin_port);
            } else if (sender.ss_family == AF_INET6) {
                sockaddr_in6 sin6{};
                std::memcpy(&sin6, &sender, sizeof sin6);
                std::array<std::uint8_t, 16> o{};
                std::memcpy(o.data(), &sin6.sin6_addr, 16);
                d.from = IpAddress::v6(o);
                d.port = ntohs(sin6.sin6_port);
            }
            ++got;
        }
        return got;
    }

    // Socket errors carry Windows error codes; their text comes from the
    // system in the user's language, converted from UTF-16 (the runtime's
    // own text would be in the ANSI code page).
    std::string error_text(const std::error_code& error) const override {
        if (error.category() == asio::error::get_system_category() || error.category() == std::system_category())
            return os_error_text(static_cast<unsigned long>(error.value()));
        return error.message();
    }

    DataProtection& data_protection() override { return *protection_; }
    std::shared_ptr<SasSystem> sas() override { return sas_; }

private:
    WinsockStartup winsock_;
    std::unique_ptr<DataProtection> protection_;
    std::shared_ptr<SasSystem> sas_;
};

}  // namespace

std::shared_ptr<System> make_win32_system() { return std::make_shared<Win32System>(); }

}  // namespace hp::platform
