#include "discovery/tailscale.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "base/bytes.h"
#include "base/json.h"
#include "discovery/scan.h"

namespace hp::discovery {

namespace {

using nlohmann::json;

// A member read as one of the shapes below: null/missing, or the one type allowed.
const json* member(const json& object, const char* name) {
    const auto it = object.find(name);
    if (it == object.end() || it->is_null()) return nullptr;
    return &*it;
}

// "TailscaleIPs": a list of texts. Texts that are not Tailscale addresses
// are dropped; anything but a list of texts is not the expected shape.
bool read_ips(const json& node, std::vector<IpAddress>& out) {
    const json* ips = member(node, "TailscaleIPs");
    if (!ips) return true;
    if (!ips->is_array()) return false;
    for (const auto& text : *ips) {
        if (!text.is_string()) return false;
        const auto addr = IpAddress::parse(text.get_ref<const std::string&>());
        if (addr && is_tailscale_address(*addr)) out.push_back(*addr);
    }
    return true;
}

}  // namespace

std::optional<TailscaleInfo> parse_tailscale_status(std::string_view bytes) {
    const std::optional<json> parsed = parse_lenient(as_bytes(bytes));
    if (!parsed || !parsed->is_object()) return std::nullopt;
    const json& doc = *parsed;
    TailscaleInfo info;
    if (const json* self = member(doc, "Self")) {
        if (!self->is_object()) return std::nullopt;
        if (!read_ips(*self, info.selfIps)) return std::nullopt;
        if (const json* name = member(*self, "DNSName")) {
            if (!name->is_string()) return std::nullopt;
            std::string n = name->get<std::string>();
            while (!n.empty() && n.back() == '.') n.pop_back();
            if (!n.empty()) info.dnsName = std::move(n);
        }
    }
    if (const json* peers = member(doc, "Peer")) {
        if (!peers->is_object()) return std::nullopt;
        for (const auto& [key, node] : peers->items()) {
            (void)key;
            if (node.is_null()) continue;
            if (!node.is_object() || !read_ips(node, info.peerIps)) return std::nullopt;
        }
        sort_unique(info.peerIps);
    }
    return info;
}

bool tailscale_query_due(TailscaleSchedule& schedule, const std::vector<IpAddress>& current, SteadyTime now) {
    bool due = !schedule.lastQueryAt || current != schedule.previousRange;
    if (!due) {
        const auto interval = current.empty() ? std::chrono::steady_clock::duration(kQueryIntervalWithoutRange)
                                              : std::chrono::steady_clock::duration(kQueryIntervalWithRange);
        due = now - *schedule.lastQueryAt >= interval;
    }
    schedule.previousRange = current;
    return due;
}

void store_tailscale_outcome(TailscaleSchedule& schedule, std::optional<TailscaleInfo> outcome,
                             SteadyTime now) {
    schedule.cache = std::move(outcome);
    schedule.lastQueryAt = now;
}

std::vector<IpAddress> tailscale_addresses(const std::vector<IpAddress>& current,
                                           const std::optional<TailscaleInfo>& cache) {
    std::vector<IpAddress> out = current;
    if (!cache) return out;
    for (const auto& a : cache->selfIps)
        if (std::find(out.begin(), out.end(), a) == out.end()) out.push_back(a);
    return out;
}

std::optional<std::string_view> local_api_body(std::string_view response) {
    const auto blank = response.find("\r\n\r\n");
    if (blank == std::string_view::npos || !response.starts_with("HTTP/1.")) return std::nullopt;
    if (response.substr(0, blank).find("200") == std::string_view::npos) return std::nullopt;
    return response.substr(blank + 4);
}

}  // namespace hp::discovery
