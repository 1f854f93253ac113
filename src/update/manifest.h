#pragma once
// The update server and what it publishes: "/version.json", a small JSON
// document whose member "windows" names the latest Windows release and its
// download link:
//     {"windows": {"version": "0.3.0", "url": "https://updates.hearthpad.app/..."}}
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/bytes.h"
#include "platform/https_client.h"

namespace hp::update {

// The vendor's update server: the host the manifest is fetched from and the
// only host a download link may point to.
inline constexpr std::string_view kUpdateHost = "updates.hearthpad.app";
inline constexpr std::uint16_t kUpdatePort = 443;
inline constexpr std::string_view kManifestPath = "/version.json";
// A longer manifest is refused unread.
inline constexpr std::size_t kMaxManifestBytes = 16384;
// For each of resolving, connecting, sending and receiving.
inline constexpr std::chrono::milliseconds kRequestTimeout{10000};

struct LatestRelease {
    std::string version;
    std::string url;
    friend bool operator==(const LatestRelease&, const LatestRelease&) = default;
};

// True only for "https://" followed by exactly kUpdateHost (up to the first
// "/", "?" or "#", or the end), with no control character (below 33, 127 to
// 159) and no Unicode white space anywhere, and valid UTF-8.
bool is_allowed_download_url(std::string_view url);

// The release the manifest names, or nothing when the document is refused:
// longer than kMaxManifestBytes, not strict JSON, not an object whose member
// "windows" is an object holding the strings "version" (a version) and
// "url" (an allowed download link). Other members are ignored. A pure
// function of the bytes.
std::optional<LatestRelease> parse_manifest(ByteView body);

// "Hearthpad/<running version> (<system>)", e.g. "Hearthpad/0.2.0 (Windows)".
std::string user_agent(std::string_view system);

// GET https://kUpdateHost/version.json through `https`; nothing on any
// failure: no response, a status other than 200, a refused document.
std::optional<LatestRelease> fetch_latest(platform::HttpsClient& https, std::string_view system);

}  // namespace hp::update
