// The reference client's half of the handshakes against the host's handler,
// frame by frame, and the checks it makes of the host.
#include "client/handshake.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/json.h"
#include "discovery/network_snapshot.h"
#include "host/host_state.h"
#include "protocol/handshake.h"

namespace hp::client {
namespace {

namespace fs = std::filesystem;
using protocol::FrameType;
using protocol::type_byte;
using Kind = protocol::HandshakeOutcome::Kind;

class ClientHandshake : public ::testing::Test {
protected:
    void SetUp() override {
        crypto::init();
        dir_ = fs::temp_directory_path() / ("hp-client-hs-" + crypto::hex_encode(crypto::random_bytes(4)));
        fs::create_directories(dir_);
        state_.identity.hostId = "3f1c2a9e-8b7d-4c6e-9a5b-1d2e3f4a5b6c";
        crypto::random_bytes(state_.identity.seed);
        state_.identity.publicKey = crypto::ed25519_public_key(state_.identity.seed);
        state_.info.hostName = "Desk";
        state_.info.udpPort = 49184;
        state_.store = store::PairedDeviceStore(dir_ / "paired_devices.json", crypto::Key32{});
        identity_ = Identity::generate("Test phone", "Model T");
    }
    void TearDown() override { fs::remove_all(dir_); }

    protocol::HandshakeOutcome send(protocol::HandshakeState& hs, FrameType type, std::string_view body) {
        std::unique_lock held(state_.mutex);
        const host::Locked locked(state_, held);
        return protocol::handle_handshake_frame(hs, state_.handshake_host(locked), net_, IpAddress::v4(127, 0, 0, 1),
                                                type_byte(type), as_bytes(body));
    }

    // Pairs identity_ and returns the host it pins.
    PinnedHost pair() {
        const std::string code = protocol::new_pairing_code(state_.pairing);
        Pairing p(identity_, Ephemeral::generate());
        protocol::HandshakeState hs;
        auto challenge = send(hs, FrameType::PairRequest, p.request_body());
        EXPECT_EQ(challenge.kind, Kind::Reply);
        auto confirm = p.confirm_body(challenge.frames.at(0).body, code, state_.identity.hostId,
                                      state_.identity.publicKey);
        EXPECT_TRUE(confirm);
        auto done = send(hs, FrameType::PairConfirm, *confirm);
        EXPECT_EQ(done.kind, Kind::Established);
        EXPECT_EQ(done.established->sessionKey.bytes(), p.session_key());
        auto host = p.accept(done.established->plainFrames.at(0).body);
        EXPECT_TRUE(host) << host.error().text;
        return *host;
    }

    fs::path dir_;
    host::HostState state_;
    discovery::NetworkSnapshot net_;
    Identity identity_;
};

TEST_F(ClientHandshake, PairsAndAuthenticatesWithTheHost) {
    const PinnedHost host = pair();
    EXPECT_EQ(host.hostId, state_.identity.hostId);
    EXPECT_EQ(host.hostName, "Desk");
    EXPECT_EQ(host.publicKey, state_.identity.publicKey);
    EXPECT_EQ(host.udpPort, 49184);
    EXPECT_NE(state_.store.find(identity_.clientId), nullptr);

    Authentication auth(identity_, host, Ephemeral::generate());
    protocol::HandshakeState hs;
    auto challenge = send(hs, FrameType::AuthHello, auth.hello_body());
    ASSERT_EQ(challenge.kind, Kind::Reply);
    auto response = auth.response_body(challenge.frames.at(0).body);
    ASSERT_TRUE(response) << response.error().text;
    EXPECT_EQ(auth.challenge().udpPort, 49184);
    auto done = send(hs, FrameType::AuthResponse, *response);
    ASSERT_EQ(done.kind, Kind::Established);
    EXPECT_EQ(done.established->sessionKey.bytes(), auth.session_key());
    EXPECT_EQ(done.established->deviceName, "Test phone");
}

TEST_F(ClientHandshake, RefusesAHostOtherThanTheLinksBeforeConfirming) {
    const std::string code = protocol::new_pairing_code(state_.pairing);
    Pairing p(identity_, Ephemeral::generate());
    protocol::HandshakeState hs;
    auto challenge = send(hs, FrameType::PairRequest, p.request_body());
    crypto::Key32 otherKey = state_.identity.publicKey;
    otherKey[0] ^= 1;
    auto byKey = p.confirm_body(challenge.frames.at(0).body, code, state_.identity.hostId, otherKey);
    ASSERT_FALSE(byKey);
    EXPECT_NE(byKey.error().text.find("not the one in the pairing link"), std::string::npos);
    auto byId = p.confirm_body(challenge.frames.at(0).body, code, std::string("another-host"), std::nullopt);
    ASSERT_FALSE(byId);
    EXPECT_NE(byId.error().text.find("not the one in the pairing link"), std::string::npos);
}

TEST_F(ClientHandshake, RefusesHostProofsThatDoNotVerify) {
    const std::string code = protocol::new_pairing_code(state_.pairing);
    Pairing p(identity_, Ephemeral::generate());
    protocol::HandshakeState hs;
    auto challenge = send(hs, FrameType::PairRequest, p.request_body());
    ASSERT_TRUE(p.confirm_body(challenge.frames.at(0).body, code));
    auto done = send(hs, FrameType::PairConfirm, *p.confirm_body(challenge.frames.at(0).body, code));
    ASSERT_EQ(done.kind, Kind::Established);
    const std::string accepted = to_string(done.established->plainFrames.at(0).body);
    ASSERT_TRUE(p.accept(as_bytes(accepted)));

    // One changed digit in the MAC, then in the signature.
    for (const char* member : {"\"hostMacHex\":\"", "\"hostSigHex\":\""}) {
        std::string spoiled = accepted;
        const auto at = spoiled.find(member) + std::string_view(member).size();
        spoiled[at] = spoiled[at] == '0' ? '1' : '0';
        EXPECT_FALSE(p.accept(as_bytes(spoiled))) << member;
    }

    // An AuthChallenge signed with another key: an impostor with the same id.
    const PinnedHost host = pair();
    state_.identity.seed[0] ^= 1;
    state_.identity.publicKey = crypto::ed25519_public_key(state_.identity.seed);
    Authentication auth(identity_, host, Ephemeral::generate());
    protocol::HandshakeState ahs;
    auto authChallenge = send(ahs, FrameType::AuthHello, auth.hello_body());
    ASSERT_EQ(authChallenge.kind, Kind::Reply);
    auto response = auth.response_body(authChallenge.frames.at(0).body);
    ASSERT_FALSE(response);
    EXPECT_NE(response.error().text.find("does not verify"), std::string::npos);
}

TEST(ClientHostMessages, ReadHostInfoAndReasons) {
    const auto info = parse_host_info(as_bytes(
        R"({"v":1,"hostId":"h","name":"Büro PC","os":"windows","fp":"0123456789abcdef","udpPort":49182})"));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->name, "Büro PC");
    EXPECT_EQ(info->fingerprint, "0123456789abcdef");
    EXPECT_EQ(info->udpPort, 49182);
    EXPECT_FALSE(parse_host_info(as_bytes(R"({"v":1,"hostId":"h","fp":"x","udpPort":70000})")));
    EXPECT_FALSE(parse_host_info(as_bytes("[]")));
    EXPECT_EQ(parse_reason(as_bytes(R"({"reason":"unpaired"})")), "unpaired");
    EXPECT_EQ(parse_reason(as_bytes("nonsense")), "");
}

}  // namespace
}  // namespace hp::client
