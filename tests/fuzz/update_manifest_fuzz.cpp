// The update manifest (/version.json), the download link rule and versions:
// the input is a whole manifest, and is also read as a link and as a version;
// split at its first line feed it gives a version and a link, which are put
// into a manifest of their own.
//
// Invariants: reading a manifest is a pure function of the bytes; an accepted
// manifest is at most kMaxManifestBytes long and names a version that parses
// and a link that is allowed; an allowed link is "https://" and the update
// host followed by nothing, "/", "?" or "#"; a version's components written
// back with dots parse to the same components and compare equal to it;
// version_greater is a strict order of the texts that parse; a manifest
// written with a version and a link is accepted exactly when both are (and
// it is not too long).
#include <string>
#include <string_view>

#include "base/json.h"
#include "fuzz_support.h"
#include "update/manifest.h"
#include "update/version.h"

using namespace hp;
using namespace hp::update;

namespace {

void check_link(std::string_view url) {
    if (!is_allowed_download_url(url)) return;
    const std::string prefix = "https://" + std::string(kUpdateHost);
    FUZZ_CHECK(url.starts_with(prefix));
    FUZZ_CHECK(url.size() == prefix.size() || std::string_view("/?#").find(url[prefix.size()]) != std::string_view::npos);
}

void check_version(std::string_view text) {
    const auto parts = parse_version(text);
    FUZZ_CHECK(parse_version(text) == parts);
    FUZZ_CHECK(!version_greater(text, text));
    if (!parts) return;
    FUZZ_CHECK(!parts->empty() && parts->size() <= 4 && text.size() <= 40);
    std::string written;
    for (const auto part : *parts) written += (written.empty() ? "" : ".") + std::to_string(part);
    FUZZ_CHECK(parse_version(written) == parts);
    FUZZ_CHECK(!version_greater(written, text) && !version_greater(text, written));
    // A trailing zero component changes nothing, where there is room for one.
    if (parts->size() < 4 && written.size() + 2 <= 40) {
        const std::string padded = written + ".0";
        FUZZ_CHECK(!version_greater(padded, text) && !version_greater(text, padded));
    }
}

void check_manifest(ByteView body) {
    const auto release = parse_manifest(body);
    FUZZ_CHECK(parse_manifest(body) == release);
    if (!release) return;
    FUZZ_CHECK(body.size() <= kMaxManifestBytes);
    FUZZ_CHECK(parse_version(release->version).has_value());
    FUZZ_CHECK(is_allowed_download_url(release->url));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ByteView input(data, size);
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    check_manifest(input);
    check_link(text);
    check_version(text);

    const std::size_t newline = text.find('\n');
    const std::string_view version = text.substr(0, newline);
    const std::string_view url = newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);
    check_link(url);
    check_version(version);
    const bool a_greater = version_greater(version, url);
    const bool b_greater = version_greater(url, version);
    FUZZ_CHECK(!(a_greater && b_greater));
    if (a_greater || b_greater) FUZZ_CHECK(parse_version(version) && parse_version(url));

    JsonWriter w;
    w.begin_object().key("windows").begin_object().key("version").string(version).key("url").string(url);
    w.end_object().key("channel").string("stable").end_object();
    const std::string manifest = w.take();
    const auto release = parse_manifest(as_bytes(manifest));
    if (manifest.size() <= kMaxManifestBytes && parse_version(version) && is_allowed_download_url(url))
        FUZZ_CHECK((release == LatestRelease{std::string(version), std::string(url)}));
    else
        FUZZ_CHECK(!release);
    return 0;
}
