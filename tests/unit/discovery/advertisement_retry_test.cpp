// The daemon's later answer to a registration: one it fails, or leaves
// unanswered for 30 s, is made again in the next cycle, once; where the
// advertisement stands is published after every cycle.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "crypto/crypto.h"
#include "discovery/discovery_task.h"
#include "platform/fake/recording_mdns.h"
#include "unit/discovery/support.h"

namespace hp::discovery {
namespace {

using namespace std::chrono_literals;
using platform::MdnsRegistrationState;
using test::scan_of;
using Lines = std::vector<std::string>;

const std::string kFullName = "Desk._hearthpad._tcp.local.";
const std::string kRegister = "register " + kFullName;
const std::string kUnregister = "unregister " + kFullName;
const std::string kCancel = "cancel " + kFullName;

// A discovery task with a recording responder and a clock the test moves.
struct Host {
    explicit Host(bool with_responder = true, bool with_config = true) {
        crypto::init();
        DiscoveryOptions o;
        if (with_config) o.advert = AdvertConfig{"id-1", "Desk", {}, 49182};
        if (with_responder) o.responder = responder;
        o.now = [this] { return now; };
        task = std::make_unique<DiscoveryTask>(std::move(o));
    }

    // One cycle `after` the previous one; Tailscale is not installed.
    void cycle(const LocalAddresses& scan, std::chrono::seconds after = 10s) {
        now += after;
        task->run_cycle(scan, [](bool) { return std::nullopt; });
    }

    std::shared_ptr<fake::RecordingMdnsResponder> responder = std::make_shared<fake::RecordingMdnsResponder>();
    SteadyTime now{};
    std::unique_ptr<DiscoveryTask> task;
};

const LocalAddresses kWired = scan_of({"192.168.1.20"});

TEST(AdvertisementRetry, FailureAnsweredAfterRegisteringIsRegisteredAgainOnce) {
    Host host;
    host.cycle(kWired);
    EXPECT_EQ(host.responder->lines(), Lines{kRegister});
    EXPECT_EQ(host.task->advert_state(), AdvertState::Registered);

    // A name conflict after a network change, on an unchanged address list.
    host.responder->answer_live(MdnsRegistrationState::Failed);
    host.responder->clear();
    host.cycle(kWired);
    EXPECT_EQ(host.responder->lines(), Lines{kRegister}) << "the failed one had nothing to withdraw";
    EXPECT_EQ(host.responder->live(), 1);
    EXPECT_EQ(host.task->advert_state(), AdvertState::Registered);

    // Registered now: the following cycles leave it alone.
    host.cycle(kWired);
    host.cycle(kWired, 60s);
    EXPECT_EQ(host.responder->lines(), Lines{kRegister});
    EXPECT_EQ(host.task->advert_state(), AdvertState::Registered);
}

TEST(AdvertisementRetry, DaemonThatFailsEveryRegistrationIsAskedOncePerCycle) {
    Host host;
    host.responder->start_new_as(MdnsRegistrationState::Failed);
    host.cycle(kWired);
    EXPECT_EQ(host.task->advert_state(), AdvertState::Failed);
    host.cycle(kWired);
    host.cycle(kWired);
    EXPECT_EQ(host.responder->lines(), (Lines{kRegister, kRegister, kRegister}));
    EXPECT_EQ(host.responder->live(), 1);
    EXPECT_EQ(host.task->advert_state(), AdvertState::Failed);
}

TEST(AdvertisementRetry, UnansweredRegistrationIsCancelledAndMadeAgainAfter30Seconds) {
    struct Case {
        std::chrono::seconds wait;  // from the registration to the next cycle
        Lines lines;                // what that cycle asks the daemon
    };
    const Case cases[] = {
        {10s, {}},
        {29s, {}},
        {30s, {kCancel, kRegister}},
        {95s, {kCancel, kRegister}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.wait.count());
        Host host;
        host.responder->start_new_as(MdnsRegistrationState::Pending);
        host.cycle(kWired);
        EXPECT_EQ(host.task->advert_state(), AdvertState::Pending);
        host.responder->clear();
        host.cycle(kWired, c.wait);
        EXPECT_EQ(host.responder->lines(), c.lines);
        EXPECT_EQ(host.responder->live(), 1);
        EXPECT_EQ(host.task->advert_state(), AdvertState::Pending);
    }
}

TEST(AdvertisementRetry, RetriedRegistrationGetsItsOwn30Seconds) {
    Host host;
    host.responder->start_new_as(MdnsRegistrationState::Pending);
    host.cycle(kWired);
    host.cycle(kWired, 30s);
    EXPECT_EQ(host.responder->lines(), (Lines{kRegister, kCancel, kRegister}));
    // 50 s after the first registration, 20 s after the second.
    host.responder->clear();
    host.cycle(kWired, 20s);
    EXPECT_TRUE(host.responder->lines().empty());

    // The daemon answers the second one at last.
    host.responder->answer_live(MdnsRegistrationState::Registered);
    host.cycle(kWired, 20s);
    host.cycle(kWired, 60s);
    EXPECT_TRUE(host.responder->lines().empty());
    EXPECT_EQ(host.task->advert_state(), AdvertState::Registered);
}

TEST(AdvertisementRetry, StateAfterEachCycle) {
    // Each case: how the daemon answers, then the scans, one cycle each.
    struct Case {
        const char* what;
        bool refuse;
        MdnsRegistrationState answer;
        std::vector<LocalAddresses> scans;
        AdvertState state;
        Lines lines;
    };
    const auto none = scan_of({"203.0.113.7"});  // a public address only
    const Case cases[] = {
        {"no address", false, MdnsRegistrationState::Registered, {none}, AdvertState::NoAddress, {}},
        {"refused", true, MdnsRegistrationState::Registered, {kWired}, AdvertState::Failed, {}},
        {"unanswered", false, MdnsRegistrationState::Pending, {kWired}, AdvertState::Pending, {kRegister}},
        {"confirmed", false, MdnsRegistrationState::Registered, {kWired}, AdvertState::Registered, {kRegister}},
        {"addresses lost: the last registration stays", false, MdnsRegistrationState::Registered, {kWired, none},
         AdvertState::Registered, {kRegister}},
        {"failed, then every address lost: nothing is left", false, MdnsRegistrationState::Failed,
         {kWired, none}, AdvertState::NoAddress, {kRegister}},
        {"unanswered, then the network changed", false, MdnsRegistrationState::Pending,
         {kWired, scan_of({"192.168.1.20", "10.0.0.7"})}, AdvertState::Pending, {kRegister, kCancel, kRegister}},
        {"confirmed, then the network changed", false, MdnsRegistrationState::Registered,
         {kWired, scan_of({"192.168.1.20", "10.0.0.7"})}, AdvertState::Registered,
         {kRegister, kUnregister, kRegister}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Host host;
        if (c.refuse) host.responder->refuse_next(1);
        host.responder->start_new_as(c.answer);
        for (const auto& scan : c.scans) host.cycle(scan);
        EXPECT_EQ(host.task->advert_state(), c.state);
        EXPECT_EQ(host.responder->lines(), c.lines);
    }
}

TEST(AdvertisementRetry, NothingAdvertisedIsOff) {
    for (const bool with_responder : {false, true}) {
        Host host(with_responder, /*with_config=*/!with_responder);
        host.cycle(kWired);
        EXPECT_EQ(host.task->advert_state(), AdvertState::Off);
        EXPECT_TRUE(host.responder->calls().empty());
    }
}

}  // namespace
}  // namespace hp::discovery
