#pragma once
// The operating-system services the host core uses, handed to it as one
// object (start-up options). The programs make the real one for their
// system; tests hand in a fake.
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include "base/ip_address.h"
#include "base/result.h"
#include "platform/data_protection.h"
#include "platform/sas_system.h"

namespace hp::platform {

// A socket handle of the system (SOCKET on Windows, a descriptor elsewhere),
// created with the host's options, not yet bound; the runtime adopts it.
using NativeSocket = std::uintptr_t;

// How an adapter reaches the network, for choosing the address a phone can
// reach: Ethernet and Wi-Fi are physical; VPN tunnels and PPP links are
// tunnels; virtual switches and everything else are other.
enum class AdapterKind { Physical, Other, Tunnel };

// One address of one network adapter, with what the system says of that
// adapter.
struct InterfaceAddress {
    IpAddress address;
    bool up = true;             // the adapter is up (and, on Linux, running)
    bool hasGateway = false;    // the adapter has a default gateway (route)
    std::uint32_t metric = 0;   // the adapter's (or its default route's) metric; lower is preferred
    AdapterKind kind = AdapterKind::Other;
    std::string adapterId;      // Windows: the adapter's GUID "{...}"; Linux: the interface name
    std::string adapterName;    // for people: "Wi-Fi", "Ethernet", "eth0"
    friend bool operator==(const InterfaceAddress&, const InterfaceAddress&) = default;
};

struct ReceivedDatagram {
    std::size_t size = 0;  // above the buffer's capacity when it did not fit
    IpAddress from;
    std::uint16_t port = 0;
};

class System {
public:
    virtual ~System() = default;

    // --- environment and clock ----------------------------------------------
    // The variable's value when it is set and valid Unicode, as UTF-8.
    virtual std::optional<std::string> env(const char* name) const = 0;
    // The name the machine gives itself, when the system has one to ask for.
    virtual std::optional<std::string> machine_name() const = 0;
    // Current time in 100-ns units since 1601-01-01 UTC, from the most
    // precise clock available.
    virtual std::uint64_t filetime_now() const = 0;
    // "laptop" when a system battery is reported, else "desktop".
    virtual std::string device_type() const = 0;

    // --- process ------------------------------------------------------------
    // The 1 ms system timer resolution (nothing where it does not exist).
    virtual void time_begin_period() = 0;
    virtual void time_end_period() = 0;
    // Hands the process's working set back to the system; failures ignored.
    virtual void trim_working_set() = 0;

    // --- network ------------------------------------------------------------
    // Every address of every network adapter, down ones included (marked),
    // with its adapter's gateway, metric and kind; nothing when the
    // enumeration itself fails.
    virtual std::optional<std::vector<InterfaceAddress>> interface_addresses() const = 0;
    // A TCP socket for a listener: never inherited by child processes; on
    // Linux with SO_REUSEADDR (which there only lets a new listener take a
    // port whose old connections linger in TIME_WAIT), on Windows without it
    // (where it would let another program take the port over).
    virtual Result<NativeSocket> create_tcp_listener(bool v6) = 0;
    // A UDP socket, never inherited by child processes.
    virtual Result<NativeSocket> create_udp_socket(bool v6) = 0;
    virtual void close_socket(NativeSocket socket) = 0;
    // Reads, without waiting, the datagrams that are ready on a UDP socket:
    // at most out.size(), the i-th into buffers + i * capacity. A datagram
    // that did not fit reports a size above capacity. Returns how many were
    // read; in one system call where the system has one (recvmmsg).
    virtual std::size_t receive_ready(NativeSocket socket, std::uint8_t* buffers, std::size_t capacity,
                                      std::span<ReceivedDatagram> out) = 0;
    // The system's own description of a socket error, as UTF-8.
    virtual std::string error_text(const std::error_code& error) const = 0;

    // --- other seams ----------------------------------------------------------
    virtual DataProtection& data_protection() = 0;
    virtual std::shared_ptr<SasSystem> sas() = 0;
};

}  // namespace hp::platform
