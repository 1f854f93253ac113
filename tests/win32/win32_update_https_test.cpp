// fetch_latest through the real WinHTTP client against the local HTTPS test
// server (tests/support/https_test_server.py, started on the Linux side by
// tests/support/with-https-test-server.sh, which names its ports and files in
// HP_TEST_HTTPS). The server's throwaway certificate authority is added to
// the current user's root store before the first test and removed after the
// last: Wine's certificate chain engine reads the root store once, when the
// process first verifies a chain.
#include <gtest/gtest.h>
#include <windows.h>

#include <wincrypt.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "platform/https_client.h"
#include "update/manifest.h"

namespace hp::update {
namespace {

// The server's description, with its Linux paths as Windows sees them (Z:).
struct TestServer {
    nlohmann::json info;

    static std::optional<TestServer> from_environment() {
        const char* text = std::getenv("HP_TEST_HTTPS");
        if (!text) return std::nullopt;
        auto info = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
        if (!info.is_object()) return std::nullopt;
        return TestServer{std::move(info)};
    }
    static std::string windows_path(std::string unix) {
        for (char& c : unix)
            if (c == '/') c = '\\';
        return "Z:" + unix;
    }
    std::uint16_t port(const std::string& name) const {
        return info["ports"].value(name, std::uint16_t{0});
    }
    std::vector<std::uint8_t> ca_der() const {
        std::ifstream in(windows_path(info.value("caDer", "")), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::vector<nlohmann::json> requests() const {
        std::vector<nlohmann::json> out;
        std::ifstream in(windows_path(info.value("log", "")));
        for (std::string line; std::getline(in, line);)
            out.push_back(nlohmann::json::parse(line, nullptr, false));
        return out;
    }
};

// The test authority in the current user's root store while this lives.
class TrustedAuthority {
public:
    explicit TrustedAuthority(std::vector<std::uint8_t> der) : der_(std::move(der)) {
        added_ = !der_.empty() && CertAddEncodedCertificateToSystemStoreW(
                                      L"Root", der_.data(), static_cast<DWORD>(der_.size()));
    }
    ~TrustedAuthority() {
        if (!added_) return;
        HCERTSTORE store =
            CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
        if (!store) return;
        PCCERT_CONTEXT mine = CertCreateCertificateContext(X509_ASN_ENCODING, der_.data(),
                                                           static_cast<DWORD>(der_.size()));
        if (mine) {
            PCCERT_CONTEXT found = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0,
                                                              CERT_FIND_EXISTING, mine, nullptr);
            if (found) CertDeleteCertificateFromStore(found);  // frees `found`
            CertFreeCertificateContext(mine);
        }
        // The chain engine still holds the store open, so closing ours would
        // not write the deletion out: commit it.
        (void)CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr);
        CertCloseStore(store, 0);
    }
    TrustedAuthority(const TrustedAuthority&) = delete;
    TrustedAuthority& operator=(const TrustedAuthority&) = delete;
    bool added() const { return added_; }

private:
    std::vector<std::uint8_t> der_;
    bool added_ = false;
};

std::shared_ptr<platform::HttpsClient> client_for(const TestServer& server,
                                                  const std::string& name) {
    platform::HttpsClientOptions options;
    options.connectHost = "localhost";
    options.connectPort = server.port(name);
    return platform::make_https_client(options);
}

const platform::HttpsRequest kManifestRequest{"updates.hearthpad.app", 443, "/version.json",
                                              "test"};

// The server and its trusted authority for the whole program; nothing when
// HP_TEST_HTTPS is not set (the program's other tests run without them).
class TestServerEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        server_ = TestServer::from_environment();
        if (server_) trust_ = std::make_unique<TrustedAuthority>(server_->ca_der());
    }
    void TearDown() override {
        trust_.reset();
        server_.reset();
    }
    static const std::optional<TestServer>& server() { return server_; }
    static bool trusted() { return trust_ && trust_->added(); }

private:
    static inline std::optional<TestServer> server_;
    static inline std::unique_ptr<TrustedAuthority> trust_;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new TestServerEnvironment);

class WinHttp : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(TestServerEnvironment::server())
            << "HP_TEST_HTTPS is not set: run through tests/support/with-https-test-server.sh";
        ASSERT_TRUE(TestServerEnvironment::trusted())
            << "CertAddEncodedCertificateToSystemStoreW failed";
    }
    static const TestServer& server() { return *TestServerEnvironment::server(); }
};

struct FetchCase {
    std::string caseName;
    std::optional<LatestRelease> expected;
};

class WinHttpFetch : public WinHttp, public ::testing::WithParamInterface<FetchCase> {};

TEST_P(WinHttpFetch, GivesTheReleaseOnlyForAnAcceptableDocument) {
    EXPECT_EQ(fetch_latest(*client_for(server(), GetParam().caseName), "Windows"),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Server, WinHttpFetch,
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

TEST_F(WinHttp, RedirectsComeBackAsTheirStatusUnfollowed) {
    const std::size_t before = server().requests().size();
    for (const std::string name : {"redirect_301", "redirect_302"}) {
        const auto response = client_for(server(), name)->get(kManifestRequest);
        ASSERT_TRUE(response) << response.error().text;
        EXPECT_EQ(response->status, name == "redirect_301" ? 301u : 302u);
        EXPECT_TRUE(response->body.empty());
    }
    const auto requests = server().requests();
    ASSERT_EQ(requests.size(), before + 2);  // the redirects' target was never asked
    EXPECT_EQ(requests[before].value("case", ""), "redirect_301");
    EXPECT_EQ(requests[before + 1].value("case", ""), "redirect_302");
}

TEST_F(WinHttp, SendsOneGetOfTheManifestWithTheUserAgent) {
    const std::size_t before = server().requests().size();
    ASSERT_TRUE(fetch_latest(*client_for(server(), "good"), "Windows"));
    const auto requests = server().requests();
    ASSERT_EQ(requests.size(), before + 1);
    EXPECT_EQ(requests.back().value("method", ""), "GET");
    EXPECT_EQ(requests.back().value("path", ""), "/version.json");
    EXPECT_EQ(requests.back().value("userAgent", ""), "Hearthpad/0.2.0 (Windows)");
}

TEST_F(WinHttp, ABodyOverTheCapFails) {
    const auto response = client_for(server(), "oversized")->get(kManifestRequest);
    ASSERT_FALSE(response);
    EXPECT_NE(response.error().text.find("longer than 16384"), std::string::npos)
        << response.error().text;
}

TEST_F(WinHttp, ACertificateFromAnAuthorityOutsideTheStoreIsRefused) {
    const auto response = client_for(server(), "untrusted")->get(kManifestRequest);
    EXPECT_FALSE(response) << "status " << response->status;
}

TEST_F(WinHttp, ATrustAnchorFileIsNotAnOptionHere) {
    platform::HttpsClientOptions options;
    options.connectHost = "localhost";
    options.connectPort = server().port("good");
    options.trustAnchor = "ca.pem";
    EXPECT_FALSE(platform::make_https_client(options)->get(kManifestRequest));
}

}  // namespace
}  // namespace hp::update
