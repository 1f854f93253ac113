// A handshake holds the host lock only to read and change the pairing slot
// and the store: its key agreement and signatures run with the lock free.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <thread>

#include "commands/commands.h"
#include "host/host_state.h"
#include "support/test_client.h"

namespace fs = std::filesystem;
using Kind = hp::protocol::HandshakeOutcome::Kind;
namespace ft = hp::test::frame_type;

namespace {

class HandshakeLockTest : public ::testing::Test {
protected:
    void SetUp() override {
        hp::crypto::init();
        dir_ = fs::temp_directory_path() /
               ("hp-hslock-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        state_.identity.hostId = "3f1c2a9e-8b7d-4c6e-9a5b-1d2e3f4a5b6c";
        hp::crypto::random_bytes(state_.identity.seed);
        state_.identity.publicKey = hp::crypto::ed25519_public_key(state_.identity.seed);
        state_.info.hostName = "PC";
        state_.info.udpPort = 49183;
        hp::crypto::Key32 key{};
        key.fill(3);
        state_.store = hp::store::PairedDeviceStore(dir_ / "paired_devices.json", key);
        peer_ = hp::IpAddress::v4(192, 168, 1, 20);
        // The ephemeral keys and nonces come from here: each draw notes
        // whether another thread could take the host lock meanwhile.
        random_ = [this](std::span<std::uint8_t> out) {
            bool free = false;
            std::thread([&] {
                free = state_.mutex.try_lock();
                if (free) state_.mutex.unlock();
            }).join();
            ++draws_;
            if (!free) ++drawsUnderLock_;
            hp::crypto::random_bytes(out);
        };
    }
    void TearDown() override { fs::remove_all(dir_); }

    hp::protocol::HandshakeOutcome send(hp::protocol::HandshakeState& hs, std::uint8_t type, std::string_view body) {
        return hp::commands::handshake_frame(
            state_, hs, {}, peer_, type, hp::as_bytes(body),
            [this](const hp::host::Locked&, const hp::protocol::Established&) { return ++registered_; },
            random_);
    }

    fs::path dir_;
    hp::host::HostState state_;
    hp::IpAddress peer_;
    hp::protocol::RandomSource random_;
    int draws_ = 0, drawsUnderLock_ = 0;
    std::uint64_t registered_ = 0;
};

TEST_F(HandshakeLockTest, KeyAgreementAndSignaturesRunWithTheLockFree) {
    std::string code;
    {
        hp::host::HostLock lock(state_);
        code = hp::protocol::new_pairing_code(state_.pairing);
    }
    auto id = hp::test::ClientIdentity::generate("Phone");
    hp::test::PairingClient pairing(id);
    hp::protocol::HandshakeState hs;
    auto challenge = send(hs, ft::PairRequest, pairing.request_body());
    ASSERT_EQ(challenge.kind, Kind::Reply);
    auto confirm = pairing.confirm_body(challenge.frames.at(0).body, code);
    ASSERT_TRUE(confirm);
    auto paired = send(hs, ft::PairConfirm, *confirm);
    ASSERT_EQ(paired.kind, Kind::Established);
    EXPECT_TRUE(pairing.verify_accepted(paired.established->plainFrames.at(0).body));

    hp::test::AuthClient auth(id, pairing.pinned_host());
    hp::protocol::HandshakeState hs2;
    auto auth_challenge = send(hs2, ft::AuthHello, auth.hello_body());
    ASSERT_EQ(auth_challenge.kind, Kind::Reply);
    auto response = auth.response_body(auth_challenge.frames.at(0).body);
    ASSERT_TRUE(response);
    auto done = send(hs2, ft::AuthResponse, *response);
    ASSERT_EQ(done.kind, Kind::Established);
    EXPECT_EQ(done.established->sessionKey.bytes(), auth.session_key());
    EXPECT_EQ(registered_, 2u);

    EXPECT_EQ(draws_, 4);  // a key and a nonce for each challenge
    EXPECT_EQ(drawsUnderLock_, 0);
}

// What the step read is checked again under the lock before the session is
// registered: a record removed, or paired again with another key, after the
// AuthResponse was checked is refused as "unpaired", and nothing is kept.
TEST_F(HandshakeLockTest, AuthenticationRefusedWhenTheRecordChangesBeforeRegistration) {
    std::string code;
    {
        hp::host::HostLock lock(state_);
        code = hp::protocol::new_pairing_code(state_.pairing);
    }
    auto id = hp::test::ClientIdentity::generate("Phone");
    hp::test::PairingClient pairing(id);
    hp::protocol::HandshakeState ps;
    auto challenge = send(ps, ft::PairRequest, pairing.request_body());
    ASSERT_EQ(send(ps, ft::PairConfirm, *pairing.confirm_body(challenge.frames.at(0).body, code)).kind,
              Kind::Established);

    const std::vector<std::pair<const char*, std::function<void()>>> changes = {
        {"removed", [&] { state_.store.remove(id.clientId); }},
        {"paired again with another key",
         [&] {
             const auto other = hp::test::ClientIdentity::generate("Phone");
             state_.store.keep_pairing({id.clientId, "Phone", "", other.ed25519_public(), "192.168.1.20"});
         }},
    };
    for (const auto& [name, change] : changes) {
        SCOPED_TRACE(name);
        state_.store.keep_pairing({id.clientId, "Phone", "", id.ed25519_public(), "192.168.1.20"});
        hp::test::AuthClient auth(id, pairing.pinned_host());
        hp::protocol::HandshakeState hs;
        auto hello = send(hs, ft::AuthHello, auth.hello_body());
        ASSERT_EQ(hello.kind, Kind::Reply);
        const std::string response = *auth.response_body(hello.frames.at(0).body);
        const auto before = registered_;
        auto prepared = hp::commands::prepare_handshake(state_, hs, {}, peer_, ft::AuthResponse,
                                                        hp::as_bytes(response), random_);
        {
            hp::host::HostLock lock(state_);
            change();
        }
        const auto snapshot = state_.store.records();
        auto o = hp::commands::commit_handshake(
            std::move(prepared),
            [this](const hp::host::Locked&, const hp::protocol::Established&) { return ++registered_; });
        ASSERT_EQ(o.kind, Kind::ReplyAndClose);
        EXPECT_EQ(o.frames.at(0).type, ft::AuthRejected);
        EXPECT_EQ(hp::to_string(o.frames.at(0).body), "{\"reason\":\"unpaired\"}");
        EXPECT_EQ(registered_, before);
        EXPECT_EQ(state_.store.records(), snapshot);  // no visit noted
    }
}

}  // namespace
