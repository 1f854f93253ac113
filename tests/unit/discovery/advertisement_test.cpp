// The mDNS registration kept in step with the addresses, driven through the
// discovery cycle with scripted scans and a recording responder.
#include <gtest/gtest.h>

#include <map>

#include "crypto/crypto.h"
#include "discovery/discovery_task.h"
#include "platform/fake/recording_mdns.h"
#include "unit/discovery/support.h"

namespace hp::discovery {
namespace {

using test::scan_of;
using test::texts;

class Advertising : public ::testing::Test {
protected:
    Advertising() {
        crypto::init();
        for (std::size_t i = 0; i < config.hostKey.size(); ++i) config.hostKey[i] = static_cast<std::uint8_t>(i);
        DiscoveryOptions o;
        o.snapshot = snapshot;
        o.advert = config;
        o.responder = responder;
        o.onChange = [this] { ++changes; };
        o.now = [this] { return now; };
        task = std::make_unique<DiscoveryTask>(std::move(o));
    }

    // One cycle 10 s after the previous one; Tailscale is not installed.
    bool cycle(const LocalAddresses& scan) {
        now += std::chrono::seconds(10);
        return task->run_cycle(scan, [](bool) { return std::nullopt; });
    }

    AdvertConfig config{"0b5e2a4c-6f1d-4e8a-9c3b-7d2f1a0e5b6c", "Büro PC_2", {}, 49182};
    std::shared_ptr<SharedNetworkSnapshot> snapshot = std::make_shared<SharedNetworkSnapshot>();
    std::shared_ptr<fake::RecordingMdnsResponder> responder = std::make_shared<fake::RecordingMdnsResponder>();
    SteadyTime now{};
    int changes = 0;
    std::unique_ptr<DiscoveryTask> task;
    const std::string fullName = "Büro PC_2._hearthpad._tcp.local.";
};

TEST_F(Advertising, RegistersTheServiceDescription) {
    cycle(scan_of({"192.168.1.20", "100.70.1.2", "fd7a:115c:a1e0::9", "fe80::1"}));
    const auto calls = responder->calls();
    ASSERT_EQ(calls.size(), 1u);
    const platform::MdnsService& s = calls[0].service;
    EXPECT_EQ(calls[0].fullName, fullName);
    EXPECT_EQ(s.serviceType, "_hearthpad._tcp.local.");
    EXPECT_EQ(s.instanceName, "Büro PC_2");
    EXPECT_EQ(s.hostName, "B-ro-PC-2.local.");
    EXPECT_EQ(texts(platform::service_addresses(s)),
              (std::vector<std::string>{"100.70.1.2", "192.168.1.20", "fd7a:115c:a1e0::9"}));
    EXPECT_EQ(s.port, 49182);
    const std::map<std::string, std::string> txt(s.txt.begin(), s.txt.end());
    EXPECT_EQ(txt.size(), s.txt.size()) << "each key once";
    EXPECT_EQ(txt, (std::map<std::string, std::string>{{"v", "1"},
                                                        {"id", config.hostId},
                                                        {"name", "Büro PC_2"},
                                                        {"os", "windows"},
                                                        {"ts", "100.70.1.2:49182"},
                                                        {"fp", crypto::fingerprint(config.hostKey)}}));
    EXPECT_EQ(txt.at("fp").size(), 16u);

    const AdvertRecord& record = task->advert_record();
    EXPECT_EQ(record.fullName, fullName);
    EXPECT_EQ(record.ts, "100.70.1.2:49182");
}

TEST_F(Advertising, NoTsPropertyWithoutTailscale) {
    cycle(scan_of({"192.168.1.20"}));
    const auto calls = responder->calls();
    ASSERT_EQ(calls.size(), 1u);
    for (const auto& [key, value] : calls[0].service.txt) EXPECT_NE(key, "ts");
}

TEST_F(Advertising, FollowsAddressChanges) {
    const auto wired = scan_of({"192.168.1.20"});
    const auto with_wifi = scan_of({"192.168.1.20", "10.0.0.7"});

    EXPECT_TRUE(cycle(wired));
    EXPECT_FALSE(cycle(wired));  // unchanged network: nothing new
    EXPECT_EQ(responder->lines(), std::vector<std::string>{"register " + fullName});

    responder->clear();
    EXPECT_TRUE(cycle(with_wifi));  // a new Wi-Fi address
    EXPECT_EQ(responder->lines(),
              (std::vector<std::string>{"unregister " + fullName, "register " + fullName}));
    EXPECT_EQ(texts(platform::service_addresses(responder->calls()[1].service)),
              (std::vector<std::string>{"10.0.0.7", "192.168.1.20"}));

    responder->clear();
    EXPECT_TRUE(cycle(scan_of({"203.0.113.7"})));  // every private address lost
    EXPECT_TRUE(snapshot->get().lan.empty());
    EXPECT_FALSE(cycle(scan_of({})));
    EXPECT_TRUE(responder->lines().empty()) << "the last registration stays";
    EXPECT_EQ(responder->live(), 1);

    EXPECT_TRUE(cycle(with_wifi));  // back as registered: still nothing to do
    EXPECT_TRUE(responder->lines().empty());
    EXPECT_EQ(changes, 4);
}

TEST_F(Advertising, RefusedRegistrationIsRetriedNextCycle) {
    const auto wired = scan_of({"192.168.1.20"});
    responder->refuse_next(1);
    cycle(wired);
    EXPECT_TRUE(responder->lines().empty());
    EXPECT_FALSE(task->advert_record().fullName);
    cycle(wired);
    EXPECT_EQ(responder->lines(), std::vector<std::string>{"register " + fullName});
    EXPECT_EQ(responder->live(), 1);

    // A refusal after a change leaves nothing registered, and the next cycle
    // registers even though the network went back to what was registered.
    responder->clear();
    responder->refuse_next(1);
    cycle(scan_of({"192.168.1.21"}));
    EXPECT_EQ(responder->lines(), std::vector<std::string>{"unregister " + fullName});
    cycle(wired);
    EXPECT_EQ(responder->lines(),
              (std::vector<std::string>{"unregister " + fullName, "register " + fullName}));
}

TEST_F(Advertising, PublicOnlyPcRegistersNothing) {
    cycle(scan_of({"203.0.113.7", "2001:db8::7"}));
    cycle(scan_of({"203.0.113.7", "2001:db8::7"}));
    EXPECT_TRUE(snapshot->get().lan.empty());
    EXPECT_TRUE(responder->calls().empty());
}

TEST_F(Advertising, ChangeHookRunsAfterTheSnapshotIsReplaced) {
    NetworkSnapshot seen;
    DiscoveryOptions o;
    o.snapshot = snapshot;
    o.onChange = [&] { seen = snapshot->get(); };  // the lock is free again here
    DiscoveryTask plain(std::move(o));               // no responder: endpoints only
    EXPECT_TRUE(plain.run_cycle(scan_of({"192.168.1.20"}), {}));
    EXPECT_EQ(texts(seen.lan), std::vector<std::string>{"192.168.1.20"});
}

TEST_F(Advertising, DroppingTheTaskUnregisters) {
    cycle(scan_of({"192.168.1.20"}));
    EXPECT_EQ(responder->live(), 1);
    task.reset();
    EXPECT_EQ(responder->live(), 0);
    EXPECT_EQ(responder->lines().back(), "unregister " + fullName);
}

}  // namespace
}  // namespace hp::discovery
