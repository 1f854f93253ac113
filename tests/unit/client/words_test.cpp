// What people type on the client's command line: endpoints, pairing links,
// key names and combinations, media keys, options.
#include <gtest/gtest.h>

#include "client/address.h"
#include "client/cli.h"
#include "client/keys.h"
#include "discovery/network_snapshot.h"
#include "input/keys.h"
#include "protocol/handshake.h"
#include "store/identity.h"

namespace hp::client {
namespace {

TEST(ClientEndpoint, ReadsTheFormsHostsAndLinksUse) {
    struct Case {
        std::string_view text;
        std::uint16_t defaultPort;
        std::optional<Endpoint> want;
    };
    const Case cases[] = {
        {"192.168.1.20:49182", 0, Endpoint{"192.168.1.20", 49182}},
        {"[fd00::20]:49183", 0, Endpoint{"fd00::20", 49183}},
        {"pc.tail1234.ts.net:49182", 0, Endpoint{"pc.tail1234.ts.net", 49182}},
        {"10.0.0.5", 49182, Endpoint{"10.0.0.5", 49182}},
        {"[fd00::5]", 49182, Endpoint{"fd00::5", 49182}},
        {"fd00::5", 49182, Endpoint{"fd00::5", 49182}},
        {"10.0.0.5", 0, std::nullopt},
        {"10.0.0.5:", 49182, std::nullopt},
        {":49182", 0, std::nullopt},
        {"10.0.0.5:65536", 0, std::nullopt},
        {"10.0.0.5:0", 0, std::nullopt},
        {"10.0.0.5:80x", 0, std::nullopt},
        {"[fd00::5", 49182, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(parse_endpoint(c.text, c.defaultPort), c.want) << c.text;
    EXPECT_EQ((Endpoint{"fd00::20", 49182}.text()), "[fd00::20]:49182");
    EXPECT_EQ((Endpoint{"10.0.0.5", 49182}.text()), "10.0.0.5:49182");
}

TEST(ClientPairingLink, ReadsWhatTheHostShows) {
    store::HostIdentity identity;
    identity.hostId = "7d0c3f4e-6a1b-4c2d-9e8f-0a1b2c3d4e5f";
    identity.publicKey.fill(0xab);
    protocol::HostInfo info;
    info.hostName = "Büro PC & Co";
    info.tcpPort = 49183;
    discovery::NetworkSnapshot net;
    net.lan = {*IpAddress::parse("fd00::9"), *IpAddress::parse("192.168.1.20")};
    net.tailscale = {*IpAddress::parse("fd7a:115c:a1e0::5")};
    const std::string text = protocol::pairing_link(identity, info, net, "004711");

    auto link = parse_pairing_link(text);
    ASSERT_TRUE(link) << link.error().text;
    EXPECT_EQ(link->hostId, identity.hostId);
    EXPECT_EQ(link->name, "Büro PC & Co");
    EXPECT_EQ(link->os, "windows");
    EXPECT_EQ(link->lan, "192.168.1.20:49183");
    EXPECT_EQ(link->ts, "[fd7a:115c:a1e0::5]:49183");
    EXPECT_EQ(link->hostKey, identity.publicKey);
    EXPECT_EQ(link->code, "004711");

    // Without addresses the link still reads; the client then asks for --connect.
    const auto bare = parse_pairing_link(protocol::pairing_link(identity, info, {}, "123456"));
    ASSERT_TRUE(bare);
    EXPECT_TRUE(bare->lan.empty() && bare->ts.empty());
}

TEST(ClientPairingLink, SaysWhatIsWrong) {
    const std::string pk(64, 'a');
    struct Case {
        std::string link;
        std::string_view reason;
    };
    const Case cases[] = {
        {"https://pair?v=1", "starts with"},
        {"hearthpad://pair?v=2&id=x&pk=" + pk + "&code=123456", "version 1"},
        {"hearthpad://pair?v=1&pk=" + pk + "&code=123456", "no host id"},
        {"hearthpad://pair?v=1&id=x&code=123456", "no host key"},
        {"hearthpad://pair?v=1&id=x&pk=abc&code=123456", "64 hex digits"},
        {"hearthpad://pair?v=1&id=x&pk=" + pk + "&code=12345", "six-digit code"},
        {"hearthpad://pair?v=1&id=x&name=%G1&pk=" + pk + "&code=123456", "%-escape"},
        {"hearthpad://pair?v=1&id=x&name=%4&pk=" + pk + "&code=123456", "%-escape"},
    };
    for (const auto& c : cases) {
        auto link = parse_pairing_link(c.link);
        ASSERT_FALSE(link) << c.link;
        EXPECT_NE(link.error().text.find(c.reason), std::string::npos) << link.error().text;
    }
}

// The client's key names are its own, but every name and alias the host
// reads must mean the same key to the client.
TEST(ClientKeys, AgreeWithEveryNameTheHostKnows) {
    for (const auto& row : input::key_name_table())
        EXPECT_EQ(key_code(row.name), row.code) << row.name;
    for (const auto& alias : input::key_alias_table())
        EXPECT_EQ(key_code(alias.alias), alias.code) << alias.alias;
    EXPECT_EQ(key_code("Page Up"), 75);
    EXPECT_EQ(key_code("F12"), 69);
    EXPECT_FALSE(key_code("f13"));
    EXPECT_FALSE(key_code("f0"));
    EXPECT_FALSE(key_code("f01"));
    EXPECT_FALSE(key_code("hyper"));
}

TEST(ClientKeys, CombinationsAndMediaKeys) {
    auto c = parse_combo("ctrl+shift+t");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->modifiers, kCtrl | kShift);
    EXPECT_EQ(c->key, 23);
    c = parse_combo("Win+D");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->modifiers, kWin);
    EXPECT_EQ(c->key, 7);
    c = parse_combo("ctrl+alt");  // the last modifier is the key
    ASSERT_TRUE(c);
    EXPECT_EQ(c->modifiers, kCtrl);
    EXPECT_EQ(c->key, 226);
    c = parse_combo("enter");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->modifiers, 0);
    EXPECT_EQ(c->key, 40);
    EXPECT_FALSE(parse_combo("ctrl++"));
    EXPECT_FALSE(parse_combo("a+b"));
    EXPECT_FALSE(parse_combo("ctrl+nokey"));

    EXPECT_EQ(media_code("volume-up"), 1);
    EXPECT_EQ(media_code("Play Pause"), 4);
    EXPECT_EQ(media_code("brightness_down"), 8);
    EXPECT_FALSE(media_code("eject"));
}

TEST(ClientCommandLine, OptionsStandAnywhere) {
    const std::vector<std::string> args{"--dir", "/tmp/c", "clip", "set", "hello", "--paste", "--udp", "--timeout", "9"};
    auto inv = parse_command_line(args);
    ASSERT_TRUE(inv) << inv.error().text;
    EXPECT_EQ(inv->command, "clip");
    EXPECT_EQ(inv->args, (std::vector<std::string>{"set", "hello"}));
    EXPECT_EQ(inv->options.dir, std::filesystem::path("/tmp/c"));
    EXPECT_TRUE(inv->options.paste);
    EXPECT_TRUE(inv->options.udp);
    EXPECT_EQ(inv->options.timeout, std::chrono::seconds(9));

    const std::vector<std::string> typed{"type", "--", "--not-an-option"};
    inv = parse_command_line(typed);
    ASSERT_TRUE(inv);
    EXPECT_EQ(inv->args, (std::vector<std::string>{"--not-an-option"}));

    for (const auto& bad : std::vector<std::vector<std::string>>{
             {}, {"--dir"}, {"ping", "--bogus"}, {"ping", "--timeout", "0"}, {"ping", "--timeout", "x"}})
        EXPECT_FALSE(parse_command_line(bad)) << (bad.empty() ? "(nothing)" : bad.back());
}

}  // namespace
}  // namespace hp::client
