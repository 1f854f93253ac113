// The automatic and manual checks with a fake HTTPS client, fake message
// boxes and link opener, and a clock the test sets.
#include "update/check.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/fake/fake_https_client.h"
#include "platform/fake/fake_prompts.h"
#include "unit/foundation/scratch.h"

namespace hp::update {
namespace {

using platform::BoxAnswer;
constexpr std::uint64_t kDay = 86400;
constexpr std::uint64_t kStart = 1'700'000'000;
const std::string kLink = "https://updates.hearthpad.app/download/hearthpad-0.3.0-win64.zip";

std::string manifest(const std::string& version, const std::string& url = kLink) {
    return R"({"windows":{"version":")" + version + R"(","url":")" + url + R"("}})";
}

// The exact boxes the user sees.
fake::ShownBox offer_box(const std::string& version) {
    return {"Hearthpad " + version + " is available (you have 0.2.0). Download it now?",
            "Hearthpad",
            0x4 | 0x40 | 0x10000 |
                0x40000};  // MB_YESNO | MB_ICONINFORMATION | MB_SETFOREGROUND | MB_TOPMOST
}
const fake::ShownBox kUpToDateBox{"Hearthpad is up to date (version 0.2.0).", "Hearthpad",
                                  0x40 | 0x10000 | 0x40000};
const fake::ShownBox kFailedBox{
    "Couldn't check for updates. Check your internet connection and try again.", "Hearthpad",
    0x40 | 0x10000 | 0x40000};

bool wait_until_idle() {
    for (int i = 0; i < 1000 && update_check_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return !update_check_running();
}

class UpdateCheck : public ::testing::Test {
protected:
    UpdateCheck() {
        services_.dataDir = scratch_.path() / "data";
        services_.https = https_;
        services_.boxes = boxes_;
        services_.opener = opener_;
        services_.nowUnix = [this] { return now_.load(); };
    }
    ~UpdateCheck() override { EXPECT_TRUE(wait_until_idle()); }

    UpdateRecord record() const { return read_update_record(services_.dataDir); }
    std::size_t fetches() const { return https_->requests().size(); }
    ManualResult manual() {
        const auto claim = RunningCheck::try_claim();
        EXPECT_TRUE(claim);
        const ManualResult result = manual_check(services_);
        show_manual_result(result, *boxes_, *opener_);
        return result;
    }

    test::ScratchDir scratch_;
    std::shared_ptr<fake::FakeHttpsClient> https_ = std::make_shared<fake::FakeHttpsClient>();
    std::shared_ptr<fake::FakeMessageBoxes> boxes_ = std::make_shared<fake::FakeMessageBoxes>();
    std::shared_ptr<fake::FakeLinkOpener> opener_ = std::make_shared<fake::FakeLinkOpener>();
    std::atomic<std::uint64_t> now_{kStart};
    UpdateServices services_;
};

TEST_F(UpdateCheck, AutomaticOffersANewVersionOnceButManualOffersItEveryTime) {
    https_->respond(manifest("0.3.0"));

    // First run: never checked, so due; 0.3.0 is offered and the user says No.
    EXPECT_EQ(automatic_turn(services_).outcome, AutoOutcome::Announced);
    EXPECT_EQ(boxes_->shown(), std::vector{offer_box("0.3.0")});
    EXPECT_TRUE(opener_->opened().empty());
    EXPECT_EQ(record(), (UpdateRecord{kStart, "0.3.0"}));

    // 6 hours later: not due, nothing fetched.
    now_ += 6 * 3600;
    EXPECT_EQ(automatic_turn(services_).outcome, AutoOutcome::NotDue);
    EXPECT_EQ(fetches(), 1u);

    // A week later: fetched again, but 0.3.0 was offered already.
    now_ = kStart + 7 * kDay;
    EXPECT_EQ(automatic_turn(services_).outcome, AutoOutcome::AlreadyAnnounced);
    EXPECT_EQ(fetches(), 2u);
    EXPECT_EQ(boxes_->shown().size(), 1u);
    EXPECT_EQ(record(), (UpdateRecord{kStart + 7 * kDay, "0.3.0"}));

    // The manual check offers it every time and leaves the announced version.
    now_ += 60;
    EXPECT_EQ(manual().outcome, ManualOutcome::Available);
    now_ += 60;
    EXPECT_EQ(manual().outcome, ManualOutcome::Available);
    EXPECT_EQ(boxes_->shown(),
              (std::vector{offer_box("0.3.0"), offer_box("0.3.0"), offer_box("0.3.0")}));
    EXPECT_EQ(record(), (UpdateRecord{kStart + 7 * kDay + 120, "0.3.0"}));

    // A later release is offered again by the automatic check.
    https_->respond(manifest("0.3.1"));
    now_ += 8 * kDay;
    EXPECT_EQ(automatic_turn(services_).outcome, AutoOutcome::Announced);
    EXPECT_EQ(boxes_->shown().back(), offer_box("0.3.1"));
    EXPECT_EQ(record().lastAnnouncedVersion, "0.3.1");
}

TEST_F(UpdateCheck, YesOpensTheDownloadLink) {
    https_->respond(manifest("0.3.0"));
    boxes_->answer(BoxAnswer::Yes);
    EXPECT_EQ(automatic_turn(services_).outcome, AutoOutcome::Announced);
    EXPECT_EQ(opener_->opened(), std::vector{kLink});
    EXPECT_EQ(manual().outcome, ManualOutcome::Available);
    EXPECT_EQ(opener_->opened(), (std::vector{kLink, kLink}));
}

TEST_F(UpdateCheck, AnOfferWithADisallowedLinkOpensNothing) {
    boxes_->answer(BoxAnswer::Yes);
    offer_release({"0.3.0", "https://downloads.example.com/h.zip"}, *boxes_, *opener_);
    offer_release({"0.3.0", "http://updates.hearthpad.app/h.zip"}, *boxes_, *opener_);
    EXPECT_EQ(boxes_->shown().size(), 2u);
    EXPECT_TRUE(opener_->opened().empty());
}

TEST_F(UpdateCheck, UpToDateIsSilentAutomaticallyAndSaidManually) {
    for (const char* same : {"0.2.0", "0.2"}) {
        https_->respond(manifest(same));
        write_update_record(services_.dataDir, {kStart - 30 * kDay, "0.1.5"});
        EXPECT_EQ(automatic_turn(services_).outcome, AutoOutcome::UpToDate) << same;
        EXPECT_TRUE(boxes_->shown().empty()) << same;
        EXPECT_EQ(record(), (UpdateRecord{kStart, "0.1.5"})) << same;
    }
    EXPECT_EQ(manual().outcome, ManualOutcome::UpToDate);
    EXPECT_EQ(boxes_->shown(), std::vector{kUpToDateBox});
}

TEST_F(UpdateCheck, AFailedFetchLeavesTheRecordSoTheNextTurnTriesAgain) {
    https_->fail("could not resolve host");
    write_update_record(services_.dataDir, {kStart - 8 * kDay, "0.1.5"});
    EXPECT_EQ(automatic_turn(services_).outcome, AutoOutcome::FetchFailed);
    EXPECT_EQ(automatic_turn(services_).outcome, AutoOutcome::FetchFailed);
    EXPECT_EQ(fetches(), 2u);
    EXPECT_EQ(record(), (UpdateRecord{kStart - 8 * kDay, "0.1.5"}));
    EXPECT_TRUE(boxes_->shown().empty());

    // The manual check says so, and records nothing either.
    EXPECT_EQ(manual().outcome, ManualOutcome::Failed);
    EXPECT_EQ(boxes_->shown(), std::vector{kFailedBox});
    EXPECT_EQ(record(), (UpdateRecord{kStart - 8 * kDay, "0.1.5"}));
}

TEST_F(UpdateCheck, ARefusedDocumentCountsAsAFailedFetch) {
    https_->respond(manifest("1.2a"));
    EXPECT_EQ(automatic_turn(services_).outcome, AutoOutcome::FetchFailed);
    https_->respond(manifest("0.3.0", "https://downloads.example.com/h.zip"));
    EXPECT_EQ(automatic_turn(services_).outcome, AutoOutcome::FetchFailed);
    EXPECT_EQ(manual().outcome, ManualOutcome::Failed);
    EXPECT_EQ(boxes_->shown(), std::vector{kFailedBox});
    EXPECT_FALSE(std::filesystem::exists(services_.dataDir / "update_check.txt"));
}

TEST_F(UpdateCheck, ALastCheckInTheFutureIsDueAtOnce) {
    https_->respond(manifest("0.2.0"));
    write_update_record(services_.dataDir, {kStart + 1, std::nullopt});
    EXPECT_EQ(automatic_turn(services_).outcome, AutoOutcome::UpToDate);
    EXPECT_EQ(record().lastCheckUnix, kStart);
}

TEST_F(UpdateCheck, AnAnnouncedVersionThatIsGarbageOrOlderIsOfferedOver) {
    https_->respond(manifest("0.3.0"));
    std::filesystem::create_directories(services_.dataDir);
    test::write_file(services_.dataDir / "update_check.txt", "garbage\nnot a version\n");
    EXPECT_EQ(automatic_turn(services_).outcome, AutoOutcome::Announced);

    write_update_record(services_.dataDir, {std::nullopt, "0.2.9"});
    EXPECT_EQ(automatic_turn(services_).outcome, AutoOutcome::Announced);

    // A later version offered before (say by an older manifest) keeps quiet.
    write_update_record(services_.dataDir, {std::nullopt, "0.4"});
    EXPECT_EQ(automatic_turn(services_).outcome, AutoOutcome::AlreadyAnnounced);
    EXPECT_EQ(record(), (UpdateRecord{kStart, "0.4"}));
    EXPECT_EQ(boxes_->shown().size(), 2u);
}

TEST_F(UpdateCheck, AnAutomaticTurnSkipsWhileAnotherCheckRuns) {
    https_->respond(manifest("0.3.0"));
    {
        const auto other = RunningCheck::try_claim();
        ASSERT_TRUE(other);
        EXPECT_FALSE(RunningCheck::try_claim());
        EXPECT_EQ(automatic_turn(services_).outcome, AutoOutcome::Busy);
        EXPECT_FALSE(start_manual_check(services_, {}));
    }
    EXPECT_EQ(fetches(), 0u);
    EXPECT_FALSE(update_check_running());
    EXPECT_EQ(automatic_turn(services_).outcome, AutoOutcome::Announced);
    EXPECT_FALSE(update_check_running());
}

TEST_F(UpdateCheck, ManualRequestsWhileACheckRunsStartNothing) {
    https_->respond(manifest("0.3.0"));
    https_->hold();
    std::vector<std::string> threadNames;
    std::mutex namesMutex;
    services_.nameThread = [&](std::string_view name) {
        std::lock_guard lock(namesMutex);
        threadNames.emplace_back(name);
    };
    auto show = [boxes = boxes_, opener = opener_](const ManualResult& r) {
        show_manual_result(r, *boxes, *opener);
    };

    EXPECT_TRUE(start_manual_check(services_, show));
    ASSERT_TRUE(https_->wait_for_requests(1));
    EXPECT_TRUE(update_check_running());
    EXPECT_FALSE(start_manual_check(services_, show));  // chosen twice quickly: one check
    https_->release();

    ASSERT_TRUE(boxes_->wait_for_boxes(1));
    ASSERT_TRUE(wait_until_idle());
    EXPECT_EQ(boxes_->shown(), std::vector{offer_box("0.3.0")});
    EXPECT_EQ(fetches(), 1u);
    {
        std::lock_guard lock(namesMutex);
        EXPECT_EQ(threadNames, std::vector<std::string>{"update-manual"});
    }
    EXPECT_TRUE(start_manual_check(services_, show));  // free again once done
    ASSERT_TRUE(boxes_->wait_for_boxes(2));
}

TEST_F(UpdateCheck, TheAutomaticCheckRunsAtOnceThenEverySixHours) {
    https_->respond(manifest("0.3.0"));
    std::vector<std::chrono::seconds> pauses;
    services_.pause = [&](std::chrono::seconds pause) {
        pauses.push_back(pause);
        now_ += static_cast<std::uint64_t>(pause.count());
        return pauses.size() < 29;  // a week of 6-hour turns and one more
    };
    run_automatic_checks(services_);
    EXPECT_EQ(pauses, std::vector<std::chrono::seconds>(29, std::chrono::seconds(21600)));
    // 29 turns over 7 days: fetched by the first turn and by the one a week later.
    EXPECT_EQ(fetches(), 2u);
    EXPECT_EQ(boxes_->shown(), std::vector{offer_box("0.3.0")});
}

}  // namespace
}  // namespace hp::update
