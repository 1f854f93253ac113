#pragma once
// Tailscale information for the snapshot: reading the status document, the
// schedule of queries, and how the cached answer feeds the address lists.
// Pure functions; the queries themselves are in tailscale_query.h.
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/ip_address.h"

namespace hp::discovery {

struct TailscaleInfo {
    std::vector<IpAddress> selfIps;        // in the document's order, Tailscale ranges only
    std::optional<std::string> dnsName;    // MagicDNS name without trailing dots
    std::vector<IpAddress> peerIps;        // every peer's Tailscale addresses, sorted, unique
    friend bool operator==(const TailscaleInfo&, const TailscaleInfo&) = default;
};

// Reads "Self" {"DNSName", "TailscaleIPs"} and "Peer" {<any key>: {"TailscaleIPs"}}
// and ignores every other member. A missing or null member counts as empty;
// a member of another type, or bytes that are not a JSON object, give nothing.
// Texts that are not addresses in the Tailscale ranges are dropped.
std::optional<TailscaleInfo> parse_tailscale_status(std::string_view bytes);

using SteadyTime = std::chrono::steady_clock::time_point;

// When to ask, and the last answer. Owned by the discovery task.
struct TailscaleSchedule {
    std::optional<SteadyTime> lastQueryAt;
    std::vector<IpAddress> previousRange;  // the previous cycle's Tailscale-range list
    std::optional<TailscaleInfo> cache;
};

inline constexpr std::chrono::seconds kQueryIntervalWithRange{30};
inline constexpr std::chrono::seconds kQueryIntervalWithoutRange{60};

// Whether this cycle queries: first time, a changed Tailscale-range list, or
// 30 s (60 s without a Tailscale-range address) since the last query. Then
// remembers `current` as the previous list.
bool tailscale_query_due(TailscaleSchedule& schedule, const std::vector<IpAddress>& current, SteadyTime now);
// A finished query: its outcome replaces the cache (nothing clears it).
void store_tailscale_outcome(TailscaleSchedule& schedule, std::optional<TailscaleInfo> outcome,
                             SteadyTime now);

// The snapshot's `tailscale` list: `current`, then each cached self address
// not already in it.
std::vector<IpAddress> tailscale_addresses(const std::vector<IpAddress>& current,
                                           const std::optional<TailscaleInfo>& cache);

// The local API request, byte for byte.
inline constexpr std::string_view kLocalApiRequest =
    "GET /localapi/v0/status HTTP/1.0\r\n"
    "Host: local-tailscaled.sock\r\n"
    "Sec-Tailscale: localapi\r\n"
    "Connection: close\r\n"
    "\r\n";
static_assert(kLocalApiRequest.size() == 109);

// The body of a local API response that counts: it has a blank line, begins
// with "HTTP/1." and its head holds "200". Nothing otherwise.
std::optional<std::string_view> local_api_body(std::string_view response);

}  // namespace hp::discovery
