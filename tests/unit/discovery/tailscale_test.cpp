// Tailscale: reading the status document, the local API response checks,
// and the query schedule driven through the discovery cycle.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string_view>

#include "discovery/discovery_task.h"
#include "discovery/tailscale.h"
#include "discovery/tailscale_query.h"
#include "platform/fake/fake_process_runner.h"
#include "unit/discovery/support.h"

namespace hp::discovery {
namespace {

using test::ips;
using test::scan_of;
using test::texts;
using std::chrono::seconds;

TEST(TailscaleStatus, ReadsSelfAndPeers) {
    const auto info = parse_tailscale_status(R"({
        "Version": "1.62.0", "BackendState": "Running",
        "Self": {"ID": "n1", "DNSName": "pc.tail1234.ts.net.", "HostName": "pc", "Online": true,
                 "TailscaleIPs": ["100.101.1.2", "fd7a:115c:a1e0::3", "192.168.1.9", "not an address"]},
        "Peer": {
            "nodekey:aa": {"DNSName": "phone.tail1234.ts.net.", "TailscaleIPs": ["100.90.0.2", "fd7a:115c:a1e0::20"]},
            "nodekey:bb": {"TailscaleIPs": ["100.90.0.2", "100.64.0.9", "8.8.8.8", "100.63.0.1"]},
            "nodekey:cc": {"TailscaleIPs": null},
            "nodekey:dd": {}
        },
        "MagicDNSSuffix": "tail1234.ts.net", "User": {"1": {"LoginName": "x"}}
    })");
    ASSERT_TRUE(info);
    EXPECT_EQ(texts(info->selfIps), (std::vector<std::string>{"100.101.1.2", "fd7a:115c:a1e0::3"}));
    EXPECT_EQ(info->dnsName, "pc.tail1234.ts.net");
    EXPECT_EQ(texts(info->peerIps), (std::vector<std::string>{"100.64.0.9", "100.90.0.2", "fd7a:115c:a1e0::20"}));
}

TEST(TailscaleStatus, DnsNameTrailingDots) {
    struct Case {
        const char* doc;
        std::optional<std::string> name;
    };
    const std::vector<Case> cases = {
        {R"({"Self":{"DNSName":"pc.ts.net..."}})", "pc.ts.net"},
        {R"({"Self":{"DNSName":"pc"}})", "pc"},
        {R"({"Self":{"DNSName":""}})", std::nullopt},
        {R"({"Self":{"DNSName":"..."}})", std::nullopt},
        {R"({"Self":{"DNSName":null}})", std::nullopt},
        {R"({"Self":{}})", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto info = parse_tailscale_status(c.doc);
        ASSERT_TRUE(info) << c.doc;
        EXPECT_EQ(info->dnsName, c.name) << c.doc;
    }
}

TEST(TailscaleStatus, MissingOrNullMembersCountAsEmpty) {
    for (const char* doc : {"{}", R"({"Self":null,"Peer":null})", R"({"Self":{"TailscaleIPs":[]},"Peer":{}})",
                            R"({"Peer":{"k":null}})"}) {
        const auto info = parse_tailscale_status(doc);
        ASSERT_TRUE(info) << doc;
        EXPECT_EQ(*info, TailscaleInfo{}) << doc;
    }
}

TEST(TailscaleStatus, RefusesOtherShapes) {
    using namespace std::string_view_literals;
    for (const std::string_view doc : std::initializer_list<std::string_view>{
             "", "not json", "[]", "null", "42", R"("Self")", R"({"Self":)",
             R"({"Self":[]})", R"({"Self":"pc"})", R"({"Self":{"DNSName":7}})",
             R"({"Self":{"TailscaleIPs":"100.101.1.2"}})", R"({"Self":{"TailscaleIPs":[1]}})",
             R"({"Peer":[]})", R"({"Peer":{"k":[]}})", R"({"Peer":{"k":{"TailscaleIPs":[null]}}})",
             "{\"Self\":{\"DNSName\":\"\xff\"}}",
             // a zero byte after, before or inside the object
             "{}\0"sv, "{\"Self\":null}\0junk"sv, "\0{}"sv, "{\"Self\":{\"DNSName\":\"pc\0\"}}"sv,
         })
        EXPECT_FALSE(parse_tailscale_status(doc)) << doc;
}

TEST(TailscaleAddresses, ScannedFirstThenNewSelfAddresses) {
    TailscaleInfo info;
    info.selfIps = ips({"100.101.1.2", "fd7a:115c:a1e0::3"});
    EXPECT_EQ(texts(tailscale_addresses(ips({"100.101.1.2"}), info)),
              (std::vector<std::string>{"100.101.1.2", "fd7a:115c:a1e0::3"}));
    info.selfIps = ips({"100.64.0.1"});  // not seen by the scan: appended after it
    EXPECT_EQ(texts(tailscale_addresses(ips({"100.101.1.2"}), info)),
              (std::vector<std::string>{"100.101.1.2", "100.64.0.1"}));
    EXPECT_EQ(texts(tailscale_addresses(ips({"100.101.1.2"}), std::nullopt)),
              (std::vector<std::string>{"100.101.1.2"}));
}

TEST(LocalApiResponse, CountsOnlyAStatus200Reply) {
    struct Case {
        std::string response;
        std::optional<std::string> body;
    };
    const std::vector<Case> cases = {
        {"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n\r\n{\"Self\":{}}", "{\"Self\":{}}"},
        {"HTTP/1.0 200 OK\r\n\r\n", ""},
        {"HTTP/1.1 403 Forbidden\r\nContent-Length: 2\r\n\r\n{}", std::nullopt},
        // "200" anywhere in the head counts; the status line is not parsed further.
        {"HTTP/1.1 500 Oops\r\nX-Request: 1200\r\n\r\nbody\r\n\r\nmore", "body\r\n\r\nmore"},
        {"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n{}", std::nullopt},  // no blank line
        {"HTTP/2 200\r\n\r\n{}", std::nullopt},
        {"", std::nullopt},
        {"HTTP/1.1 404 Not Found\r\n\r\n200", std::nullopt},  // "200" only in the body
    };
    for (const auto& c : cases) {
        const auto body = local_api_body(c.response);
        EXPECT_EQ(body ? std::optional(std::string(*body)) : std::nullopt, c.body) << c.response;
    }
}

// The schedule, seen as the `tailscale` program's starts: a scripted scan
// per 10 s cycle, an injected clock, the program answering through a fake.
class TailscaleSchedule : public ::testing::Test {
protected:
    TailscaleSchedule() {
        DiscoveryOptions o;
        o.snapshot = snapshot;
        o.now = [this] { return now; };
        task = std::make_unique<DiscoveryTask>(std::move(o));
    }

    // Runs one cycle at `at` seconds; true when the program was started.
    bool cycle_at(int at, const LocalAddresses& scan) {
        now = SteadyTime{} + seconds(at);
        const std::size_t before = runner.requests().size();
        task->run_cycle(scan, [this](bool has_range) {
            hasRange.push_back(has_range);
            return query_tailscale_program(runner, {});
        });
        return runner.requests().size() > before;
    }

    std::shared_ptr<SharedNetworkSnapshot> snapshot = std::make_shared<SharedNetworkSnapshot>();
    fake::FakeProcessRunner runner;
    SteadyTime now{};
    std::vector<bool> hasRange;
    std::unique_ptr<DiscoveryTask> task;
};

TEST_F(TailscaleSchedule, WithoutTailscaleOnceAMinute) {
    const auto lan = scan_of({"192.168.1.20"});
    std::vector<int> started;
    for (int t = 0; t <= 130; t += 10)
        if (cycle_at(t, lan)) started.push_back(t);
    EXPECT_EQ(started, (std::vector<int>{0, 60, 120}));
    ASSERT_FALSE(runner.requests().empty());
    EXPECT_EQ(runner.requests()[0].program, "tailscale");
    EXPECT_EQ(runner.requests()[0].args, (std::vector<std::string>{"status", "--json"}));
    EXPECT_EQ(runner.requests()[0].installFolder, "Tailscale");  // never this program's own folder
    EXPECT_EQ(snapshot->get().tailscale, std::vector<IpAddress>{});
    EXPECT_EQ(hasRange, std::vector<bool>(3, false));
}

TEST_F(TailscaleSchedule, WithATailscaleAddressEveryThirtySecondsAndAtOnceOnChange) {
    const auto lan = scan_of({"192.168.1.20"});
    const auto joined = scan_of({"192.168.1.20", "100.101.1.2"});
    const auto moved = scan_of({"192.168.1.20", "100.101.1.3"});
    struct Step {
        int at;
        const LocalAddresses* scan;
        bool queried;
    };
    const std::vector<Step> steps = {
        {0, &lan, true},      {10, &lan, false},    {20, &joined, true},  // the list changed
        {30, &joined, false}, {40, &joined, false}, {50, &joined, true},  // 30 s later
        {60, &moved, true},                                                // changed again
        {70, &moved, false},  {80, &moved, false},  {90, &moved, true},
        {100, &lan, true},                                                 // gone: changed
        {110, &lan, false},   {150, &lan, false},   {160, &lan, true},     // 60 s again
    };
    for (const auto& s : steps) EXPECT_EQ(cycle_at(s.at, *s.scan), s.queried) << "at " << s.at;
    EXPECT_EQ(hasRange, (std::vector<bool>{false, true, true, true, true, false, false}));
}

TEST_F(TailscaleSchedule, AnswerFeedsTheSnapshotUntilTheNextQuery) {
    runner.push(platform::ProcessOutcome{0, R"({"Self":{"DNSName":"pc.ts.net.","TailscaleIPs":
        ["100.101.1.2","fd7a:115c:a1e0::3"]},"Peer":{"a":{"TailscaleIPs":["100.90.0.2"]},
        "b":{"TailscaleIPs":["100.90.0.2"]}}})", false});
    const auto scan = scan_of({"192.168.1.20", "100.101.1.2"});
    cycle_at(0, scan);
    NetworkSnapshot net = snapshot->get();
    EXPECT_EQ(texts(net.tailscale), (std::vector<std::string>{"100.101.1.2", "fd7a:115c:a1e0::3"}));
    EXPECT_EQ(texts(net.tailscalePeers), std::vector<std::string>{"100.90.0.2"});
    EXPECT_EQ(net.tailscaleDnsName, "pc.ts.net");
    EXPECT_EQ(tailscale_endpoints(net, 49182),
              (std::vector<std::string>{"100.101.1.2:49182", "[fd7a:115c:a1e0::3]:49182", "pc.ts.net:49182"}));

    // The interface went away, but the cached answer stays until the next
    // due query, which here comes at once because the list changed.
    const auto lan_only = scan_of({"192.168.1.20"});
    cycle_at(10, lan_only);  // the program is gone: the cache is cleared
    net = snapshot->get();
    EXPECT_TRUE(net.tailscale.empty());
    EXPECT_TRUE(net.tailscalePeers.empty());
    EXPECT_FALSE(net.tailscaleDnsName);
}

TEST_F(TailscaleSchedule, ProgramFailuresGiveNoAnswer) {
    const auto lan = scan_of({"192.168.1.20"});
    const std::string doc = R"({"Self":{"TailscaleIPs":["100.101.1.2"]}})";
    runner.push(platform::ProcessOutcome{1, doc, false});         // exit code 1
    runner.push(platform::ProcessOutcome{0, "Tailscale is stopped.", false});
    runner.push(platform::ProcessOutcome{0, doc, true});          // cut off at the output limit
    runner.push(fail("tailscale: time limit reached"));
    for (int t = 0; t <= 180; t += 60) {
        EXPECT_TRUE(cycle_at(t, lan));
        EXPECT_FALSE(task->tailscale_schedule().cache) << "at " << t;
    }
}

}  // namespace
}  // namespace hp::discovery
