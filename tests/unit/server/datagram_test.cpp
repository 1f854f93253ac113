#include <gtest/gtest.h>

#include <asio/io_context.hpp>
#include <asio/ip/udp.hpp>

#include "host_fixture.h"
#include "server/datagram.h"

namespace hp::test {
namespace {

using namespace std::chrono_literals;
using asio::ip::udp;
namespace ft = frame_type;

// The client's datagram: bytes 0..11 in clear, the payload sealed with "CUDP".
Bytes seal_datagram(const crypto::Key32& key, const Bytes& command20) {
    const std::uint64_t seq = get_u64le(command20.data() + 4);
    Bytes d(command20.begin(), command20.begin() + 12);
    const Bytes sealed = crypto::aead_seal(key, crypto::make_nonce("CUDP", seq),
                                           ByteView(command20.data(), 12),
                                           ByteView(command20.data() + 12, 8));
    append(d, sealed);
    return d;
}

class UdpClient {
public:
    explicit UdpClient(const char* source = "127.0.0.1") : socket_(io_) {
        socket_.open(udp::v4());
        socket_.bind(udp::endpoint(asio::ip::make_address(source), 0));
        socket_.non_blocking(true);
    }
    void send(const Bytes& d, std::uint16_t port) {
        socket_.send_to(asio::buffer(d), udp::endpoint(asio::ip::make_address("127.0.0.1"), port));
    }
    // The next datagram within the time-out, or nothing.
    std::optional<Bytes> receive(std::chrono::milliseconds timeout = 2s) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        Bytes buf(2048);
        while (std::chrono::steady_clock::now() < until) {
            asio::error_code ec;
            udp::endpoint from;
            const auto n = socket_.receive_from(asio::buffer(buf), from, 0, ec);
            if (!ec) {
                buf.resize(n);
                return buf;
            }
            std::this_thread::sleep_for(2ms);
        }
        return std::nullopt;
    }

private:
    asio::io_context io_;
    udp::socket socket_;
};

class DatagramTest : public HostFixture {
protected:
    void SetUp() override { start(); }
};

TEST_F(DatagramTest, AuthenticDatagramIsExecutedAndAcknowledged) {
    auto a = paired_client("A");
    const auto key = a->channel().key;
    UdpClient udp;
    udp.send(seal_datagram(key, move_command(7, 5.0f, -3.0f, /*ack*/ 1)), state().info.udpPort);
    auto ack = udp.receive();
    ASSERT_TRUE(ack);
    ASSERT_EQ(ack->size(), 28u);
    EXPECT_EQ((*ack)[0], 0x01);
    EXPECT_EQ((*ack)[1], 0xFE);
    EXPECT_EQ((*ack)[2], 0x00);
    EXPECT_EQ((*ack)[3], 0x00);
    EXPECT_EQ(get_u64le(ack->data() + 4), 7u);
    EXPECT_TRUE(crypto::aead_open(key, crypto::make_nonce("HUDP", 7), ByteView(ack->data(), 12),
                                  ByteView(ack->data() + 12, 16)));
    EXPECT_TRUE(wait_platform("move 5 -3"));

    // A replay is acknowledged but not executed again.
    platform_->clear();
    udp.send(seal_datagram(key, move_command(7, 5.0f, -3.0f, 1)), state().info.udpPort);
    EXPECT_TRUE(udp.receive());
    EXPECT_FALSE(wait_platform("move 5 -3", 100ms));
}

TEST_F(DatagramTest, FirstDatagramRightAfterTheHandshakeIsAccepted) {
    for (int round = 0; round < 5; ++round) {
        TestClient c(ClientIdentity::generate("Quick " + std::to_string(round)));
        ASSERT_TRUE(c.connect(port()));
        ASSERT_TRUE(c.pair(open_code()).ok());
        UdpClient udp;
        udp.send(seal_datagram(c.channel().key, move_command(1, 1.0f, 0.0f, 1)), state().info.udpPort);
        EXPECT_TRUE(udp.receive()) << "round " << round;
    }
}

TEST_F(DatagramTest, UnauthenticDatagramsAreDropped) {
    auto a = paired_client("A");
    const auto key = a->channel().key;
    crypto::Key32 wrong = key;
    wrong[0] ^= 1;
    const Bytes good = seal_datagram(key, move_command(9, 1.0f, 0.0f, 1));
    Bytes version2 = seal_datagram(key, [] {
        Bytes c = move_command(10, 1.0f, 0.0f, 1);
        c[0] = 2;
        return c;
    }());
    Bytes longer = good;
    longer.push_back(0);
    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"wrong key", seal_datagram(wrong, move_command(8, 1.0f, 0.0f, 1))},
        {"35 bytes", Bytes(good.begin(), good.end() - 1)},
        {"37 bytes", longer},
        {"100 bytes", Bytes(100, 1)},
        {"version 2", version2},
    };
    UdpClient udp;
    for (const auto& [name, d] : cases) {
        udp.send(d, state().info.udpPort);
        EXPECT_FALSE(udp.receive(150ms)) << name;
    }
    // From another private address of this machine.
    UdpClient other("127.0.0.2");
    other.send(good, state().info.udpPort);
    EXPECT_FALSE(other.receive(150ms));
    EXPECT_TRUE(platform_->lines().empty());

    // After the session has ended its key no longer opens anything.
    a->close();
    ASSERT_TRUE(wait_event(HostEventKind::SessionClosed, "A"));
    udp.send(good, state().info.udpPort);
    EXPECT_FALSE(udp.receive(150ms));
}

TEST_F(DatagramTest, ABatchIsAppliedUnderOneLockWithMotionCoalesced) {
    auto a = paired_client("A");
    auto b = paired_client("B");
    crypto::Key32 key_a = a->channel().key;
    platform_->clear();
    std::vector<server::QueuedDatagram> batch;
    auto add = [&](const crypto::Key32& key, const Bytes& command) {
        server::QueuedDatagram q;
        const Bytes d = seal_datagram(key, command);
        std::copy(d.begin(), d.end(), q.bytes.begin());
        q.size = d.size();
        q.from = udp::endpoint(asio::ip::make_address("127.0.0.1"), 5555);
        batch.push_back(q);
    };
    add(key_a, move_command(1, 2.0f, 1.0f, 1));
    add(key_a, move_command(2, 3.0f, 1.0f));
    add(b->channel().key, move_command(1, 4.0f, 0.0f));  // same address, other session
    add(key_a, command(2, 3, {1, 1}));                    // a button flushes motion first
    auto acks = server::apply_batch(state(), batch);
    ASSERT_EQ(acks.size(), 1u);
    EXPECT_EQ(get_u64le(acks[0].bytes.data() + 4), 1u);
    // A's two moves are summed and flushed when B takes control; B's move is
    // flushed when A takes control back for the button.
    const std::vector<std::string> expected = {"keepAwake", "move 5 2", "move 4 0", "button 1 down"};
    EXPECT_EQ(platform_->lines(), expected);
    HostLock lock(state());
    EXPECT_FALSE(state().input.batching);
    EXPECT_EQ(state().input.pendingMotionX, 0);
}

TEST(Datagram, AckAndOpenAreInverse) {
    crypto::Key32 key{};
    key.fill(9);
    const auto cmd = move_command(42, 1.5f, 2.5f);
    const Bytes d = seal_datagram(key, cmd);
    ASSERT_EQ(d.size(), 36u);
    auto opened = protocol::open_datagram(key, d);
    ASSERT_TRUE(opened);
    EXPECT_TRUE(std::equal(opened->begin(), opened->end(), cmd.begin()));
    Bytes tampered = d;
    tampered[2] ^= 1;  // clear header bytes are authenticated too
    EXPECT_FALSE(protocol::open_datagram(key, tampered));
}

}  // namespace
}  // namespace hp::test

namespace hp::test {
namespace {

class SasTest : public HostFixture {
protected:
    void SetUp() override { start(); }
};

// Ctrl+Alt+Del is answered on the session, whichever way the request came.
TEST_F(SasTest, ResultGoesToTheRequestingSession) {
    auto a = paired_client("A");
    // No helper service here, and the host is no service: nothing can send it.
    const std::string expected =
        "{\"code\":\"sas_unavailable\",\"message\":\"Ctrl+Alt+Del is not available on this PC (install "
        "Hearthpad with its Ctrl+Alt+Del helper)\"}";
    ASSERT_TRUE(a->send_secure(frame_type::InputCommand, command(8, 1, {9})));
    auto reply = a->recv();
    ASSERT_TRUE(reply) << reply.error().text;
    EXPECT_EQ(reply->type, frame_type::SasResult);
    EXPECT_EQ(reply->text(), expected);

    UdpClient udp;
    udp.send(seal_datagram(a->channel().key, command(8, 2, {9})), state().info.udpPort);
    auto over_udp = a->recv();
    ASSERT_TRUE(over_udp) << over_udp.error().text;
    EXPECT_EQ(over_udp->type, frame_type::SasResult);
    EXPECT_EQ(over_udp->text(), expected);
}

}  // namespace
}  // namespace hp::test
