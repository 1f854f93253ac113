#include "client/address.h"

#include <charconv>
#include <vector>

namespace hp::client {

namespace {

std::optional<std::uint16_t> parse_port(std::string_view text) {
    unsigned value = 0;
    if (text.empty() || text.size() > 5) return std::nullopt;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value == 0 || value > 65535)
        return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string Endpoint::text() const {
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::optional<Endpoint> parse_endpoint(std::string_view text, std::uint16_t defaultPort) {
    Endpoint e;
    std::string_view portText;
    if (text.starts_with('[')) {
        const auto close = text.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        e.host = std::string(text.substr(1, close - 1));
        const auto rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (!rest.starts_with(':')) return std::nullopt;
            portText = rest.substr(1);
            if (portText.empty()) return std::nullopt;
        }
    } else if (const auto colon = text.find(':'); colon == std::string_view::npos) {
        e.host = std::string(text);
    } else if (text.find(':', colon + 1) != std::string_view::npos) {
        e.host = std::string(text);  // a bare IPv6 address
    } else {
        e.host = std::string(text.substr(0, colon));
        portText = text.substr(colon + 1);
        if (portText.empty()) return std::nullopt;
    }
    if (e.host.empty()) return std::nullopt;
    if (portText.empty()) {
        if (defaultPort == 0) return std::nullopt;
        e.port = defaultPort;
    } else {
        const auto port = parse_port(portText);
        if (!port) return std::nullopt;
        e.port = *port;
    }
    return e;
}

std::optional<std::string> percent_decode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int hi = hex_digit(text[i + 1]);
        const int lo = hex_digit(text[i + 2]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
    }
    return out;
}

bool is_pairing_code(std::string_view code) {
    if (code.size() != 6) return false;
    for (const char c : code)
        if (c < '0' || c > '9') return false;
    return true;
}

bool looks_like_pairing_link(std::string_view text) { return text.starts_with("hearthpad://"); }

Result<PairingLink> parse_pairing_link(std::string_view link) {
    constexpr std::string_view kPrefix = "hearthpad://pair?";
    if (!link.starts_with(kPrefix)) return fail("a pairing link starts with " + std::string(kPrefix));
    PairingLink out;
    std::string version, key;
    bool haveId = false, haveKey = false, haveCode = false;
    std::string_view query = link.substr(kPrefix.size());
    while (!query.empty()) {
        const auto amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        const auto eq = pair.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string_view name = pair.substr(0, eq);
        const auto value = percent_decode(pair.substr(eq + 1));
        if (!value) return fail("the pairing link has a broken %-escape in " + std::string(name));
        if (name == "v") version = *value;
        else if (name == "id") out.hostId = *value, haveId = true;
        else if (name == "name") out.name = *value;
        else if (name == "os") out.os = *value;
        else if (name == "lan") out.lan = *value;
        else if (name == "ts") out.ts = *value;
        else if (name == "pk") key = *value, haveKey = true;
        else if (name == "code") out.code = *value, haveCode = true;
    }
    if (version != "1") return fail("the pairing link is not of version 1");
    if (!haveId || out.hostId.empty()) return fail("the pairing link has no host id");
    if (!haveKey) return fail("the pairing link has no host key");
    const auto hostKey = crypto::hex_decode_array<32>(key);
    if (!hostKey) return fail("the pairing link's host key is not 64 hex digits");
    out.hostKey = *hostKey;
    if (!haveCode || !is_pairing_code(out.code)) return fail("the pairing link has no six-digit code");
    return out;
}

}  // namespace hp::client
