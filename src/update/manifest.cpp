#include "update/manifest.h"

#include "base/json.h"
#include "base/utf8.h"
#include "update/version.h"
#include "update/white_space.h"

namespace hp::update {

namespace {

bool is_control(char32_t c) {
    return c < 33 || (c >= 127 && c <= 159);
}

const std::string* string_member(const nlohmann::json& object, const char* name) {
    const auto it = object.find(name);
    if (it == object.end() || !it->is_string()) return nullptr;
    return &it->get_ref<const std::string&>();
}

}  // namespace

bool is_allowed_download_url(std::string_view url) {
    constexpr std::string_view scheme = "https://";
    if (!url.starts_with(scheme)) return false;
    const std::string_view rest = url.substr(scheme.size());
    if (rest.substr(0, rest.find_first_of("/?#")) != kUpdateHost) return false;
    for (std::size_t i = 0; i < url.size();) {
        const auto c = decode_utf8(url, i);
        if (!c || is_control(*c) || is_white_space(*c)) return false;
    }
    return true;
}

std::optional<LatestRelease> parse_manifest(ByteView body) {
    if (body.size() > kMaxManifestBytes) return std::nullopt;
    const auto document = parse_strict(body);
    if (!document || !document->is_object()) return std::nullopt;
    const auto windows = document->find("windows");
    if (windows == document->end() || !windows->is_object()) return std::nullopt;
    const std::string* version = string_member(*windows, "version");
    const std::string* url = string_member(*windows, "url");
    if (!version || !url || !parse_version(*version) || !is_allowed_download_url(*url))
        return std::nullopt;
    return LatestRelease{*version, *url};
}

std::string user_agent(std::string_view system) {
    return "Hearthpad/" + std::string(running_version()) + " (" + std::string(system) + ")";
}

std::optional<LatestRelease> fetch_latest(platform::HttpsClient& https, std::string_view system) {
    platform::HttpsRequest request;
    request.host = kUpdateHost;
    request.port = kUpdatePort;
    request.path = kManifestPath;
    request.userAgent = user_agent(system);
    request.maxBody = kMaxManifestBytes;
    request.timeout = kRequestTimeout;
    const auto response = https.get(request);
    if (!response || response->status != 200) return std::nullopt;
    return parse_manifest(response->body);
}

}  // namespace hp::update
