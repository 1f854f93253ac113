// The address rules of discovery: which interface addresses are reported,
// in which list and order; the mDNS host label; the "ts" property.
#include <gtest/gtest.h>

#include "discovery/advertisement.h"
#include "discovery/scan.h"
#include "platform/mdns_responder.h"
#include "unit/discovery/support.h"

namespace hp::discovery {
namespace {

using test::ips;
using test::texts;

struct ScanCase {
    const char* what;
    std::vector<const char*> reported;
    std::vector<std::string> lan;
    std::vector<std::string> tailscale;
};

TEST(Scan, ClassifiesInterfaceAddresses) {
    const std::vector<ScanCase> cases = {
        {"public IPv4 and global IPv6 only", {"203.0.113.7", "2001:db8::7"}, {}, {}},
        {"IPv4 link-local kept, IPv6 link-local dropped", {"169.254.1.5", "fe80::1"}, {"169.254.1.5"}, {}},
        {"loopback dropped", {"127.0.0.1", "127.5.5.5", "::1"}, {}, {}},
        {"Tailscale ranges apart from the LAN",
         {"100.101.102.103", "fd7a:115c:a1e0::5", "192.168.1.20"},
         {"192.168.1.20"},
         {"100.101.102.103", "fd7a:115c:a1e0::5"}},
        {"100.63.0.1 is neither private nor Tailscale", {"100.63.0.1", "100.128.0.1"}, {}, {}},
        {"duplicates from two interfaces once", {"10.0.0.1", "10.0.0.1", "fd00::2", "fd00::2"},
         {"10.0.0.1", "fd00::2"}, {}},
        {"sorted by octets, IPv4 before IPv6",
         {"fd00::1", "192.168.1.20", "172.16.0.3", "10.0.0.1", "fc00::9"},
         {"10.0.0.1", "172.16.0.3", "192.168.1.20", "fc00::9", "fd00::1"}, {}},
        {"Tailscale list sorted too", {"fd7a:115c:a1e0::5", "100.70.1.2", "100.64.0.1"}, {},
         {"100.64.0.1", "100.70.1.2", "fd7a:115c:a1e0::5"}},
        {"unspecified addresses dropped", {"0.0.0.0", "::"}, {}, {}},
    };
    for (const auto& c : cases) {
        std::vector<IpAddress> reported;
        for (const char* t : c.reported) reported.push_back(test::ip(t));
        const LocalAddresses got = classify_addresses(test::plain_interfaces(reported));
        EXPECT_EQ(texts(got.lan), c.lan) << c.what;
        EXPECT_EQ(texts(got.tailscale), c.tailscale) << c.what;
    }
}

TEST(Scan, FailedEnumerationGivesEmptyLists) {
    const auto failed = [] { return std::optional<std::vector<platform::InterfaceAddress>>{}; };
    EXPECT_EQ(scan_local_addresses(failed), LocalAddresses{});
    const auto some = [] { return std::optional(test::plain_interfaces(ips({"10.1.1.1", "100.70.1.2"}))); };
    const auto scan = scan_local_addresses(some);
    EXPECT_EQ(texts(scan.lan), std::vector<std::string>{"10.1.1.1"});
    const NetworkSnapshot start = snapshot_from_scan(scan);
    EXPECT_EQ(texts(start.tailscale), std::vector<std::string>{"100.70.1.2"});
    EXPECT_TRUE(start.tailscalePeers.empty());
    EXPECT_FALSE(start.tailscaleDnsName);
}

TEST(HostLabel, KeepsAsciiLettersAndDigits) {
    EXPECT_EQ(host_label("Büro PC_2"), "B-ro-PC-2");
    EXPECT_EQ(host_label(""), "windows-pc");
    EXPECT_EQ(host_label("DESKTOP-4F2K"), "DESKTOP-4F2K");
    EXPECT_EQ(host_label("日本"), "--");         // one "-" per character, not per byte
    EXPECT_EQ(host_label("a\xff" "b"), "a-b");   // an ill-formed byte is one character

    AdvertConfig config{"id", "Büro PC_2", {}, 49182};
    NetworkSnapshot net;
    net.lan = ips({"192.168.1.20"});
    EXPECT_EQ(service_description(config, net).hostName, "B-ro-PC-2.local.");
    config.hostName = "";
    EXPECT_EQ(service_description(config, net).hostName, "windows-pc.local.");
}

TEST(TsProperty, FirstIpv4OfTheTailscaleList) {
    NetworkSnapshot net;
    net.tailscale = ips({"fd7a:115c:a1e0::9", "100.70.1.2"});
    EXPECT_EQ(ts_property(net, 41000), "100.70.1.2:41000");
    net.tailscale = ips({"fd7a:115c:a1e0::9"});
    EXPECT_EQ(ts_property(net, 41000), "[fd7a:115c:a1e0::9]:41000");
    net.tailscale.clear();
    EXPECT_EQ(ts_property(net, 41000), std::nullopt);
}

TEST(AdvertisedAddresses, LanAndTailscaleSortedOnce) {
    NetworkSnapshot net;
    net.lan = ips({"192.168.1.20", "fd00::1"});
    net.tailscale = ips({"fd7a:115c:a1e0::9", "100.70.1.2"});
    EXPECT_EQ(texts(advertised_addresses(net)),
              (std::vector<std::string>{"100.70.1.2", "192.168.1.20", "fd00::1", "fd7a:115c:a1e0::9"}));
}

// Windows publishes one address per family: the LAN's where it has one.
TEST(OneAddressPerFamily, LanFirstThenTailscale) {
    struct Case {
        std::vector<IpAddress> lan, tailscale;
        std::optional<std::string> v4, v6;
    };
    const std::vector<Case> cases = {
        {ips({"10.0.0.1", "192.168.1.2", "fd00::1"}), ips({"100.70.1.2", "fd7a:115c:a1e0::9"}), "10.0.0.1",
         "fd00::1"},
        {ips({"192.168.1.2"}), ips({"fd7a:115c:a1e0::9", "100.70.1.2"}), "192.168.1.2", "fd7a:115c:a1e0::9"},
        {{}, ips({"fd7a:115c:a1e0::9", "100.80.0.1", "100.70.1.2"}), "100.80.0.1", "fd7a:115c:a1e0::9"},
        {ips({"fd00::1"}), {}, std::nullopt, "fd00::1"},
    };
    for (const auto& c : cases) {
        platform::MdnsService s;
        s.lan = c.lan;
        s.tailscale = c.tailscale;
        const auto pair = platform::one_address_per_family(s);
        EXPECT_EQ(pair.v4 ? std::optional(pair.v4->to_string()) : std::nullopt, c.v4);
        EXPECT_EQ(pair.v6 ? std::optional(pair.v6->to_string()) : std::nullopt, c.v6);
    }
}

}  // namespace
}  // namespace hp::discovery
