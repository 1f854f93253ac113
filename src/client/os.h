#pragma once
// The little the client needs from the operating system besides sockets:
// its per-user folder and an mDNS browse where the system offers one.
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hp::client {

// $XDG_CONFIG_HOME/hearthpad-client (else ~/.config/hearthpad-client) on
// Linux, %APPDATA%\Hearthpad Client on Windows; nothing when neither the
// variables nor a home folder are known.
std::optional<std::filesystem::path> default_state_dir();

// The name this computer gives itself, for the default device name.
std::string computer_name();

// One host found by mDNS (service type "_hearthpad._tcp").
struct MdnsService {
    std::string instance;  // the host's name
    std::string address;   // as reported, without brackets
    std::uint16_t port = 0;
    std::map<std::string, std::string> txt;  // v, id, name, os, fp, ts
    friend bool operator==(const MdnsService&, const MdnsService&) = default;
};

struct MdnsBrowse {
    bool available = false;
    std::string note;  // why it is not available
    std::vector<MdnsService> services;
};

// Browses the local network for a moment (Linux: through avahi-browse when
// it is installed). Never fails: an unavailable browser is reported in note.
MdnsBrowse browse_mdns();

// The resolved ("=") lines of `avahi-browse --parsable --resolve` output;
// every other line is skipped. Duplicates (one service seen on several
// interfaces) appear once.
std::vector<MdnsService> parse_avahi_browse(std::string_view output);

}  // namespace hp::client
