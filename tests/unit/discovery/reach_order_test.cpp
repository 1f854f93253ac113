// The order of the LAN list: the address a phone can reach first. Adapters
// with a default gateway before the rest (physical before other before
// tunnels, then by metric), adapters that are down left out, an address
// reported twice kept at its best place.
#include <gtest/gtest.h>

#include "discovery/discovery_task.h"
#include "discovery/scan.h"
#include "platform/fake/fake_system.h"
#include "platform/fake/recording_mdns.h"
#include "protocol/handshake.h"
#include "store/identity.h"
#include "unit/discovery/support.h"

namespace hp::discovery {
namespace {

using platform::AdapterKind;
using platform::InterfaceAddress;
using test::on_adapter;
using test::texts;

struct OrderCase {
    const char* what;
    std::vector<InterfaceAddress> reported;
    std::vector<std::string> lan;               // in the preferred order
    std::vector<std::string> adapters;          // lanInterfaces' adapter ids, the same order
    std::vector<std::string> tailscale = {};    // unaffected: sorted as ever
};

TEST(ReachOrder, GatewayAdaptersFirst) {
    const std::vector<OrderCase> cases = {
        {"WSL's switch without a gateway after the Wi-Fi with one",
         {on_adapter("172.20.5.5", "vEthernet (WSL)", false), on_adapter("192.168.1.20", "Wi-Fi", true, 35)},
         {"192.168.1.20", "172.20.5.5"},
         {"Wi-Fi", "vEthernet (WSL)"}},
        {"two gateways: the lower metric first",
         {on_adapter("10.0.0.7", "Ethernet", true, 25), on_adapter("192.168.1.20", "Wi-Fi", true, 5)},
         {"192.168.1.20", "10.0.0.7"},
         {"Wi-Fi", "Ethernet"}},
        {"a full-tunnel VPN has a gateway too, but a physical adapter goes first",
         {on_adapter("10.8.0.2", "VPN", true, 1, AdapterKind::Tunnel),
          on_adapter("192.168.1.20", "Wi-Fi", true, 50)},
         {"192.168.1.20", "10.8.0.2"},
         {"Wi-Fi", "VPN"}},
        {"physical before other before tunnel, whatever the metrics",
         {on_adapter("10.8.0.2", "VPN", true, 1, AdapterKind::Tunnel),
          on_adapter("172.16.0.3", "Bridge", true, 2, AdapterKind::Other),
          on_adapter("192.168.1.20", "Wi-Fi", true, 50), on_adapter("10.1.1.1", "Lab", false)},
         {"192.168.1.20", "172.16.0.3", "10.8.0.2", "10.1.1.1"},
         {"Wi-Fi", "Bridge", "VPN", "Lab"}},
        {"no gateway anywhere: sorted as before",
         {on_adapter("fd00::1", "a", false), on_adapter("192.168.1.20", "b", false),
          on_adapter("172.16.0.3", "c", false), on_adapter("10.0.0.1", "d", false)},
         {"10.0.0.1", "172.16.0.3", "192.168.1.20", "fd00::1"},
         {"d", "c", "b", "a"}},
        {"within a group IPv4 before IPv6, then by octets",
         {on_adapter("fd00::20", "Wi-Fi", true, 5), on_adapter("192.168.1.21", "Wi-Fi", true, 5),
          on_adapter("192.168.1.20", "Wi-Fi", true, 5), on_adapter("10.0.0.1", "Lab", false)},
         {"192.168.1.20", "192.168.1.21", "fd00::20", "10.0.0.1"},
         {"Wi-Fi", "Wi-Fi", "Wi-Fi", "Lab"}},
        {"an adapter that is down is left out, its gateway notwithstanding",
         {on_adapter("10.9.9.9", "Unplugged", true, 1, AdapterKind::Physical, false),
          on_adapter("192.168.1.20", "Wi-Fi", true, 50), on_adapter("fd00::9", "Unplugged", true, 1,
                                                                    AdapterKind::Physical, false)},
         {"192.168.1.20"},
         {"Wi-Fi"}},
        {"an address reported twice appears once, in the gateway group",
         {on_adapter("192.168.1.20", "Bridge", false, 0, AdapterKind::Other),
          on_adapter("172.20.5.5", "vEthernet (WSL)", false), on_adapter("192.168.1.20", "Wi-Fi", true, 35)},
         {"192.168.1.20", "172.20.5.5"},
         {"Wi-Fi", "vEthernet (WSL)"}},
        {"Tailscale-range addresses are not reordered",
         {on_adapter("100.101.1.2", "Tailscale", true, 5, AdapterKind::Tunnel),
          on_adapter("fd7a:115c:a1e0::5", "Tailscale", true, 5, AdapterKind::Tunnel),
          on_adapter("100.70.1.2", "Other", false), on_adapter("192.168.1.20", "Wi-Fi", true, 50)},
         {"192.168.1.20"},
         {"Wi-Fi"},
         {"100.70.1.2", "100.101.1.2", "fd7a:115c:a1e0::5"}},
        {"loopback and IPv6 link-local stay dropped, IPv4 link-local kept",
         {on_adapter("127.0.0.1", "lo", false, 0, AdapterKind::Other), on_adapter("fe80::1", "Wi-Fi", true, 5),
          on_adapter("169.254.1.5", "Ethernet", false), on_adapter("192.168.1.20", "Wi-Fi", true, 5)},
         {"192.168.1.20", "169.254.1.5"},
         {"Wi-Fi", "Ethernet"}},
    };
    for (const auto& c : cases) {
        const LocalAddresses got = classify_addresses(c.reported);
        EXPECT_EQ(texts(got.lan), c.lan) << c.what;
        std::vector<std::string> adapters;
        ASSERT_EQ(got.lanInterfaces.size(), got.lan.size()) << c.what;
        for (std::size_t i = 0; i < got.lan.size(); ++i) {
            EXPECT_EQ(got.lanInterfaces[i].address, got.lan[i]) << c.what;
            adapters.push_back(got.lanInterfaces[i].adapterId);
        }
        EXPECT_EQ(adapters, c.adapters) << c.what;
        EXPECT_EQ(texts(got.tailscale), c.tailscale) << c.what;
    }
}

TEST(ReachOrder, DuplicateKeepsTheGatewayAdaptersFacts) {
    const LocalAddresses got = classify_addresses({on_adapter("192.168.1.20", "Bridge", false, 0, AdapterKind::Other),
                                                   on_adapter("192.168.1.20", "Wi-Fi", true, 35)});
    ASSERT_EQ(got.lanInterfaces.size(), 1u);
    EXPECT_EQ(got.lanInterfaces[0], on_adapter("192.168.1.20", "Wi-Fi", true, 35));
}

// The pairing link names the first IPv4 address of the LAN list: the Wi-Fi's
// now, not WSL's switch that sorts before it.
TEST(ReachOrder, PairingLinkNamesTheReachableAddress) {
    const LocalAddresses scan = classify_addresses(
        {on_adapter("172.20.5.5", "vEthernet (WSL)", false), on_adapter("192.168.1.20", "Wi-Fi", true, 35)});
    store::HostIdentity identity;
    identity.hostId = "0b5e2a4c-6f1d-4e8a-9c3b-7d2f1a0e5b6c";
    protocol::HostInfo info;
    info.hostName = "PC";
    info.tcpPort = 49182;
    const std::string link = protocol::pairing_link(identity, info, snapshot_from_scan(scan), "123456");
    EXPECT_NE(link.find("&lan=192.168.1.20%3A49182&"), std::string::npos) << link;
}

// The platform reports adapters that are down; the scan is what leaves them
// out.
TEST(ReachOrder, ScanOfTheSystemSkipsAdaptersThatAreDown) {
    fake::FakeSystem system;
    system.set_interface_addresses(std::vector<InterfaceAddress>{
        on_adapter("10.9.9.9", "Unplugged", true, 1, AdapterKind::Physical, false),
        on_adapter("172.20.5.5", "vEthernet (WSL)", false),
        on_adapter("192.168.1.20", "Wi-Fi", true, 35),
    });
    const LocalAddresses scan = scan_local_addresses(system_enumeration(system));
    EXPECT_EQ(texts(scan.lan), (std::vector<std::string>{"192.168.1.20", "172.20.5.5"}));

    // The plain overload: every address up on "fake0", without a gateway.
    system.set_interfaces(std::vector<IpAddress>{test::ip("192.168.1.20"), test::ip("10.0.0.7")});
    const LocalAddresses plain = scan_local_addresses(system_enumeration(system));
    EXPECT_EQ(texts(plain.lan), (std::vector<std::string>{"10.0.0.7", "192.168.1.20"}));
    ASSERT_EQ(plain.lanInterfaces.size(), 2u);
    EXPECT_EQ(plain.lanInterfaces[0].adapterId, "fake0");
    EXPECT_FALSE(plain.lanInterfaces[0].hasGateway);
    EXPECT_TRUE(plain.lanInterfaces[0].up);

    system.set_interfaces(std::nullopt);
    EXPECT_EQ(scan_local_addresses(system_enumeration(system)), LocalAddresses{});
}

// The Windows responder publishes the first address of each family, so a
// change of the LAN list's order alone is a change of the advertisement.
TEST(ReachOrder, OrderChangeAloneRegistersAgain) {
    auto responder = std::make_shared<fake::RecordingMdnsResponder>();
    SteadyTime now{};
    DiscoveryOptions o;
    o.snapshot = std::make_shared<SharedNetworkSnapshot>();
    o.advert = AdvertConfig{"0b5e2a4c-6f1d-4e8a-9c3b-7d2f1a0e5b6c", "PC", {}, 49182};
    o.responder = responder;
    o.now = [&now] { return now; };
    DiscoveryTask task(std::move(o));
    const auto cycle = [&](const LocalAddresses& scan) {
        now += std::chrono::seconds(10);
        return task.run_cycle(scan, [](bool) { return std::nullopt; });
    };
    const auto wifi_first = classify_addresses(
        {on_adapter("172.20.5.5", "vEthernet (WSL)", false), on_adapter("192.168.1.20", "Wi-Fi", true, 35)});
    const auto wsl_first = classify_addresses(
        {on_adapter("172.20.5.5", "vEthernet (WSL)", true, 5), on_adapter("192.168.1.20", "Wi-Fi", false)});
    ASSERT_EQ(texts(wsl_first.lan), (std::vector<std::string>{"172.20.5.5", "192.168.1.20"}));

    EXPECT_TRUE(cycle(wifi_first));
    EXPECT_FALSE(cycle(wifi_first));
    EXPECT_EQ(responder->lines(), std::vector<std::string>{"register PC._hearthpad._tcp.local."});
    responder->clear();

    EXPECT_TRUE(cycle(wsl_first)) << "the snapshot compares the order too";
    EXPECT_EQ(responder->lines(), (std::vector<std::string>{"unregister PC._hearthpad._tcp.local.",
                                                             "register PC._hearthpad._tcp.local."}));
    const platform::MdnsService service = responder->calls().back().service;
    EXPECT_EQ(platform::one_address_per_family(service).v4, test::ip("172.20.5.5"));
    EXPECT_EQ(texts(platform::service_addresses(service)), (std::vector<std::string>{"172.20.5.5", "192.168.1.20"}))
        << "the whole list is published sorted";
    responder->clear();

    EXPECT_FALSE(cycle(wsl_first));
    EXPECT_TRUE(responder->lines().empty());
}

}  // namespace
}  // namespace hp::discovery
