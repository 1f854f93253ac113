// The Linux interface facts read from the kernel's text: default routes from
// /proc/net/route and /proc/net/ipv6_route (samples taken from a namespace
// with two interfaces, several default routes and an unreachable one), the
// adapter kind from /sys/class/net, the device of an address label.
#include "platform/posix/routes.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace hp::platform {
namespace {

using Routes = std::map<std::string, std::uint32_t>;

// `ip route add default via 192.168.77.2 dev v0 metric 50` (and metric 100),
// `... via 10.1.0.1 dev w0 metric 600`, `unreachable default metric 9999`,
// two on-link routes and 172.30.0.0/16 via w0. Rows are padded with spaces.
constexpr const char* kRoute =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT       \n"
    "v0\t00000000\t024DA8C0\t0003\t0\t0\t50\t00000000\t0\t0\t0                                \n"
    "v0\t00000000\t014DA8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0                               \n"
    "w0\t00000000\t0100010A\t0003\t0\t0\t600\t00000000\t0\t0\t0                               \n"
    "*\t00000000\t00000000\t0201\t0\t0\t9999\t00000000\t0\t0\t0                               \n"
    "w0\t0000010A\t00000000\t0001\t0\t0\t0\t0000FFFF\t0\t0\t0                                 \n"
    "w0\t00001EAC\t0100010A\t0003\t0\t0\t0\t0000FFFF\t0\t0\t0                                 \n"
    "v0\t004DA8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0                                 \n";

// `ip -6 route add default via fd00::1 dev v0 metric 1024`,
// `... default dev w0 metric 300`, `unreachable default metric 5000`, the
// kernel's own unreachable default on lo, link-local, local and multicast
// routes.
constexpr const char* kIpv6Route =
    "fd000000000000000000000000000000 40 00000000000000000000000000000000 00 "
    "00000000000000000000000000000000 00000100 00000001 00000000 00000001       v0\n"
    "fe800000000000000000000000000000 40 00000000000000000000000000000000 00 "
    "00000000000000000000000000000000 00000100 00000001 00000000 00000001       v0\n"
    "fe800000000000000000000000000000 40 00000000000000000000000000000000 00 "
    "00000000000000000000000000000000 00000100 00000001 00000000 00000001       w0\n"
    "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
    "00000000000000000000000000000000 0000012c 00000001 00000000 00000001       w0\n"
    "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
    "fd000000000000000000000000000001 00000400 00000001 00000000 00000003       v0\n"
    "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
    "00000000000000000000000000000000 00001388 00000001 00000000 00200200       lo\n"
    "00000000000000000000000000000001 80 00000000000000000000000000000000 00 "
    "00000000000000000000000000000000 00000000 00000002 00000000 80200001       lo\n"
    "fd000000000000000000000000000005 80 00000000000000000000000000000000 00 "
    "00000000000000000000000000000000 00000000 00000002 00000000 80200001       v0\n"
    "ff000000000000000000000000000000 08 00000000000000000000000000000000 00 "
    "00000000000000000000000000000000 00000100 00000002 00000000 00000001       v0\n"
    "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
    "00000000000000000000000000000000 ffffffff 00000001 00000000 00200200       lo\n";

TEST(DefaultRoutes, Ipv4LowestMetricPerInterface) {
    EXPECT_EQ(default_routes_v4(kRoute), (Routes{{"v0", 50}, {"w0", 600}}));
}

TEST(DefaultRoutes, Ipv6HexadecimalMetricsAndNoRejectRoutes) {
    EXPECT_EQ(default_routes_v6(kIpv6Route), (Routes{{"v0", 1024}, {"w0", 300}}));
}

TEST(DefaultRoutes, NoDefaultRouteOrNoText) {
    // A machine on a LAN without a router (WSL's switch alone): only the
    // on-link route.
    EXPECT_EQ(default_routes_v4("Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
                                "eth0\t0000000A\t00000000\t0001\t0\t0\t0\t00F0FFFF\t0\t0\t0\n"),
              Routes{});
    EXPECT_EQ(default_routes_v4(""), Routes{});
    EXPECT_EQ(default_routes_v6(""), Routes{});
}

TEST(DefaultRoutes, RouteDownOrMalformedRowsSkipped) {
    EXPECT_EQ(default_routes_v4("Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\n"
                                "eth0\t00000000\t0100A8C0\t0002\t0\t0\t10\t00000000\t0\t0\t0\n"   // not RTF_UP
                                "eth1\t00000000\t0100A8C0\t0003\t0\t0\tten\t00000000\t0\t0\t0\n"  // metric
                                "eth2\t0000000\n"                                                 // short
                                "eth3\t00000000\t0100A8C0\t0003\t0\t0\t-1\t00000000\t0\t0\t0"),   // no newline
              (Routes{{"eth3", 0xFFFFFFFFu}}))
        << "the kernel prints the unsigned priority with %d";
    EXPECT_EQ(default_routes_v6("00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
                                "00000000000000000000000000000000 0000zz00 00000001 00000000 00000003 eth0\n"
                                "0000000000000000000000000000000 00 00000000000000000000000000000000 00 "
                                "00000000000000000000000000000000 00000400 00000001 00000000 00000003 eth1\n"
                                "00000000000000000000000000000000 00 00000000000000000000000000000000 00"),
              Routes{});
}

TEST(AdapterKindOf, FromTheArphrdTypeAndSysfs) {
    struct Case {
        int type;
        bool bridge, device;
        AdapterKind kind;
    };
    const Case cases[] = {
        {1, false, true, AdapterKind::Physical},   // Ethernet or Wi-Fi card
        {1, true, false, AdapterKind::Other},      // docker0, virbr0
        {1, false, false, AdapterKind::Other},     // veth, dummy, tap
        {65534, false, false, AdapterKind::Tunnel},  // WireGuard, tun
        {512, false, false, AdapterKind::Tunnel},  // PPP
        {768, false, false, AdapterKind::Tunnel},  // IP-in-IP
        {769, false, false, AdapterKind::Tunnel},  // IPv6-in-IPv6
        {776, false, false, AdapterKind::Tunnel},  // SIT
        {778, false, false, AdapterKind::Tunnel},  // GRE
        {772, false, false, AdapterKind::Other},   // loopback
        {32, false, true, AdapterKind::Other},     // InfiniBand
    };
    for (const auto& c : cases)
        EXPECT_EQ(adapter_kind(c.type, c.bridge, c.device), c.kind) << c.type;
}

TEST(DeviceOfLabel, AliasLabelsNameTheirDevice) {
    EXPECT_EQ(device_of_label("eth0"), "eth0");
    EXPECT_EQ(device_of_label("eth0:1"), "eth0");
    EXPECT_EQ(device_of_label(""), "");
}

}  // namespace
}  // namespace hp::platform
