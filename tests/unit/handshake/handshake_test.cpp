#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "discovery/network_snapshot.h"
#include "host/host_state.h"
#include "protocol/handshake.h"
#include "support/test_client.h"

namespace fs = std::filesystem;
using hp::host::HostEvent;
using hp::host::HostEventKind;
using hp::protocol::HandshakeOutcome;
using hp::protocol::HandshakeState;
using Kind = hp::protocol::HandshakeOutcome::Kind;
namespace ft = hp::test::frame_type;

namespace {

class HandshakeTest : public ::testing::Test {
protected:
    void SetUp() override {
        hp::crypto::init();
        dir_ = fs::temp_directory_path() /
               ("hp-hs-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        state_.identity.hostId = "3f1c2a9e-8b7d-4c6e-9a5b-1d2e3f4a5b6c";
        hp::crypto::random_bytes(state_.identity.seed);
        state_.identity.publicKey = hp::crypto::ed25519_public_key(state_.identity.seed);
        state_.info.hostName = "Büro PC";
        state_.info.tcpPort = 49183;
        state_.info.udpPort = 49183;
        state_.info.deviceType = "laptop";
        store_key_.fill(3);
        state_.store = hp::store::PairedDeviceStore(dir_ / "paired_devices.json", store_key_);
        net_.lan = {*hp::IpAddress::parse("192.168.1.5"), *hp::IpAddress::parse("fd00::5")};
        net_.tailscale = {*hp::IpAddress::parse("100.64.1.2")};
        net_.tailscaleDnsName = "pc.tail1234.ts.net";
        peer_ = *hp::IpAddress::parse("::ffff:192.168.1.20");
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Hands a frame to the handshake and keeps what it announces as the
    // events the host raises for it.
    HandshakeOutcome send(HandshakeState& hs, std::uint8_t type, std::string_view body) {
        std::unique_lock held(state_.mutex);
        const hp::host::Locked locked(state_, held);
        auto o = hp::protocol::handle_handshake_frame(hs, state_.handshake_host(locked), net_, peer_, type,
                                                      hp::as_bytes(body));
        if (o.codeRevoked) events_.push_back({HostEventKind::PairingCodeRevoked, "", false});
        if (o.pairedDevice) {
            events_.push_back({HostEventKind::DevicePaired, *o.pairedDevice, false});
            events_.push_back({HostEventKind::PairedDevicesChanged, "", false});
        }
        return o;
    }

    static std::string body_of(const HandshakeOutcome& o, std::size_t i = 0) {
        return hp::to_string(o.frames.at(i).body);
    }

    // Pairs a fresh client and returns it (with the host pinned).
    hp::test::PairingClient pair(const hp::test::ClientIdentity& id) {
        const std::string code = hp::protocol::new_pairing_code(state_.pairing);
        hp::test::PairingClient client(id);
        HandshakeState hs;
        auto challenge = send(hs, ft::PairRequest, client.request_body());
        EXPECT_EQ(challenge.kind, Kind::Reply);
        auto confirm = client.confirm_body(challenge.frames.at(0).body, code);
        EXPECT_TRUE(confirm);
        auto done = send(hs, ft::PairConfirm, *confirm);
        EXPECT_EQ(done.kind, Kind::Established);
        return client;
    }

    fs::path dir_;
    hp::crypto::Key32 store_key_{};
    hp::host::HostState state_;
    hp::discovery::NetworkSnapshot net_;
    hp::IpAddress peer_;
    std::vector<HostEvent> events_;
};

TEST_F(HandshakeTest, InformationRequestGetsHostInfoAndClose) {
    HandshakeState hs;
    auto o = send(hs, ft::PairRequest, "");
    ASSERT_EQ(o.kind, Kind::ReplyAndClose);
    ASSERT_EQ(o.frames.size(), 1u);
    EXPECT_EQ(o.frames[0].type, ft::HostInfo);
    EXPECT_EQ(body_of(o), "{\"v\":1,\"hostId\":\"3f1c2a9e-8b7d-4c6e-9a5b-1d2e3f4a5b6c\","
                          "\"name\":\"Büro PC\",\"os\":\"windows\",\"fp\":\"" +
                              hp::crypto::fingerprint(state_.identity.publicKey) +
                              "\",\"udpPort\":49183}");
}

TEST_F(HandshakeTest, PairingEstablishesAndStoresTheClient) {
    const std::string code = hp::protocol::new_pairing_code(state_.pairing);
    auto id = hp::test::ClientIdentity::generate("Anna's phone", "Pixel 8");
    hp::test::PairingClient client(id);
    HandshakeState hs;

    auto challenge = send(hs, ft::PairRequest, client.request_body());
    ASSERT_EQ(challenge.kind, Kind::Reply);
    ASSERT_EQ(challenge.frames.at(0).type, ft::PairChallenge);
    const auto cj = nlohmann::json::parse(body_of(challenge));
    EXPECT_EQ(cj["hostName"], "Büro PC");
    EXPECT_EQ(cj["osType"], "windows");
    EXPECT_EQ(cj["deviceType"], "laptop");
    EXPECT_EQ(cj["lanEndpoints"], nlohmann::json({"192.168.1.5:49183", "[fd00::5]:49183"}));
    EXPECT_EQ(cj["tailscaleEndpoints"],
              nlohmann::json({"100.64.1.2:49183", "pc.tail1234.ts.net:49183"}));
    EXPECT_EQ(cj["hostEd25519PubHex"], hp::crypto::hex_encode(state_.identity.publicKey));

    auto confirm = client.confirm_body(challenge.frames[0].body, code);
    ASSERT_TRUE(confirm);
    auto done = send(hs, ft::PairConfirm, *confirm);
    ASSERT_EQ(done.kind, Kind::Established);
    const auto& est = *done.established;
    EXPECT_EQ(est.clientId, id.clientId);
    EXPECT_EQ(est.deviceName, "Anna's phone");
    EXPECT_EQ(est.sessionKey.bytes(), client.session_key());
    ASSERT_EQ(est.plainFrames.size(), 1u);
    EXPECT_EQ(est.plainFrames[0].type, ft::PairAccepted);
    EXPECT_TRUE(est.secureFrames.empty());
    EXPECT_TRUE(client.verify_accepted(est.plainFrames[0].body));
    EXPECT_EQ(client.pinned_host().udpPort, 49183);

    EXPECT_FALSE(state_.pairing.code);  // one pairing per code
    const auto* rec = state_.store.find(id.clientId);
    ASSERT_NE(rec, nullptr);
    EXPECT_EQ(rec->deviceModel, "Pixel 8");
    EXPECT_EQ(rec->ed25519PublicKeyHex, hp::crypto::hex_encode(id.ed25519_public()));
    EXPECT_EQ(rec->lastRemoteIp, "192.168.1.20");
    EXPECT_GT(rec->pairedAtUnix, 0u);
    EXPECT_EQ(rec->pairedAtUnix, rec->lastSeenUnix);
    EXPECT_TRUE(fs::exists(dir_ / "paired_devices.json"));
    EXPECT_EQ(events_,
              (std::vector<HostEvent>{{HostEventKind::DevicePaired, "Anna's phone", false},
                                      {HostEventKind::PairedDevicesChanged, "", false}}));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(hs));
}

struct PairRefusal {
    const char* name;
    std::function<void(hp::host::HostState&)> before_request;
    hp::test::ConfirmTweaks tweaks;
    std::function<void(hp::host::HostState&)> before_confirm;
    std::string reason;  // empty: closed without reply
    bool failure_recorded;
};

TEST_F(HandshakeTest, PairConfirmRefusals) {
    const std::vector<PairRefusal> cases = {
        {"wrong code", nullptr, {.macCode = std::string("000000")}, nullptr, "invalid_code", true},
        {"bad mac", nullptr, {.corruptMac = true}, nullptr, "invalid_code", true},
        {"bad signature", nullptr, {.corruptSignature = true}, nullptr, "invalid_code", true},
        {"upper-case hex is fine", nullptr, {.upperCaseHex = true}, nullptr, "", false},
        {"code withdrawn meanwhile", nullptr, {},
         [](hp::host::HostState& s) { hp::protocol::clear_pairing_code(s.pairing); }, "no_active_code", false},
        {"store cannot be saved",
         [](hp::host::HostState& s) {
             std::ofstream(s.store.path().parent_path() / "blocker") << "x";
             s.store = hp::store::PairedDeviceStore(
                 s.store.path().parent_path() / "blocker" / "paired_devices.json", {});
         },
         {}, nullptr, "internal_error", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string code = hp::protocol::new_pairing_code(state_.pairing);
        if (c.before_request) c.before_request(state_);
        events_.clear();
        hp::test::PairingClient client(hp::test::ClientIdentity::generate());
        HandshakeState hs;
        auto challenge = send(hs, ft::PairRequest, client.request_body());
        ASSERT_EQ(challenge.kind, Kind::Reply);
        auto confirm = client.confirm_body(challenge.frames[0].body, code, c.tweaks);
        ASSERT_TRUE(confirm);
        if (c.before_confirm) c.before_confirm(state_);
        auto o = send(hs, ft::PairConfirm, *confirm);
        if (c.reason.empty()) {
            EXPECT_EQ(o.kind, Kind::Established);
            continue;
        }
        ASSERT_EQ(o.kind, Kind::ReplyAndClose);
        EXPECT_EQ(o.frames.at(0).type, ft::PairRejected);
        EXPECT_EQ(body_of(o), "{\"reason\":\"" + c.reason + "\"}");
        EXPECT_EQ(state_.pairing.failures, c.failure_recorded ? 1 : 0);
        EXPECT_TRUE(std::holds_alternative<std::monostate>(hs));
    }
}

TEST_F(HandshakeTest, UndecodableProofsAndZeroKeyCountAsWrongCode) {
    struct Case {
        const char* name;
        bool zero_key;
        std::string confirm;
    };
    const std::string sig(128, 'a');
    const std::vector<Case> cases = {
        {"short mac", false, "{\"clientMacHex\":\"abcd\",\"clientSigHex\":\"" + sig + "\"}"},
        {"non-hex signature", false,
         "{\"clientMacHex\":\"" + std::string(64, 'a') + "\",\"clientSigHex\":\"" +
             std::string(128, 'z') + "\"}"},
        {"all-zero peer key", true,
         "{\"clientMacHex\":\"" + std::string(64, 'a') + "\",\"clientSigHex\":\"" + sig + "\"}"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        hp::protocol::new_pairing_code(state_.pairing);
        hp::test::PairingClient client(hp::test::ClientIdentity::generate());
        auto req = client.request_json();
        if (c.zero_key) req["clientX25519PubHex"] = std::string(64, '0');
        HandshakeState hs;
        ASSERT_EQ(send(hs, ft::PairRequest, req.dump()).kind, Kind::Reply);
        auto o = send(hs, ft::PairConfirm, c.confirm);
        ASSERT_EQ(o.kind, Kind::ReplyAndClose);
        EXPECT_EQ(body_of(o), "{\"reason\":\"invalid_code\"}");
        EXPECT_EQ(state_.pairing.failures, 1);
    }
}

TEST_F(HandshakeTest, MalformedRequestsCloseWithoutReply) {
    hp::protocol::new_pairing_code(state_.pairing);
    hp::test::PairingClient client(hp::test::ClientIdentity::generate());
    const auto good = client.request_json();
    auto with = [&](const char* member, nlohmann::json value) {
        auto j = good;
        j[member] = std::move(value);
        return j.dump();
    };
    const std::string good_text = good.dump();
    const std::vector<std::pair<const char*, std::string>> bodies = {
        {"duplicate member", "{\"clientId\":\"x\"," + good_text.substr(1)},
        {"trailing garbage", good_text + " x"},
        {"wrong hex size", with("clientNonceHex", std::string(30, 'a'))},
        {"odd hex", with("clientX25519PubHex", std::string(63, 'a'))},
        {"clientId of 129 bytes", with("clientId", std::string(129, 'c'))},
        {"empty clientId", with("clientId", "")},
        {"deviceName of 257 bytes", with("deviceName", std::string(257, 'n'))},
        {"missing member", [&] {
             auto j = good;
             j.erase("clientEd25519PubHex");
             return j.dump();
         }()},
        {"not json", "hello"},
    };
    for (const auto& [name, body] : bodies) {
        SCOPED_TRACE(name);
        HandshakeState hs;
        auto o = send(hs, ft::PairRequest, body);
        EXPECT_EQ(o.kind, Kind::Reject);
        EXPECT_TRUE(o.frames.empty());
    }
    // The limits themselves are accepted.
    HandshakeState hs;
    EXPECT_EQ(send(hs, ft::PairRequest, with("clientId", std::string(128, 'c'))).kind, Kind::Reply);
    HandshakeState hs2;
    EXPECT_EQ(send(hs2, ft::PairRequest, with("deviceName", std::string(256, 'n'))).kind,
              Kind::Reply);
}

TEST_F(HandshakeTest, UnexpectedFramesForTheStepAreRejected) {
    HandshakeState idle;
    EXPECT_EQ(send(idle, ft::PairConfirm, "{}").kind, Kind::Reject);
    EXPECT_EQ(send(idle, ft::AuthResponse, "{}").kind, Kind::Reject);
    EXPECT_EQ(send(idle, ft::Ping, "{\"ts\":1}").kind, Kind::Reject);

    hp::protocol::new_pairing_code(state_.pairing);
    hp::test::PairingClient client(hp::test::ClientIdentity::generate());
    HandshakeState hs;
    ASSERT_EQ(send(hs, ft::PairRequest, client.request_body()).kind, Kind::Reply);
    EXPECT_EQ(send(hs, ft::AuthHello, "{}").kind, Kind::Reject);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(hs));
}

TEST_F(HandshakeTest, FiveWrongConfirmationsWithdrawTheCode) {
    const std::string code = hp::protocol::new_pairing_code(state_.pairing);
    for (int i = 0; i < 5; ++i) {
        hp::test::PairingClient client(hp::test::ClientIdentity::generate());
        HandshakeState hs;
        auto challenge = send(hs, ft::PairRequest, client.request_body());
        ASSERT_EQ(challenge.kind, Kind::Reply) << i;
        auto confirm = client.confirm_body(challenge.frames[0].body, code, {.corruptMac = true});
        auto o = send(hs, ft::PairConfirm, *confirm);
        EXPECT_EQ(body_of(o), "{\"reason\":\"invalid_code\"}");
    }
    EXPECT_FALSE(state_.pairing.code);
    EXPECT_EQ(events_,
              (std::vector<HostEvent>{{HostEventKind::PairingCodeRevoked, "", false}}));
    hp::test::PairingClient late(hp::test::ClientIdentity::generate());
    HandshakeState hs;
    auto o = send(hs, ft::PairRequest, late.request_body());
    ASSERT_EQ(o.kind, Kind::ReplyAndClose);
    EXPECT_EQ(body_of(o), "{\"reason\":\"no_active_code\"}");
}

TEST_F(HandshakeTest, RepairingReplacesTheRecordInPlace) {
    auto first = hp::test::ClientIdentity::generate("First");
    auto second = hp::test::ClientIdentity::generate("Second");
    pair(first);
    pair(second);
    auto again = first;
    again.deviceName = "First renamed";
    hp::crypto::random_bytes(again.ed25519Seed);
    pair(again);
    const auto& records = state_.store.records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].clientId, first.clientId);
    EXPECT_EQ(records[0].deviceName, "First renamed");
    EXPECT_EQ(records[0].ed25519PublicKeyHex, hp::crypto::hex_encode(again.ed25519_public()));
    EXPECT_EQ(records[1].clientId, second.clientId);
}

// Pairing again under a client id replaces its record; when the key changes
// the outcome names the client id, so the sessions of the old key can end.
TEST_F(HandshakeTest, PairingAgainWithAnotherKeyReportsTheReplacedKey) {
    const auto phone = hp::test::ClientIdentity::generate("Phone");
    pair(phone);
    auto renamed = phone;
    renamed.deviceName = "Phone renamed";
    auto new_key = phone;
    hp::crypto::random_bytes(new_key.ed25519Seed);

    const auto unsavable = [](hp::host::HostState& s) {
        std::ofstream(s.store.path().parent_path() / "blocker") << "x";
        hp::store::PairedDeviceStore blocked(s.store.path().parent_path() / "blocker" / "paired_devices.json",
                                             {});
        for (const auto& r : s.store.records()) blocked.upsert(r);
        s.store = std::move(blocked);
    };
    struct Case {
        const char* name;
        hp::test::ClientIdentity id;
        std::function<void(hp::host::HostState&)> before;
        Kind kind;
        bool rekeyed;
    };
    // In order: each case pairs on top of the one before.
    const std::vector<Case> cases = {
        {"first pairing of an id", hp::test::ClientIdentity::generate(), nullptr, Kind::Established, false},
        {"same key, new name", renamed, nullptr, Kind::Established, false},
        {"another key", new_key, nullptr, Kind::Established, true},
        {"the first key back, store unsavable", phone, unsavable, Kind::ReplyAndClose, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string code = hp::protocol::new_pairing_code(state_.pairing);
        if (c.before) c.before(state_);
        hp::test::PairingClient client(c.id);
        HandshakeState hs;
        auto challenge = send(hs, ft::PairRequest, client.request_body());
        ASSERT_EQ(challenge.kind, Kind::Reply);
        auto confirm = client.confirm_body(challenge.frames.at(0).body, code);
        ASSERT_TRUE(confirm);
        const auto o = send(hs, ft::PairConfirm, *confirm);
        EXPECT_EQ(o.kind, c.kind);
        EXPECT_EQ(o.rekeyedClientId, c.rekeyed ? std::optional(c.id.clientId) : std::nullopt);
        // The host holds the new key either way.
        const auto* rec = state_.store.find(c.id.clientId);
        ASSERT_NE(rec, nullptr);
        EXPECT_EQ(rec->ed25519PublicKeyHex, hp::crypto::hex_encode(c.id.ed25519_public()));
    }
}

// An AuthResponse counts only while the record holds the key its AuthHello
// found: paired again with another key in between, the client is unpaired.
TEST_F(HandshakeTest, AuthResponseNeedsTheKeyItsHelloFound) {
    struct Case {
        const char* name;
        bool another_key;
        Kind kind;
    };
    for (const Case& c : {Case{"paired again with the same key", false, Kind::Established},
                          Case{"paired again with another key", true, Kind::ReplyAndClose}}) {
        SCOPED_TRACE(c.name);
        const auto id = hp::test::ClientIdentity::generate("Phone");
        auto paired = pair(id);
        hp::test::AuthClient client(id, paired.pinned_host());
        HandshakeState hs;
        auto challenge = send(hs, ft::AuthHello, client.hello_body());
        ASSERT_EQ(challenge.kind, Kind::Reply);
        auto response = client.response_body(challenge.frames.at(0).body);
        ASSERT_TRUE(response) << response.error().text;

        auto again = id;
        if (c.another_key) hp::crypto::random_bytes(again.ed25519Seed);
        pair(again);

        const auto o = send(hs, ft::AuthResponse, *response);
        ASSERT_EQ(o.kind, c.kind);
        if (c.kind == Kind::ReplyAndClose) {
            EXPECT_EQ(o.frames.at(0).type, ft::AuthRejected);
            EXPECT_EQ(body_of(o), "{\"reason\":\"unpaired\"}");
        }
    }
}

TEST_F(HandshakeTest, AuthenticationEstablishesWithTheDerivedKey) {
    auto id = hp::test::ClientIdentity::generate("Phone");
    auto paired = pair(id);
    auto* rec = state_.store.find(id.clientId);
    rec->pairedAtUnix = 1000;
    rec->lastSeenUnix = 1000;
    rec->lastRemoteIp = "10.0.0.1";

    struct Case {
        const char* name;
        hp::test::AuthTweaks tweaks;
        std::string session_name;
    };
    for (const Case& c : {Case{"own name", {.deviceName = std::string("Renamed")}, "Renamed"},
                          Case{"longest name", {.deviceName = std::string(256, 'n')}, std::string(256, 'n')},
                          Case{"empty name", {.deviceName = std::string("")}, "Phone"},
                          Case{"no name member", {.omitDeviceName = true}, "Phone"}}) {
        SCOPED_TRACE(c.name);
        hp::test::AuthClient client(id, paired.pinned_host(), c.tweaks);
        HandshakeState hs;
        auto challenge = send(hs, ft::AuthHello, client.hello_body());
        ASSERT_EQ(challenge.kind, Kind::Reply);
        ASSERT_EQ(challenge.frames.at(0).type, ft::AuthChallenge);
        auto response = client.response_body(challenge.frames[0].body);
        ASSERT_TRUE(response) << response.error().text;
        auto o = send(hs, ft::AuthResponse, *response);
        ASSERT_EQ(o.kind, Kind::Established);
        EXPECT_EQ(o.established->deviceName, c.session_name);
        EXPECT_EQ(o.established->sessionKey.bytes(), client.session_key());
        EXPECT_TRUE(o.established->plainFrames.empty());
        ASSERT_EQ(o.established->secureFrames.size(), 1u);
        EXPECT_EQ(o.established->secureFrames[0].type, ft::AuthAccepted);
        EXPECT_EQ(hp::to_string(o.established->secureFrames[0].body), "{}");
    }
    const auto* after = state_.store.find(id.clientId);
    EXPECT_EQ(after->deviceName, "Phone");
    EXPECT_EQ(after->pairedAtUnix, 1000u);
    EXPECT_GT(after->lastSeenUnix, 1000u);
    EXPECT_EQ(after->lastRemoteIp, "192.168.1.20");
    // The touched record was written back to the file.
    const auto reloaded = hp::store::PairedDeviceStore::load(state_.store.path(), store_key_);
    ASSERT_NE(reloaded.find(id.clientId), nullptr);
    EXPECT_EQ(*reloaded.find(id.clientId), *after);
    EXPECT_EQ(hp::store::PairedDeviceStore::load(state_.store.path(), {}).records().size(), 0u)
        << "the saved file is tagged with the store key";
}

// The device-name limit of pairing holds for authentication too, before any
// key agreement or signature is made.
TEST_F(HandshakeTest, AnOverlongDeviceNameIsRefusedWithoutAReply) {
    auto id = hp::test::ClientIdentity::generate("Phone");
    auto paired = pair(id);
    hp::test::AuthClient client(id, paired.pinned_host(), {.deviceName = std::string(257, 'n')});
    HandshakeState hs;
    const auto o = send(hs, ft::AuthHello, client.hello_body());
    EXPECT_EQ(o.kind, Kind::Reject);
    EXPECT_TRUE(o.frames.empty());
    EXPECT_TRUE(std::holds_alternative<std::monostate>(hs));
}

TEST_F(HandshakeTest, AuthenticationRefusals) {
    auto id = hp::test::ClientIdentity::generate("Phone");
    auto paired = pair(id);

    // Unknown client.
    {
        auto stranger = hp::test::ClientIdentity::generate();
        hp::test::AuthClient client(stranger, paired.pinned_host());
        HandshakeState hs;
        auto o = send(hs, ft::AuthHello, client.hello_body());
        ASSERT_EQ(o.kind, Kind::ReplyAndClose);
        EXPECT_EQ(o.frames[0].type, ft::AuthRejected);
        EXPECT_EQ(body_of(o), "{\"reason\":\"unpaired\"}");
    }
    // Removed between the two messages.
    {
        hp::test::AuthClient client(id, paired.pinned_host());
        HandshakeState hs;
        auto challenge = send(hs, ft::AuthHello, client.hello_body());
        auto response = client.response_body(challenge.frames[0].body);
        auto saved = state_.store;
        state_.store.remove(id.clientId);
        auto o = send(hs, ft::AuthResponse, *response);
        ASSERT_EQ(o.kind, Kind::ReplyAndClose);
        EXPECT_EQ(body_of(o), "{\"reason\":\"unpaired\"}");
        state_.store = saved;
    }
    // Bad signature, and a signature over an earlier connection's transcript.
    {
        hp::test::AuthClient bad(id, paired.pinned_host(), {.corruptSignature = true});
        HandshakeState hs;
        auto challenge = send(hs, ft::AuthHello, bad.hello_body());
        auto o = send(hs, ft::AuthResponse, *bad.response_body(challenge.frames[0].body));
        EXPECT_EQ(o.kind, Kind::Reject);

        hp::test::AuthClient first(id, paired.pinned_host());
        HandshakeState hs1;
        auto c1 = send(hs1, ft::AuthHello, first.hello_body());
        const std::string old_response = *first.response_body(c1.frames[0].body);
        HandshakeState hs2;
        send(hs2, ft::AuthHello, first.hello_body());
        EXPECT_EQ(send(hs2, ft::AuthResponse, old_response).kind, Kind::Reject);
    }
    // Malformed hello of a known client.
    {
        hp::test::AuthClient client(id, paired.pinned_host());
        auto j = client.hello_json();
        j["clientNonceHex"] = "abc";
        HandshakeState hs;
        EXPECT_EQ(send(hs, ft::AuthHello, j.dump()).kind, Kind::Reject);
        EXPECT_EQ(send(hs, ft::AuthHello, "[1,2]").kind, Kind::Reject);
    }
}

TEST(PairingCode, UniformSixDigitsWithLeadingZeros) {
    static std::vector<std::uint32_t> draws;
    auto draw = [] {
        const auto v = draws.front();
        draws.erase(draws.begin());
        return v;
    };
    struct Case {
        std::vector<std::uint32_t> draws;
        std::string code;
    };
    for (const Case& c : {Case{{1000005}, "000005"}, Case{{4294967295u, 4294000000u, 42}, "000042"},
                          Case{{4293999999u}, "999999"}, Case{{123456}, "123456"}}) {
        draws = c.draws;
        EXPECT_EQ(hp::protocol::pairing_code_from(+draw), c.code);
        EXPECT_TRUE(draws.empty());
    }
}

TEST_F(HandshakeTest, PairingLinkEncodesEveryField) {
    EXPECT_EQ(hp::protocol::percent_encode("Büro PC"), "B%C3%BCro%20PC");
    EXPECT_EQ(hp::protocol::percent_encode("a-b.c_d~e/f:"), "a-b.c_d~e%2Ff%3A");
    net_.lan = {*hp::IpAddress::parse("fd00::5"), *hp::IpAddress::parse("192.168.1.5")};
    EXPECT_EQ(hp::protocol::pairing_link(state_.identity, state_.info, net_, "012345"),
              "hearthpad://pair?v=1&id=3f1c2a9e-8b7d-4c6e-9a5b-1d2e3f4a5b6c&name=B%C3%BCro%20PC"
              "&os=windows&lan=192.168.1.5%3A49183&ts=100.64.1.2%3A49183&pk=" +
                  hp::crypto::hex_encode(state_.identity.publicKey) + "&code=012345");
    net_ = {};
    net_.lan = {*hp::IpAddress::parse("fd00::5")};
    EXPECT_NE(hp::protocol::pairing_link(state_.identity, state_.info, net_, "1").find("&lan=%5Bfd00%3A%3A5%5D%3A49183&ts=&pk="),
              std::string::npos);
}

}  // namespace
