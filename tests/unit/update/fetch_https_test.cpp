// fetch_latest through the real libcurl client against a local HTTPS server
// on 127.0.0.1 that trusts only its own throwaway certificate authority.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "platform/https_client.h"
#include "support/https_test_server.h"
#include "unit/foundation/scratch.h"
#include "update/manifest.h"

namespace hp::update {
namespace {

class FetchOverHttps : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        scratch_ = new test::ScratchDir();
        server_ = new test::HttpsTestServer(scratch_->path());
    }
    static void TearDownTestSuite() {
        delete server_;
        delete scratch_;
        server_ = nullptr;
        scratch_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(server_->ok()) << "the test server did not start"; }

    // A client that reaches the given case's port on localhost.
    static std::shared_ptr<platform::HttpsClient> client_for(const std::string& caseName) {
        platform::HttpsClientOptions options;
        options.connectHost = "localhost";
        options.connectPort = server_->port(caseName);
        options.trustAnchor = server_->ca_pem();
        return platform::make_https_client(options);
    }

    static test::ScratchDir* scratch_;
    static test::HttpsTestServer* server_;
};

test::ScratchDir* FetchOverHttps::scratch_ = nullptr;
test::HttpsTestServer* FetchOverHttps::server_ = nullptr;

struct FetchCase {
    std::string caseName;
    std::optional<LatestRelease> expected;
};

class FetchTable : public FetchOverHttps, public ::testing::WithParamInterface<FetchCase> {};

TEST_P(FetchTable, GivesTheReleaseOnlyForAnAcceptableDocument) {
    const auto latest = fetch_latest(*client_for(GetParam().caseName), "Linux");
    EXPECT_EQ(latest, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Server, FetchTable,
    ::testing::Values(
        FetchCase{"good",
                  LatestRelease{
                      "0.3.0", "https://updates.hearthpad.app/download/hearthpad-0.3.0-win64.zip"}},
        FetchCase{
            "up_to_date",
            LatestRelease{"0.2", "https://updates.hearthpad.app/download/hearthpad-0.2-win64.zip"}},
        FetchCase{"redirect_301", std::nullopt}, FetchCase{"redirect_302", std::nullopt},
        FetchCase{"oversized", std::nullopt}, FetchCase{"malformed", std::nullopt},
        FetchCase{"other_host", std::nullopt}, FetchCase{"untrusted", std::nullopt}),
    [](const auto& info) { return info.param.caseName; });

TEST_F(FetchOverHttps, RedirectsAreNotFollowed) {
    const auto before = server_->requests().size();
    for (const char* name : {"redirect_301", "redirect_302"}) {
        const auto response =
            client_for(name)->get({"updates.hearthpad.app", 443, "/version.json", "t"});
        ASSERT_TRUE(response) << response.error().text;
        EXPECT_EQ(response->status, name == std::string("redirect_301") ? 301u : 302u);
        EXPECT_TRUE(response->body.empty());
    }
    const auto requests = server_->requests();
    ASSERT_EQ(requests.size(), before + 2);  // nothing reached the redirect's target
    EXPECT_EQ(requests[before].caseName, "redirect_301");
    EXPECT_EQ(requests[before + 1].caseName, "redirect_302");
}

TEST_F(FetchOverHttps, SendsOneGetOfTheManifestWithTheUserAgent) {
    const auto before = server_->requests().size();
    ASSERT_TRUE(fetch_latest(*client_for("good"), "Linux"));
    const auto requests = server_->requests();
    ASSERT_EQ(requests.size(), before + 1);
    EXPECT_EQ(requests.back().method, "GET");
    EXPECT_EQ(requests.back().path, "/version.json");
    EXPECT_EQ(requests.back().userAgent, "Hearthpad/0.2.0 (Linux)");
}

TEST_F(FetchOverHttps, ABodyOverTheCapFails) {
    const auto response =
        client_for("oversized")->get({"updates.hearthpad.app", 443, "/version.json", "t"});
    ASSERT_FALSE(response);
    EXPECT_NE(response.error().text.find("longer than 16384"), std::string::npos)
        << response.error().text;
}

TEST_F(FetchOverHttps, ACertificateFromAnotherAuthorityIsRefused) {
    EXPECT_FALSE(
        client_for("untrusted")->get({"updates.hearthpad.app", 443, "/version.json", "t"}));
}

TEST_F(FetchOverHttps, AServerTheSystemDoesNotTrustIsRefused) {
    // Without the test authority the system's bundle decides, and it does
    // not know the test server's certificate.
    platform::HttpsClientOptions options;
    options.connectHost = "localhost";
    options.connectPort = server_->port("good");
    EXPECT_FALSE(platform::make_https_client(options)->get(
        {"updates.hearthpad.app", 443, "/version.json", "t"}));
}

}  // namespace
}  // namespace hp::update
