// The test client and the host's protocol pieces must agree: the client is
// written independently, so these checks pin both to the same wire format.
#include "support/test_client.h"

#include <gtest/gtest.h>

#include <asio.hpp>
#include <thread>

#include "protocol/frame.h"
#include "protocol/messages.h"

namespace hp::test {
namespace {

using namespace hp::protocol;

constexpr std::string_view kHostId = "6f1c2a9e-3b4d-4c5e-8f70-112233445566";

struct Host {
    crypto::Key32 seed{};
    crypto::Key32 pub{};
    crypto::X25519KeyPair eph = crypto::x25519_keypair();
    crypto::Nonce16 nonce{};
    Host() {
        crypto::random_bytes(seed);
        pub = crypto::ed25519_public_key(seed);
        crypto::random_bytes(nonce);
    }
    ChallengeCommon common() const {
        return {std::string(kHostId), "Desk", "desktop", {}, {}, 47800};
    }
};

// Runs the host's half of pairing with the host's own transcript and key
// schedule; returns the session key when the client's proofs verify.
std::optional<crypto::Key32> host_pairing(const Host& host, PairingClient& client,
                                          std::string_view code, const ConfirmTweaks& tweaks = {}) {
    const auto request = parse_pair_request(as_bytes(client.request_body()));
    if (!request) return std::nullopt;
    const auto challenge =
        encode_pair_challenge(host.common(), host.eph.public_key, host.pub, host.nonce);
    const auto confirmBody = client.confirm_body(as_bytes(challenge), code, tweaks);
    if (!confirmBody) return std::nullopt;
    const auto confirm = parse_pair_confirm(as_bytes(*confirmBody));
    if (!confirm) return std::nullopt;

    const Bytes transcript = crypto::pair_transcript(
        request->clientId, kHostId, request->clientX25519Pub, host.eph.public_key,
        request->clientEd25519Pub, host.pub, request->clientNonce, host.nonce);
    const auto keys = crypto::derive_pairing_keys(
        code, crypto::x25519(host.eph.secret, request->clientX25519Pub), transcript);
    Bytes macInput;
    append(macInput, std::string_view("CLIENT_CONFIRM"));
    append(macInput, transcript);
    const auto mac = crypto::hex_decode_array<32>(confirm->clientMacHex);
    const auto sig = crypto::hex_decode_array<64>(confirm->clientSigHex);
    if (!mac || !sig) return std::nullopt;
    if (!crypto::ct_equal(*mac, crypto::hmac_sha256(keys.confirm_key, macInput)))
        return std::nullopt;
    if (!crypto::ed25519_verify(request->clientEd25519Pub, transcript, *sig)) return std::nullopt;

    Bytes hostMacInput;
    append(hostMacInput, std::string_view("HOST_CONFIRM"));
    append(hostMacInput, transcript);
    const auto accepted = encode_pair_accepted(crypto::hmac_sha256(keys.confirm_key, hostMacInput),
                                               crypto::ed25519_sign(host.seed, transcript), 47800);
    if (!client.verify_accepted(as_bytes(accepted))) return std::nullopt;
    return keys.session_key;
}

TEST(TestClientAgreement, PairingWithTheHostKeySchedule) {
    const Host host;
    PairingClient client(ClientIdentity::generate());
    const auto key = host_pairing(host, client, "004711");
    ASSERT_TRUE(key);
    EXPECT_EQ(*key, client.session_key());
    EXPECT_EQ(client.pinned_host().hostId, kHostId);
    EXPECT_EQ(client.pinned_host().ed25519Public, host.pub);
    EXPECT_EQ(client.pinned_host().udpPort, 47800);
}

TEST(TestClientAgreement, SpoiledConfirmationsFailTheHostChecks) {
    const ConfirmTweaks cases[] = {
        {.macCode = "004712"},
        {.corruptMac = true},
        {.corruptSignature = true},
    };
    for (const auto& tweaks : cases) {
        const Host host;
        PairingClient client(ClientIdentity::generate());
        EXPECT_FALSE(host_pairing(host, client, "004711", tweaks));
    }
    const Host host;
    PairingClient client(ClientIdentity::generate());
    EXPECT_TRUE(host_pairing(host, client, "004711", {.upperCaseHex = true}));
}

TEST(TestClientAgreement, AuthenticationWithTheHostKeySchedule) {
    const Host host;
    const auto identity = ClientIdentity::generate();
    AuthClient client(identity, PinnedHost{std::string(kHostId), host.pub, 47800});

    const auto hello = parse_auth_hello(as_bytes(client.hello_body()));
    ASSERT_TRUE(hello);
    EXPECT_EQ(hello->clientId, identity.clientId);
    EXPECT_EQ(hello->deviceName, identity.deviceName);
    const auto clientX = crypto::hex_decode_array<32>(hello->clientX25519PubHex);
    const auto clientNonce = crypto::hex_decode_array<16>(hello->clientNonceHex);
    ASSERT_TRUE(clientX && clientNonce);

    const Bytes transcript = crypto::auth_transcript(identity.clientId, kHostId, *clientX,
                                                     host.eph.public_key, *clientNonce, host.nonce);
    const auto challenge = encode_auth_challenge(host.common(), host.eph.public_key, host.nonce,
                                                 crypto::ed25519_sign(host.seed, transcript));
    const auto responseBody = client.response_body(as_bytes(challenge));
    ASSERT_TRUE(responseBody) << responseBody.error().text;
    const auto response = parse_auth_response(as_bytes(*responseBody));
    ASSERT_TRUE(response);
    const auto sig = crypto::hex_decode_array<64>(response->clientSigHex);
    ASSERT_TRUE(sig);
    EXPECT_TRUE(crypto::ed25519_verify(identity.ed25519_public(), transcript, *sig));
    EXPECT_EQ(client.session_key(),
              crypto::derive_auth_session_key(
                  *clientNonce, host.nonce, crypto::x25519(host.eph.secret, *clientX), transcript));

    AuthClient refusing(identity, PinnedHost{std::string(kHostId), host.pub, 47800},
                        {.corruptHostCheck = true});
    EXPECT_FALSE(refusing.response_body(as_bytes(challenge)));
    AuthClient nameless(identity, PinnedHost{}, {.omitDeviceName = true});
    EXPECT_FALSE(nameless.hello_json().contains("deviceName"));
    EXPECT_EQ(parse_auth_hello(as_bytes(nameless.hello_body()))->deviceName, "");
}

TEST(TestClientAgreement, SecureFramesBothWays) {
    crypto::Key32 key{};
    crypto::random_bytes(key);
    ClientChannel client{key};
    SessionKeys host{crypto::SessionKey(key)};
    for (int i = 0; i < 3; ++i) {
        const Bytes up = client.seal(0x30, as_bytes("{\"ts\":9}"));
        FrameReader reader;
        reader.feed(up);
        Frame f;
        ASSERT_EQ(reader.next(f), FrameReader::Status::Frame);
        const auto plain = decode_secure(host, kClientToHost, f.type, f.body);
        ASSERT_TRUE(plain);
        EXPECT_EQ(to_string(*plain), "{\"ts\":9}");

        const auto down = encode_secure(host, kHostToClient, 0x31, as_bytes("{\"ts\":9}"));
        ASSERT_TRUE(down);
        const auto opened = client.open(0x31, ByteView(*down).subspan(5));
        ASSERT_TRUE(opened);
        EXPECT_EQ(to_string(*opened), "{\"ts\":9}");
    }
    EXPECT_EQ(client.sendCounter, 3u);
    EXPECT_EQ(client.recvCounter, 3u);
}

// A one-connection loopback peer: answers the information request, then
// echoes one secure frame with a fixed key, then closes.
TEST(TestClientSocket, InformationRequestAndSecureEcho) {
    asio::io_context io;
    asio::ip::tcp::acceptor acceptor(io, {asio::ip::address_v4::loopback(), 0});
    const auto port = acceptor.local_endpoint().port();
    crypto::Key32 key{};
    key.fill(0x33);

    std::thread peer([&] {
        asio::error_code ec;
        asio::ip::tcp::socket socket = acceptor.accept(ec);
        if (ec) return;
        FrameReader reader;
        SessionKeys keys{crypto::SessionKey(key)};
        bool secure = false;
        std::array<std::uint8_t, 4096> chunk{};
        for (;;) {
            const std::size_t n = socket.read_some(asio::buffer(chunk), ec);
            if (ec) return;
            reader.feed(ByteView(chunk.data(), n));
            Frame f;
            while (reader.next(f) == FrameReader::Status::Frame) {
                Result<Bytes> out;
                if (!secure) {
                    out = encode_plain(0x14, as_bytes(encode_host_info(kHostId, "Desk", "fp", 9)));
                    secure = true;
                } else {
                    const auto plain = decode_secure(keys, kClientToHost, f.type, f.body);
                    if (!plain) return;
                    out = encode_secure(keys, kHostToClient, f.type, *plain);
                }
                asio::write(socket, asio::buffer(*out), ec);
                if (keys.recvCounter == 1) return;  // closes the socket
            }
        }
    });

    TestClient client;
    ASSERT_TRUE(client.connect(port));
    const auto info = client.information();
    ASSERT_TRUE(info) << info.error().text;
    EXPECT_EQ((*info)["hostId"], kHostId);
    EXPECT_EQ((*info)["v"], 1);

    client.start_secure(key);
    ASSERT_TRUE(client.send_secure(0x30, std::string_view("{\"ts\":5}")));
    const auto echo = client.recv();
    ASSERT_TRUE(echo) << echo.error().text;
    EXPECT_EQ(echo->type, 0x30);
    EXPECT_EQ(echo->text(), "{\"ts\":5}");
    EXPECT_TRUE(client.wait_closed());
    peer.join();
}

}  // namespace
}  // namespace hp::test
