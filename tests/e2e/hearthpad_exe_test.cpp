// hearthpad.exe end to end under Wine: the real program started as a user
// would start it, reached by a client over loopback, started a second time,
// asked to close and started again. Its data directory is a temporary
// directory handed over in RC_DATA_DIR, so no real user data is touched.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "e2e/wine_host.h"
#include "support/test_client.h"

namespace hp::e2e {
namespace {

namespace fs = std::filesystem;

// A cold prefix takes a while to answer the first time.
constexpr auto kFirstAnswer = seconds(90);
constexpr auto kExit = seconds(30);

fs::path exe_path() {
    if (const char* e = std::getenv("HP_WIN_EXE"); e && *e) return e;
    return HP_WIN_EXE;
}

bool is_lower_hex(const std::string& s) {
    return s.find_first_not_of("0123456789abcdef") == std::string::npos;
}

class HearthpadExe : public ::testing::Test {
protected:
    // One Wine session and one running host for the whole suite: starting
    // Wine is the expensive part.
    struct Shared {
        std::unique_ptr<WineSession> wine;
        fs::path dataDir;
        std::optional<ChildProcess> host;
        FoundHost found;
        std::string setupError;
    };
    static Shared* shared_;

    static void SetUpTestSuite() {
        shared_ = new Shared();
        auto wine = WineSession::open(fs::path(HP_E2E_DIR));
        if (!wine) {
            shared_->setupError = wine.error().text;
            return;
        }
        shared_->wine = std::move(*wine);
        std::string pattern = (fs::temp_directory_path() / "hearthpad-e2e-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) {
            shared_->setupError = "mkdtemp failed";
            return;
        }
        shared_->dataDir = pattern;
        if (auto st = start_first_host(); !st) shared_->setupError = st.error().text;
    }

    static void TearDownTestSuite() {
        if (shared_->wine) shared_->wine->kill_all();
        shared_->host.reset();
        shared_->wine.reset();  // ends the display too
        std::error_code ec;
        if (!shared_->dataDir.empty()) fs::remove_all(shared_->dataDir, ec);
        delete shared_;
        shared_ = nullptr;
    }

    static Status start_first_host() {
        auto host = shared_->wine->start(exe_path(), shared_->dataDir, {"--background"});
        if (!host) return std::unexpected(host.error());
        shared_->host.emplace(std::move(*host));
        auto found = shared_->wine->wait_for_host(*shared_->host, kFirstAnswer);
        if (!found) return std::unexpected(found.error());
        shared_->found = *found;
        return {};
    }

    void SetUp() override {
        ASSERT_TRUE(shared_->setupError.empty()) << shared_->setupError;
    }

    WineSession& wine() { return *shared_->wine; }
    const nlohmann::json& info() { return shared_->found.info; }
    std::uint16_t port() { return shared_->found.port; }

    // A fresh information request to the running host.
    Result<nlohmann::json> ask_information() {
        test::TestClient client;
        if (auto st = client.connect(port()); !st) return std::unexpected(st.error());
        return client.information();
    }
};

HearthpadExe::Shared* HearthpadExe::shared_ = nullptr;

TEST_F(HearthpadExe, AnswersAnInformationRequestAsAWindowsHostAndCloses) {
    EXPECT_GE(port(), 49182);
    EXPECT_LE(port(), 49192);
    // The port belongs to this prefix, not to a host another run started.
    const auto owned = prefix_listening_ports(wine().prefix(), 49182, 49192);
    ASSERT_TRUE(owned) << "no process of the Wine prefix is visible in /proc";
    EXPECT_NE(std::find(owned->begin(), owned->end(), port()), owned->end());
    EXPECT_EQ(info().value("v", 0), 1);
    EXPECT_EQ(info().value("os", ""), "windows");
    const std::string hostId = info().value("hostId", "");
    EXPECT_TRUE(is_v4_uuid(hostId)) << hostId;
    EXPECT_FALSE(info().value("name", "").empty());
    const std::string fp = info().value("fp", "");
    EXPECT_EQ(fp.size(), 16u);
    EXPECT_TRUE(is_lower_hex(fp)) << fp;
    ASSERT_TRUE(info().contains("udpPort") && info()["udpPort"].is_number_unsigned());
    EXPECT_GT(info()["udpPort"].get<unsigned>(), 0u);

    // After HostInfo the host ends the connection.
    test::TestClient client;
    ASSERT_TRUE(client.connect(port()));
    ASSERT_TRUE(client.information());
    EXPECT_TRUE(client.wait_closed());
}

TEST_F(HearthpadExe, SecondStartExitsAtOnceWithStatusZeroAndTheFirstKeepsServing) {
    auto second = wine().start(exe_path(), shared_->dataDir);
    ASSERT_TRUE(second) << second.error().text;
    const auto status = second->wait_for(kExit);
    ASSERT_TRUE(status) << "the second hearthpad.exe is still running";
    EXPECT_EQ(*status, 0);

    auto again = ask_information();
    ASSERT_TRUE(again) << again.error().text;
    EXPECT_EQ(again->value("hostId", ""), info().value("hostId", ""));
    EXPECT_FALSE(shared_->host->wait_for(milliseconds(0))) << "the first hearthpad.exe ended";
}

TEST_F(HearthpadExe, DataDirectoryHoldsTheIdentityAndNoUnearnedMarkers) {
    const fs::path dir = shared_->dataDir;
    std::error_code ec;
    EXPECT_GT(fs::file_size(dir / "host_identity.bin", ec), 0u) << ec.message();
    // The markers say a notice was shown or a question asked; this build
    // shows neither yet, so it must not claim them.
    EXPECT_FALSE(fs::exists(dir / "vigem_notified"));
    EXPECT_FALSE(fs::exists(dir / "startup_prompted"));
    EXPECT_FALSE(fs::exists(dir / "host_identity.tmp"));
}

TEST_F(HearthpadExe, CloseRequestEndsItWithStatusZeroAndARestartKeepsTheIdentity) {
    const std::string hostId = info().value("hostId", "");
    const std::string fp = info().value("fp", "");

    // taskkill without /f posts WM_CLOSE to the process's top-level windows,
    // which is how the tray window is asked to go.
    auto asked = wine().run({"taskkill", "/im", "hearthpad.exe"}, kExit);
    ASSERT_TRUE(asked) << asked.error().text;
    EXPECT_EQ(*asked, 0);
    const auto status = shared_->host->wait_for(kExit);
    ASSERT_TRUE(status) << "hearthpad.exe did not end after WM_CLOSE";
    EXPECT_EQ(*status, 0);

    // The singleton mutex went with the process: a new start serves again,
    // with the identity the first one saved.
    ASSERT_TRUE(start_first_host());
    EXPECT_EQ(info().value("hostId", ""), hostId);
    EXPECT_EQ(info().value("fp", ""), fp);
}

}  // namespace
}  // namespace hp::e2e
