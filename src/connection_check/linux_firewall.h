#pragma once
// The firewall of a Linux PC as the connection check sees it: firewalld
// (asked with firewall-cmd) or ufw (asked with `ufw status verbose`, which
// answers only administrators), or neither. Every fact comes from a helper
// program run through the process runner by its full path, so the facts can
// be told from recorded outputs; a fact a program did not give is unknown,
// never good news.
//
// The fix, run as root through pkexec (this program with
// kAllowFirewallArgument): firewalld gets the "hearthpad" service added
// permanently to the zone of each network the phones come from, then
// reloads; ufw gets its "Hearthpad" application profile allowed. Without
// the service file or profile (a copy not installed from the package) the
// ports are opened instead.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "connection_check/allow_firewall.h"
#include "platform/process_runner.h"

namespace hp::connection_check {

inline constexpr std::string_view kFirewallCmd = "/usr/bin/firewall-cmd";
inline constexpr std::string_view kUfw = "/usr/sbin/ufw";
// The names the package gives the firewalld service and the ufw profile.
inline constexpr std::string_view kFirewalldService = "hearthpad";
inline constexpr std::string_view kUfwProfile = "Hearthpad";
// Multicast DNS, where the announcement to phones is heard.
inline constexpr std::uint16_t kMdnsPort = 5353;

enum class LinuxFirewallKind { None, Firewalld, Ufw };

// Whether a firewall lets in what phones send: the host's ports (every port
// it may listen on, TCP and UDP) and the announcement's (5353/udp).
struct LinuxAllowance {
    std::optional<bool> host;
    std::optional<bool> mdns;
    friend bool operator==(const LinuxAllowance&, const LinuxAllowance&) = default;
};

// The firewalld zone one network interface is in.
struct LinuxZone {
    std::string interfaceName;
    std::optional<std::string> zone;  // nothing: unknown
    LinuxAllowance allows;            // what the zone lets in
    friend bool operator==(const LinuxZone&, const LinuxZone&) = default;
};

struct LinuxFirewallFacts {
    std::optional<LinuxFirewallKind> active;  // the firewall that is on; nothing: unknown
    // firewalld: one entry per interface the phones come in on, and its
    // panic mode (every packet dropped, allowed services too).
    std::vector<LinuxZone> zones;
    std::optional<bool> panic;
    // ufw: what its rules and default policy let in.
    LinuxAllowance ufw;
    // ufw is installed but would not say whether it is on (it answers only
    // administrators): the reason `active` is unknown.
    bool ufwNeedsAdministrator = false;
    friend bool operator==(const LinuxFirewallFacts&, const LinuxFirewallFacts&) = default;
};

// Asks firewalld, then (when firewalld is not running) ufw. `interfaces`:
// the interfaces phones come in on, in preferred order.
LinuxFirewallFacts gather_linux_firewall(platform::ProcessRunner& runner, const std::vector<std::string>& interfaces);

// The fix, run as root: Done (also when no firewall is on, as there is
// nothing to change), CannotRead when it could not tell which firewall is
// on, Refused when a change failed. `why` says what went wrong.
AllowFirewallExit allow_through_linux_firewall(platform::ProcessRunner& runner,
                                               const std::vector<std::string>& interfaces, std::string& why);

// Readers of the helper programs' outputs (exposed for their tests).
// `firewall-cmd --zone=<z> --list-all`: what the zone lets in; nothing when
// the output is not a zone's listing.
std::optional<LinuxAllowance> parse_firewalld_zone(std::string_view listing);
// `ufw status verbose` as root: whether ufw is on, and when it is, what its
// rules (first match wins) and default incoming policy let in. Nothing when
// the output is not ufw's status.
struct UfwStatus {
    bool active = false;
    LinuxAllowance allows;
};
std::optional<UfwStatus> parse_ufw_status(std::string_view status);

}  // namespace hp::connection_check
