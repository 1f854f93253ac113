#pragma once
// Where a host is: endpoint text ("192.168.1.20:49182", "[fd00::5]:49182",
// "pc.tail1234.ts.net:49182") and the pairing link its pairing window shows.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"
#include "crypto/crypto.h"

namespace hp::client {

// The ports a host listens on: the first free one of this range, the same
// number for TCP and UDP.
inline constexpr std::uint16_t kFirstPort = 49182;
inline constexpr std::uint16_t kLastPort = 49192;

struct Endpoint {
    std::string host;  // address or name, IPv6 without brackets
    std::uint16_t port = 0;
    // "host:port", an IPv6 address in brackets.
    std::string text() const;
    friend bool operator==(const Endpoint&, const Endpoint&) = default;
};

// "host:port", "[v6]:port" or a bare "host" / "[v6]" / IPv6 address, which
// takes `defaultPort`. Nothing for an empty host, a bad port, or a bare host
// when defaultPort is 0.
std::optional<Endpoint> parse_endpoint(std::string_view text, std::uint16_t defaultPort = 0);

// hearthpad://pair?v=1&id=…&name=…&os=…&lan=…&ts=…&pk=…&code=…
struct PairingLink {
    std::string hostId;
    std::string name;
    std::string os;
    std::string lan;  // endpoint text, may be empty
    std::string ts;   // endpoint text, may be empty
    crypto::Key32 hostKey{};
    std::string code;
};

bool looks_like_pairing_link(std::string_view text);
// Fails with a sentence saying what is wrong with the link.
Result<PairingLink> parse_pairing_link(std::string_view link);

// %XX sequences decoded (either case); nothing for a broken sequence.
std::optional<std::string> percent_decode(std::string_view text);

// Six ASCII digits.
bool is_pairing_code(std::string_view code);

}  // namespace hp::client
