#include <gtest/gtest.h>

#include "host_fixture.h"
#include "host_ops/host_ops.h"

namespace hp::test {
namespace {

namespace ft = frame_type;
using namespace std::chrono_literals;

class SessionTest : public HostFixture {
protected:
    void SetUp() override { start(); }
};

TEST_F(SessionTest, InformationRequestThenClose) {
    TestClient c;
    ASSERT_TRUE(c.connect(port()));
    auto info = c.information();
    ASSERT_TRUE(info) << info.error().text;
    EXPECT_EQ((*info)["v"], 1);
    EXPECT_EQ((*info)["hostId"], state().identity.hostId);
    EXPECT_EQ((*info)["os"], "windows");
    EXPECT_EQ((*info)["fp"], crypto::fingerprint(state().identity.publicKey));
    EXPECT_EQ((*info)["udpPort"], state().info.udpPort);
    EXPECT_TRUE(c.wait_closed());
}

TEST_F(SessionTest, PairingThenEncryptedPingPongAndAuthenticationLater) {
    auto c = paired_client("Anna");
    ASSERT_TRUE(c->send_secure(ft::Ping, std::string_view("{\"ts\":18446744073709551615}")));
    auto pong = c->recv();
    ASSERT_TRUE(pong) << pong.error().text;
    EXPECT_EQ(pong->type, ft::Pong);
    EXPECT_EQ(pong->text(), "{\"ts\":18446744073709551615}");

    // A later connection authenticates with the keys from pairing.
    TestClient again(c->identity());
    again.pin_host(*c->pinned_host());
    c->close();
    ASSERT_TRUE(wait_event(HostEventKind::SessionClosed, "Anna"));
    ASSERT_TRUE(again.connect(port()));
    auto r = again.authenticate({.deviceName = std::string("Anna again")});
    ASSERT_TRUE(r.ok()) << r.detail;
    ASSERT_TRUE(wait_event(HostEventKind::SessionOpened, "Anna again"));
    ASSERT_TRUE(again.send_secure(ft::Ping, std::string_view("[7]")));
    auto pong2 = again.recv();
    ASSERT_TRUE(pong2);
    EXPECT_EQ(pong2->text(), "{\"ts\":7}");
}

TEST_F(SessionTest, ControlMovesAndReleasesThePreviousClientsKeys) {
    auto a = paired_client("A");
    auto b = paired_client("B");
    ASSERT_TRUE(a->send_secure(ft::InputCommand, command(4, 1, {4, 0, 1})));  // 'a' down
    ASSERT_TRUE(wait_platform("key 0x41 down"));
    EXPECT_EQ(host_ops::controlling_device(state()), "A");
    ASSERT_TRUE(b->send_secure(ft::TextUtf8, std::string_view("{\"text\":\"hi\"}")));
    ASSERT_TRUE(wait_platform("type 2 units"));
    const auto lines = platform_->lines();
    const auto up = std::find(lines.begin(), lines.end(), "key 0x41 up");
    const auto typed = std::find(lines.begin(), lines.end(), "type 2 units");
    ASSERT_NE(up, lines.end());
    EXPECT_LT(up - lines.begin(), typed - lines.begin());
    EXPECT_EQ(host_ops::controlling_device(state()), "B");
}

TEST_F(SessionTest, EndingTheControllingSessionReleasesHeldInput) {
    auto a = paired_client("A");
    auto b = paired_client("B");
    ASSERT_TRUE(b->send_secure(ft::InputCommand, command(2, 1, {1, 1})));  // left button down
    ASSERT_TRUE(wait_platform("button 1 down"));
    a->close();
    ASSERT_TRUE(wait_event(HostEventKind::SessionClosed, "A"));
    EXPECT_FALSE(wait_platform("button 1 up", 100ms)) << "another session's input stays";
    b->close();
    ASSERT_TRUE(wait_event(HostEventKind::SessionClosed, "B"));
    EXPECT_TRUE(wait_platform("button 1 up"));
    HostLock lock(state());
    EXPECT_FALSE(state().input.activeClient);
    EXPECT_TRUE(state().sessions.empty());
}

TEST_F(SessionTest, RemovingAConnectedDeviceEndsItsSession) {
    auto a = paired_client("A");
    host_ops::remove_device(state(), a->identity().clientId);
    auto ended = a->recv();
    ASSERT_TRUE(ended) << ended.error().text;
    EXPECT_EQ(ended->type, ft::SessionEnded);
    EXPECT_EQ(ended->text(), "{\"reason\":\"removed_by_user\"}");
    EXPECT_TRUE(a->wait_closed());
    EXPECT_TRUE(wait_event(HostEventKind::SessionClosed, "A"));
    EXPECT_TRUE(wait_event(HostEventKind::PairedDevicesChanged));
    HostLock lock(state());
    EXPECT_EQ(state().store.find(a->identity().clientId), nullptr);
}

TEST_F(SessionTest, RemovingAnUnknownIdWritesNothing) {
    host_ops::remove_device(state(), "nobody");
    EXPECT_FALSE(std::filesystem::exists(dir_ / "data" / "paired_devices.json"));
    EXPECT_FALSE(wait_event(HostEventKind::PairedDevicesChanged, "", 50ms));
}

TEST_F(SessionTest, LargestFrameIsAcceptedAndLargerOnesEndTheSession) {
    auto a = paired_client("A");
    // L = 1 + 65519 + 16 = 65536: accepted (type 0x31 is ignored from a client).
    ASSERT_TRUE(a->send_secure(0x31, Bytes(65519, 'x')));
    ASSERT_TRUE(a->send_secure(ft::Ping, std::string_view("{\"ts\":1}")));
    auto pong = a->recv();
    ASSERT_TRUE(pong) << pong.error().text;
    EXPECT_EQ(pong->type, ft::Pong);

    for (std::uint32_t length : {65537u, 0u}) {
        TestClient c;
        ASSERT_TRUE(c.connect(port()));
        Bytes header;
        put_u32le(header, length);
        header.push_back(0x10);
        ASSERT_TRUE(c.send_raw(header));
        EXPECT_TRUE(c.wait_closed()) << length;
    }
    Bytes header;
    put_u32le(header, 65537);
    header.push_back(0x30);
    ASSERT_TRUE(a->send_raw(header));
    EXPECT_TRUE(a->wait_closed());
}

TEST_F(SessionTest, BadSessionMessagesAreIgnored) {
    auto a = paired_client("A");
    ASSERT_TRUE(a->send_secure(ft::TextUtf8, std::string_view("{\"text\":5}")));
    ASSERT_TRUE(a->send_secure(ft::InputCommand, Bytes(19, 1)));
    Bytes wrong_version = command(4, 1, {4, 0, 1});
    wrong_version[0] = 2;
    ASSERT_TRUE(a->send_secure(ft::InputCommand, wrong_version));
    ASSERT_TRUE(a->send_secure(0x05, std::string_view("?")));
    ASSERT_TRUE(a->send_secure(ft::Ping, std::string_view("{\"ts\":2}")));
    auto pong = a->recv();
    ASSERT_TRUE(pong) << pong.error().text;
    EXPECT_EQ(pong->text(), "{\"ts\":2}");
    EXPECT_TRUE(platform_->lines().empty());
}

TEST_F(SessionTest, ClipboardGetCutsOnACharacterBoundary) {
    auto a = paired_client("A");
    std::string text(47999, 'x');
    text += "\xC3\xA9";  // é straddles byte 48000
    text += std::string(2000, 'y');
    platform_->setClipboardContent(text);
    ASSERT_TRUE(a->send_secure(ft::ClipboardGet, std::string_view("{}")));
    auto reply = a->recv();
    ASSERT_TRUE(reply) << reply.error().text;
    EXPECT_EQ(reply->type, ft::ClipboardContent);
    const auto j = reply->json();
    EXPECT_EQ(j["text"].get<std::string>(), std::string(47999, 'x'));
    EXPECT_EQ(j["truncated"], true);
}

TEST_F(SessionTest, ClipboardSetWithPasteAndCopyFirst) {
    auto a = paired_client("A");
    ASSERT_TRUE(a->send_secure(ft::ClipboardSet,
                               std::string_view("{\"text\":\"Grüße\",\"autoPaste\":true}")));
    ASSERT_TRUE(wait_platform("key 0x56 up"));
    auto lines = platform_->lines();
    const std::vector<std::string> expected = {"setClipboard Grüße", "key 0xA2 down", "key 0x56 down",
                                               "key 0x56 up", "key 0xA2 up"};
    EXPECT_EQ(lines, expected);
    platform_->clear();
    ASSERT_TRUE(a->send_secure(ft::ClipboardGet, std::string_view("{\"copyFirst\":true}")));
    auto reply = a->recv();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->text(), "{\"text\":\"Grüße\",\"truncated\":false}");
    lines = platform_->lines();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[1], "key 0x43 down");
    EXPECT_EQ(lines.back(), "getClipboard");
}

// U+0000 never reaches typing or the clipboard (Windows' text formats end at
// it); a text of nothing else types nothing but still takes control.
TEST_F(SessionTest, NulCharactersAreDroppedFromTextAndClipboard) {
    auto a = paired_client("A");
    auto b = paired_client("B");
    // The platform's calls, typed units spelled out (the texts are ASCII).
    const auto calls = [this] {
        std::vector<std::string> out;
        for (const auto& c : platform_->calls()) {
            if (c.op != fake::Call::Op::TypeText) {
                out.push_back(fake::describe(c));
                continue;
            }
            std::string typed = "type ";
            for (const char16_t unit : c.units)
                typed += unit == 0 ? std::string("\\0") : std::string(1, char(unit));
            out.push_back(typed);
        }
        return out;
    };
    struct Case {
        std::uint8_t type;
        std::string_view body;
        std::vector<std::string> calls;  // after B's key is released
    };
    const Case cases[] = {
        {ft::TextUtf8, R"({"text":"a\u0000b\u0000"})", {"type ab"}},
        {ft::TextUtf8, R"({"text":"\u0000\u0000"})", {}},
        {ft::ClipboardSet, R"({"text":"\u0000x\u0000y"})", {"setClipboard xy"}},
        {ft::ClipboardSet, R"({"text":"\u0000"})", {"setClipboard "}},
    };
    std::uint64_t ts = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        // B holds a key, so A taking control shows as its release.
        ASSERT_TRUE(b->send_secure(ft::InputCommand, command(4, ++ts, {4, 0, 1})));
        ASSERT_TRUE(wait_platform("key 0x41 down"));
        platform_->clear();
        ASSERT_TRUE(a->send_secure(c.type, c.body));
        const std::string ping = "{\"ts\":" + std::to_string(ts) + "}";
        ASSERT_TRUE(a->send_secure(ft::Ping, std::string_view(ping)));
        auto pong = a->recv();
        ASSERT_TRUE(pong) << pong.error().text;
        std::vector<std::string> expected{"key 0x41 up"};
        expected.insert(expected.end(), c.calls.begin(), c.calls.end());
        EXPECT_EQ(calls(), expected);
        EXPECT_EQ(host_ops::controlling_device(state()), "A");
    }
}

TEST_F(SessionTest, PingFromAnIdleSessionDoesNotRefreshInputTime) {
    auto a = paired_client("A");
    auto b = paired_client("B");
    ASSERT_TRUE(a->send_secure(ft::ControllerState, std::string_view("{\"enabled\":true}")));
    ASSERT_TRUE(wait_event(HostEventKind::ControllerSwitched, "A"));
    std::optional<Instant> before;
    {
        HostLock lock(state());
        before = state().input.lastInputAt;
    }
    ASSERT_TRUE(b->send_secure(ft::Ping, std::string_view("{\"ts\":3}")));
    ASSERT_TRUE(b->recv());
    {
        HostLock lock(state());
        EXPECT_EQ(state().input.lastInputAt, before);
    }
    ASSERT_TRUE(a->send_secure(ft::Ping, std::string_view("{\"ts\":4}")));
    ASSERT_TRUE(a->recv());
    HostLock lock(state());
    EXPECT_NE(state().input.lastInputAt, before);
}

class IdleTest : public HostFixture {
protected:
    void SetUp() override { start(1s); }
};

TEST_F(IdleTest, SilentConnectionsAreClosedBeforeAndAfterTheHandshake) {
    TestClient c;
    ASSERT_TRUE(c.connect(port()));
    EXPECT_TRUE(c.wait_closed());

    auto a = paired_client("A");
    EXPECT_TRUE(a->wait_closed());
    EXPECT_TRUE(wait_event(HostEventKind::SessionClosed, "A"));
}

}  // namespace
}  // namespace hp::test

namespace hp::test {
namespace {

class ShutdownTest : public HostFixture {
protected:
    void SetUp() override { start(); }
};

TEST_F(ShutdownTest, DroppingTheHostClosesEverySocket) {
    auto a = paired_client("A");
    TestClient idle;
    ASSERT_TRUE(idle.connect(port()));
    const std::uint16_t was = port();
    host_.reset();
    EXPECT_TRUE(a->wait_closed());
    EXPECT_TRUE(idle.wait_closed());
    TestClient late;
    EXPECT_FALSE(late.connect(was)) << "the listener is gone";
}

}  // namespace
}  // namespace hp::test
