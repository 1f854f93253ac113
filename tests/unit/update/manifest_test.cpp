// The download-link rule, the manifest reader and the request fetch_latest
// makes (through a fake client).
#include "update/manifest.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/fake/fake_https_client.h"

namespace hp::update {
namespace {

struct LinkCase {
    std::string label;
    std::string url;
    bool allowed;
};

class DownloadLink : public ::testing::TestWithParam<LinkCase> {};

TEST_P(DownloadLink, OnlyHttpsToTheUpdateServerWithoutControlsOrSpaces) {
    EXPECT_EQ(is_allowed_download_url(GetParam().url), GetParam().allowed) << GetParam().url;
}

INSTANTIATE_TEST_SUITE_P(
    Table, DownloadLink,
    ::testing::Values(
        LinkCase{"path", "https://updates.hearthpad.app/download/hearthpad-0.3.0-win64.zip", true},
        LinkCase{"host_only", "https://updates.hearthpad.app", true},
        LinkCase{"host_then_query", "https://updates.hearthpad.app?v=0.3.0", true},
        LinkCase{"host_then_fragment", "https://updates.hearthpad.app#latest", true},
        LinkCase{"non_ascii_path", "https://updates.hearthpad.app/caf\xc3\xa9", true},
        LinkCase{"other_host", "https://downloads.example.com/hearthpad.zip", false},
        LinkCase{"host_as_prefix", "https://updates.hearthpad.app.example.com/x", false},
        LinkCase{"host_as_suffix", "https://evil-updates.hearthpad.app/x", false},
        LinkCase{"user_info", "https://user@updates.hearthpad.app/x", false},
        LinkCase{"port", "https://updates.hearthpad.app:443/x", false},
        LinkCase{"upper_case_host", "https://UPDATES.hearthpad.app/x", false},
        LinkCase{"plain_http", "http://updates.hearthpad.app/x", false},
        LinkCase{"upper_case_scheme", "HTTPS://updates.hearthpad.app/x", false},
        LinkCase{"no_scheme", "updates.hearthpad.app/x", false}, LinkCase{"empty", "", false},
        LinkCase{"space", "https://updates.hearthpad.app/a b", false},
        LinkCase{"tab", "https://updates.hearthpad.app/a\tb", false},
        LinkCase{"trailing_newline", "https://updates.hearthpad.app/x\n", false},
        LinkCase{"nul", std::string("https://updates.hearthpad.app/x\0y", 33), false},
        LinkCase{"delete", "https://updates.hearthpad.app/x\x7f", false},
        LinkCase{"c1_control", "https://updates.hearthpad.app/x\xc2\x85", false},
        LinkCase{"c1_last", "https://updates.hearthpad.app/x\xc2\x9f", false},
        LinkCase{"no_break_space", "https://updates.hearthpad.app/x\xc2\xa0y", false},
        LinkCase{"ideographic_space", "https://updates.hearthpad.app/x\xe3\x80\x80", false},
        LinkCase{"line_separator", "https://updates.hearthpad.app/x\xe2\x80\xa8", false},
        LinkCase{"invalid_utf8", "https://updates.hearthpad.app/x\xff", false}),
    [](const auto& info) { return info.param.label; });

const std::string kGoodUrl = "https://updates.hearthpad.app/download/hearthpad-0.3.0-win64.zip";

struct ManifestCase {
    std::string label;
    std::string body;
    bool accepted;
};

class Manifest : public ::testing::TestWithParam<ManifestCase> {};

TEST_P(Manifest, AcceptsOnlyAWindowsReleaseWithAVersionAndAnAllowedLink) {
    const auto latest = parse_manifest(as_bytes(GetParam().body));
    EXPECT_EQ(latest.has_value(), GetParam().accepted) << GetParam().body;
}

std::string doc(const std::string& version, const std::string& url) {
    return R"({"windows":{"version":")" + version + R"(","url":")" + url + R"("}})";
}

INSTANTIATE_TEST_SUITE_P(
    Table, Manifest,
    ::testing::Values(
        ManifestCase{"good", doc("0.3.0", kGoodUrl), true},
        ManifestCase{
            "other_members_ignored",
            R"({"linux":{"version":"bad"},"windows":{"notes":[1,2],"version":"0.3","url":")" +
                kGoodUrl + R"("},"x":null})",
            true},
        ManifestCase{"white_space_around", " \n\t" + doc("0.3.0", kGoodUrl) + "\r\n ", true},
        ManifestCase{"version_five_components", doc("1.2.3.4.5", kGoodUrl), false},
        ManifestCase{"version_empty_component", doc("1..2", kGoodUrl), false},
        ManifestCase{"version_prefix", doc("v1.2", kGoodUrl), false},
        ManifestCase{"version_suffix", doc("1.2a", kGoodUrl), false},
        ManifestCase{"link_other_host", doc("0.3.0", "https://downloads.example.com/h.zip"), false},
        ManifestCase{"link_plain_http", doc("0.3.0", "http://updates.hearthpad.app/h.zip"), false},
        ManifestCase{"link_white_space", doc("0.3.0", "https://updates.hearthpad.app/a b.zip"),
                     false},
        ManifestCase{"link_escaped_control",
                     doc("0.3.0", "https://updates.hearthpad.app/a\\u0001.zip"), false},
        ManifestCase{"version_number", R"({"windows":{"version":0.3,"url":")" + kGoodUrl + R"("}})",
                     false},
        ManifestCase{"url_missing", R"({"windows":{"version":"0.3.0"}})", false},
        ManifestCase{"url_null", R"({"windows":{"version":"0.3.0","url":null}})", false},
        ManifestCase{"windows_missing", R"({"linux":{"version":"0.3.0"}})", false},
        ManifestCase{"windows_array", R"({"windows":["0.3.0"]})", false},
        ManifestCase{"top_level_array", "[" + doc("0.3.0", kGoodUrl) + "]", false},
        ManifestCase{"truncated", doc("0.3.0", kGoodUrl).substr(0, 40), false},
        ManifestCase{"trailing_garbage", doc("0.3.0", kGoodUrl) + "x", false},
        ManifestCase{"repeated_windows", R"({"windows":{},)" + doc("0.3.0", kGoodUrl).substr(1),
                     false},
        ManifestCase{"byte_order_mark", "\xef\xbb\xbf" + doc("0.3.0", kGoodUrl), false},
        ManifestCase{"empty", "", false}),
    [](const auto& info) { return info.param.label; });

TEST(Manifest, ReadsTheVersionAndLink) {
    EXPECT_EQ(parse_manifest(as_bytes(doc("0.3.0", kGoodUrl))), (LatestRelease{"0.3.0", kGoodUrl}));
}

TEST(Manifest, RefusesADocumentLongerThan16KiBEvenWhenValid) {
    std::string body = doc("0.3.0", kGoodUrl);
    body.insert(body.size() - 1, kMaxManifestBytes - body.size(), ' ');
    ASSERT_EQ(body.size(), kMaxManifestBytes);
    EXPECT_TRUE(parse_manifest(as_bytes(body)));
    body.insert(body.size() - 1, " ");
    EXPECT_FALSE(parse_manifest(as_bytes(body)));
}

TEST(FetchLatest, AsksTheUpdateServerForTheManifest) {
    fake::FakeHttpsClient https;
    https.respond(doc("0.3.0", kGoodUrl));
    EXPECT_EQ(fetch_latest(https, "Windows"), (LatestRelease{"0.3.0", kGoodUrl}));
    const auto requests = https.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].host, "updates.hearthpad.app");
    EXPECT_EQ(requests[0].port, 443);
    EXPECT_EQ(requests[0].path, "/version.json");
    EXPECT_EQ(requests[0].userAgent, "Hearthpad/0.2.0 (Windows)");
    EXPECT_EQ(requests[0].maxBody, 16384u);
    EXPECT_EQ(requests[0].timeout, std::chrono::milliseconds(10000));
}

TEST(FetchLatest, NothingForAFailureOrAStatusOtherThan200) {
    fake::FakeHttpsClient https;
    https.fail("no route to host");
    EXPECT_FALSE(fetch_latest(https, "Windows"));
    const std::string good = doc("0.3.0", kGoodUrl);
    for (unsigned status : {201u, 204u, 301u, 302u, 304u, 404u, 500u}) {
        https.respond(platform::HttpsResponse{status, Bytes(good.begin(), good.end())});
        EXPECT_FALSE(fetch_latest(https, "Windows")) << status;
    }
}

}  // namespace
}  // namespace hp::update
