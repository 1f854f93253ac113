#include <gtest/gtest.h>

#include "host_fixture.h"
#include "host_ops/host_ops.h"

namespace hp::test {
namespace {

namespace ft = frame_type;
using namespace std::chrono_literals;

class RepairingTest : public HostFixture {
protected:
    void SetUp() override { start(); }

    // A client connected from `from` (a loopback address of its own).
    std::unique_ptr<TestClient> connected(const ClientIdentity& id, const std::string& from) {
        auto c = std::make_unique<TestClient>(id);
        c->set_local_address(from);
        EXPECT_TRUE(c->connect(port()));
        return c;
    }

    // Ping answered by Pong: the session still works.
    static bool answers(TestClient& c, std::uint64_t ts) {
        const std::string ping = "{\"ts\":" + std::to_string(ts) + "}";
        if (!c.send_secure(ft::Ping, std::string_view(ping))) return false;
        auto pong = c.recv();
        return pong && pong->type == ft::Pong && pong->text() == ping;
    }

    static void expect_ended(TestClient& c) {
        auto ended = c.recv();
        ASSERT_TRUE(ended) << ended.error().text;
        EXPECT_EQ(ended->type, ft::SessionEnded);
        EXPECT_EQ(ended->text(), "{\"reason\":\"removed_by_user\"}");
        EXPECT_TRUE(c.wait_closed());
    }
};

// Pairing a client id again with another key ends every session the old key
// opened (the pairing's own and later authentications), as a removal would,
// and lets go of what they held; the new pairing's session and other devices
// stay. Pairing again with the same key ends nothing.
TEST_F(RepairingTest, PairingWithAnotherKeyEndsTheOldKeysSessions) {
    struct Case {
        const char* name;
        bool another_key;
    };
    int peer = 2;
    const auto next_peer = [&peer] { return "127.0.0." + std::to_string(peer++); };
    auto other = connected(ClientIdentity::generate("Other"), next_peer());
    ASSERT_TRUE(other->pair(open_code()).ok());

    for (const Case& c : {Case{"another key", true}, Case{"the same key", false}}) {
        SCOPED_TRACE(c.name);
        const ClientIdentity phone = ClientIdentity::generate(std::string("Phone, ") + c.name);
        auto paired = connected(phone, next_peer());
        const auto p = paired->pair(open_code());
        ASSERT_TRUE(p.ok()) << p.detail;
        auto authed = connected(phone, next_peer());
        authed->pin_host(*paired->pinned_host());
        const auto a = authed->authenticate({.deviceName = std::string("Second of ") + c.name});
        ASSERT_TRUE(a.ok()) << a.detail;
        ASSERT_TRUE(wait_event(HostEventKind::SessionOpened, std::string("Second of ") + c.name));

        // The old pairing's session takes control and holds the left button.
        platform_->clear();
        ASSERT_TRUE(paired->send_secure(ft::InputCommand, command(2, 1, {1, 1})));
        ASSERT_TRUE(wait_platform("button 1 down"));

        ClientIdentity again = phone;
        if (c.another_key) crypto::random_bytes(again.ed25519Seed);
        auto renewed = connected(again, next_peer());
        const auto r = renewed->pair(open_code());
        ASSERT_TRUE(r.ok()) << r.detail;

        if (c.another_key) {
            expect_ended(*paired);
            expect_ended(*authed);
            EXPECT_TRUE(wait_platform("button 1 up"));
            EXPECT_EQ(host_ops::controlling_device(state()), std::nullopt);
        } else {
            EXPECT_TRUE(answers(*paired, 1));
            EXPECT_TRUE(answers(*authed, 2));
            EXPECT_EQ(host_ops::controlling_device(state()), phone.deviceName);
        }
        EXPECT_TRUE(answers(*renewed, 3));
        EXPECT_TRUE(answers(*other, 4));
        HostLock lock(state());
        const auto* record = state().store.find(phone.clientId);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->ed25519PublicKeyHex, crypto::hex_encode(again.ed25519_public()));
    }
}

// The old key cannot finish an authentication it began before the key was
// replaced.
TEST_F(RepairingTest, AnAuthenticationBegunWithTheOldKeyIsRefused) {
    const ClientIdentity phone = ClientIdentity::generate("Phone");
    auto paired = connected(phone, "127.0.0.2");
    ASSERT_TRUE(paired->pair(open_code()).ok());

    auto late = connected(phone, "127.0.0.3");
    AuthClient auth(phone, *paired->pinned_host());
    ASSERT_TRUE(late->send_plain(ft::AuthHello, auth.hello_body()));
    auto challenge = late->recv_plain();
    ASSERT_TRUE(challenge) << challenge.error().text;
    ASSERT_EQ(challenge->type, ft::AuthChallenge);
    auto response = auth.response_body(challenge->body);
    ASSERT_TRUE(response) << response.error().text;

    ClientIdentity again = phone;
    crypto::random_bytes(again.ed25519Seed);
    auto renewed = connected(again, "127.0.0.4");
    ASSERT_TRUE(renewed->pair(open_code()).ok());
    expect_ended(*paired);

    ASSERT_TRUE(late->send_plain(ft::AuthResponse, *response));
    auto refused = late->recv_plain();
    ASSERT_TRUE(refused) << refused.error().text;
    EXPECT_EQ(refused->type, ft::AuthRejected);
    EXPECT_EQ(refused->text(), "{\"reason\":\"unpaired\"}");
    EXPECT_TRUE(late->wait_closed());
    EXPECT_TRUE(answers(*renewed, 1));
}

}  // namespace
}  // namespace hp::test
