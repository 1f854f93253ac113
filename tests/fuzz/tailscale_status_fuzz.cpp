// The Tailscale status document: the input is the body of a status answer
// (the local API's or `tailscale status --json`'s output), and also a whole
// local API response.
//
// Invariants: reading is a pure function of the bytes; a document with a zero
// byte is never read (no JSON text holds one); every address read is in the
// Tailscale ranges, the peer list is sorted without repeats, the name is not
// empty and has no trailing dot; the result written back as a status
// document reads back to itself. A local API body is the text after the
// first blank line of a response that begins with "HTTP/1." and holds "200"
// in its head.
#include <algorithm>
#include <string>
#include <string_view>

#include "base/json.h"
#include "discovery/tailscale.h"
#include "fuzz_support.h"

using namespace hp;

namespace {

void write_ips(JsonWriter& w, const std::vector<IpAddress>& ips) {
    w.key("TailscaleIPs").begin_array();
    for (const auto& ip : ips) w.string(ip.to_string());
    w.end_array();
}

// A status document holding exactly `info`: the peer addresses spread over
// two peers, in reverse order, to exercise merging.
std::string status_document(const discovery::TailscaleInfo& info) {
    JsonWriter w;
    w.begin_object().key("Self").begin_object();
    if (info.dnsName) w.key("DNSName").string(*info.dnsName + ".");
    write_ips(w, info.selfIps);
    w.end_object().key("Peer").begin_object();
    std::vector<IpAddress> first(info.peerIps.rbegin(), info.peerIps.rend());
    std::vector<IpAddress> second;
    if (!first.empty()) second.push_back(first.front());
    w.key("nodekey:1").begin_object();
    write_ips(w, first);
    w.end_object().key("nodekey:2").begin_object();
    write_ips(w, second);
    w.end_object().end_object().end_object();
    return w.take();
}

void check_status(std::string_view text) {
    const auto info = discovery::parse_tailscale_status(text);
    FUZZ_CHECK(discovery::parse_tailscale_status(text) == info);
    if (!info) return;
    FUZZ_CHECK(text.find('\0') == std::string_view::npos);
    for (const auto& ip : info->selfIps) FUZZ_CHECK(is_tailscale_address(ip));
    for (const auto& ip : info->peerIps) FUZZ_CHECK(is_tailscale_address(ip));
    FUZZ_CHECK(std::adjacent_find(info->peerIps.begin(), info->peerIps.end(),
                                  [](const IpAddress& a, const IpAddress& b) { return !(a < b); }) ==
               info->peerIps.end());
    if (info->dnsName) FUZZ_CHECK(!info->dnsName->empty() && info->dnsName->back() != '.');
    FUZZ_CHECK(discovery::parse_tailscale_status(status_document(*info)) == info);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    check_status(text);

    if (const auto body = discovery::local_api_body(text)) {
        const std::size_t blank = text.find("\r\n\r\n");
        FUZZ_CHECK(blank != std::string_view::npos);
        FUZZ_CHECK(text.starts_with("HTTP/1."));
        FUZZ_CHECK(text.substr(0, blank).find("200") != std::string_view::npos);
        FUZZ_CHECK(body->data() == text.data() + blank + 4 && body->size() == text.size() - blank - 4);
        check_status(*body);
    }
    return 0;
}
