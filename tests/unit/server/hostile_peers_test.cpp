// Floods from other addresses never keep a paired phone out: it pairs,
// authenticates and gets its input executed meanwhile, and the host gives
// back every descriptor afterwards.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <asio/connect.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/read.hpp>
#include <asio/write.hpp>
#include <atomic>
#include <filesystem>
#include <thread>

#include "host_fixture.h"

namespace hp::test {
namespace {

namespace ft = frame_type;
using namespace std::chrono_literals;
using asio::ip::tcp;

// Open sockets of this process (the host's and the test's).
std::size_t open_descriptors() {
    std::size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (std::filesystem::read_symlink(e.path(), ec).string().starts_with("socket:")) ++n;
    }
    return n;
}

// A TCP connection from `from` (a loopback address of its own).
std::optional<tcp::socket> connect_from(asio::io_context& io, const char* from, std::uint16_t port) {
    tcp::socket s(io);
    asio::error_code ec;
    s.open(tcp::v4(), ec);
    if (!ec) s.bind(tcp::endpoint(asio::ip::make_address(from), 0), ec);
    if (!ec) s.connect(tcp::endpoint(asio::ip::address_v4::loopback(), port), ec);
    if (ec) return std::nullopt;
    return s;
}

class HostilePeers : public HostFixture {
protected:
    static void SetUpTestSuite() {
        rlimit r{};
        if (::getrlimit(RLIMIT_NOFILE, &r) == 0 && r.rlim_cur < r.rlim_max) {
            r.rlim_cur = std::min<rlim_t>(r.rlim_max, 65536);
            ::setrlimit(RLIMIT_NOFILE, &r);
        }
    }

    // The phone's whole road: pair, send a key, come back later and authenticate.
    void phone_gets_through() {
        auto phone = paired_client("Phone");
        ASSERT_TRUE(phone->send_secure(ft::InputCommand, command(4, 1, {4, 0, 1})));
        EXPECT_TRUE(wait_platform("key 0x41 down"));
        phone->close();
        TestClient again(phone->identity());
        again.pin_host(*phone->pinned_host());
        ASSERT_TRUE(again.connect(port()));
        auto r = again.authenticate();
        EXPECT_TRUE(r.ok()) << r.detail;
    }

    bool wait_descriptors(std::size_t at_most, std::chrono::seconds bound = 10s) {
        const auto until = std::chrono::steady_clock::now() + bound;
        while (open_descriptors() > at_most) {
            if (std::chrono::steady_clock::now() > until) return false;
            std::this_thread::sleep_for(50ms);
        }
        return true;
    }
};

TEST_F(HostilePeers, ThreeThousandIdleConnectionsFromOneAddress) {
    start();
    asio::io_context io;
    const std::size_t baseline = open_descriptors();
    std::vector<tcp::socket> flood;
    for (int i = 0; i < 3000; ++i)
        if (auto s = connect_from(io, "127.0.0.2", port())) flood.push_back(std::move(*s));
    EXPECT_GT(flood.size(), 2900u);
    phone_gets_through();
    flood.clear();
    EXPECT_TRUE(wait_descriptors(baseline)) << open_descriptors() << " sockets open, " << baseline << " before";
}

TEST_F(HostilePeers, TwentyAddressesTricklingBytesHitTheHandshakeDeadline) {
    configure_ = [](main::StartOptions& o) { o.admission.handshakeDeadline = 2s; };
    start();
    const std::size_t baseline = open_descriptors();
    std::atomic<bool> stop{false};
    std::atomic<int> closed_by_host{0};
    std::thread trickle([&] {
        asio::io_context io;
        std::vector<tcp::socket> held;
        for (int a = 2; a <= 21; ++a) {
            const std::string from = "127.0.0." + std::to_string(a);
            for (int i = 0; i < 10; ++i)
                if (auto s = connect_from(io, from.c_str(), port())) held.push_back(std::move(*s));
        }
        // A byte now and then keeps the idle deadline away, not the handshake one.
        const std::uint8_t byte = 0;
        while (!stop) {
            for (auto& s : held) {
                asio::error_code ec;
                s.write_some(asio::buffer(&byte, 1), ec);
            }
            std::this_thread::sleep_for(300ms);
        }
        for (auto& s : held) {
            asio::error_code ec;
            std::uint8_t b;
            s.non_blocking(true);
            if (s.read_some(asio::buffer(&b, 1), ec) == 0 && ec == asio::error::eof) ++closed_by_host;
        }
    });
    std::this_thread::sleep_for(500ms);
    phone_gets_through();
    std::this_thread::sleep_for(2500ms);  // past the handshake deadline
    stop = true;
    trickle.join();
    EXPECT_EQ(closed_by_host.load(), 200) << "every trickling connection was closed by the host";
    EXPECT_TRUE(wait_descriptors(baseline)) << open_descriptors() << " sockets open, " << baseline << " before";
}

TEST_F(HostilePeers, ABurstOfPairRequestsIsCutOffWithoutReplies) {
    start();
    std::atomic<int> answered{0};
    std::thread burst([&] {
        asio::io_context io;
        const std::uint8_t info_request[] = {1, 0, 0, 0, 0x10};
        for (int i = 0; i < 1000; ++i) {
            auto s = connect_from(io, "127.0.0.2", port());
            if (!s) continue;
            asio::error_code ec;
            asio::write(*s, asio::buffer(info_request), ec);
            std::uint8_t head[5];
            s->non_blocking(false);
            if (asio::read(*s, asio::buffer(head), ec) == 5 && head[4] == 0x14) ++answered;
            if (i % 100 == 99) std::this_thread::sleep_for(100ms);  // about 1000 per second
        }
    });
    phone_gets_through();
    burst.join();
    EXPECT_GE(answered.load(), 20) << "the burst allowance";
    EXPECT_LT(answered.load(), 60) << "beyond the rate nothing is answered";
}

}  // namespace
}  // namespace hp::test
