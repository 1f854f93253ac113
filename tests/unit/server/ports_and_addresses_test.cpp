#include <gtest/gtest.h>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/ip/udp.hpp>
#include <atomic>
#include <thread>

#include "base/ip_address.h"
#include "main/start_host.h"
#include "platform/posix/posix_system.h"
#include "server/sockets.h"

namespace hp {
namespace {

using asio::ip::tcp;
using asio::ip::udp;
using namespace std::chrono_literals;
using host::HostEvent;
using host::HostEventKind;
using main::ProcessCounters;
using main::TimerHooks;
using main::wrap_event_sink;

TEST(PrivateAddress, AdmissionRules) {
    const std::vector<std::pair<const char*, bool>> cases = {
        {"10.1.2.3", true},        {"127.0.0.1", true},      {"100.64.1.2", true},
        {"100.127.255.255", true}, {"100.128.0.1", false},   {"100.63.0.1", false},
        {"169.254.3.4", true},     {"172.16.0.1", true},     {"172.31.255.1", true},
        {"172.32.0.1", false},     {"192.168.1.5", true},    {"192.169.0.1", false},
        {"8.8.8.8", false},        {"0.0.0.0", false},       {"::1", true},
        {"fc00::1", true},         {"fd7a:115c:a1e0::1", true}, {"fe80::1", true},
        {"febf::1", true},         {"fec0::1", false},       {"2001:db8::1", false},
        {"::", false},             {"::ffff:192.168.1.5", true}, {"::ffff:8.8.8.8", false},
        {"::ffff:127.0.0.1", true},
    };
    for (const auto& [text, expected] : cases) {
        auto a = IpAddress::parse(text);
        ASSERT_TRUE(a) << text;
        EXPECT_EQ(is_private_address(*a), expected) << text;
    }
    EXPECT_EQ(IpAddress::parse("::ffff:192.168.1.5")->unmapped().to_string(), "192.168.1.5");
    EXPECT_EQ(format_endpoint(*IpAddress::parse("fe80::1"), 49182), "[fe80::1]:49182");
}

// A block of eleven consecutive ports that are free right now.
std::uint16_t free_base(asio::io_context& io) {
    for (std::uint16_t base = 40000 + static_cast<std::uint16_t>(::getpid() % 2000) * 10;; base += 11) {
        bool all_free = true;
        for (std::uint16_t p = base; p <= base + 10 && all_free; ++p) {
            asio::error_code ec;
            tcp::acceptor t(io);
            t.open(tcp::v4(), ec);
            t.bind(tcp::endpoint(tcp::v4(), p), ec);
            all_free = !ec;
        }
        if (all_free) return base;
    }
}

TEST(PortChoice, FirstUsablePairWins) {
    asio::io_context io;
    const auto system = platform::make_posix_system();
    const std::uint16_t base = free_base(io);
    const server::PortRange range{base, static_cast<std::uint16_t>(base + 10)};

    {   // First port taken for TCP.
        tcp::acceptor blocker(io, tcp::endpoint(tcp::v4(), base), false);
        auto s = server::bind_host_sockets(io.get_executor(), *system, range);
        ASSERT_TRUE(s) << s.error().text;
        EXPECT_EQ(s->tcp_port, base + 1);
        EXPECT_EQ(s->udp_port, base + 1);
    }
    {   // First port taken for UDP only: its TCP listener is given up.
        udp::socket blocker(io, udp::endpoint(udp::v4(), base));
        auto s = server::bind_host_sockets(io.get_executor(), *system, range);
        ASSERT_TRUE(s) << s.error().text;
        EXPECT_EQ(s->tcp_port, base + 1);
        EXPECT_EQ(s->udp_port, base + 1);
        tcp::acceptor again(io);
        asio::error_code ec;
        again.open(tcp::v4(), ec);
        again.bind(tcp::endpoint(tcp::v4(), base), ec);
        EXPECT_FALSE(ec) << "the listener on the first port was closed";
    }
    {   // All eleven taken: the last bind error is reported.
        std::vector<tcp::acceptor> blockers;
        for (std::uint16_t p = base; p <= base + 10; ++p)
            blockers.emplace_back(io, tcp::endpoint(tcp::v4(), p), false);
        auto s = server::bind_host_sockets(io.get_executor(), *system, range);
        ASSERT_FALSE(s);
        EXPECT_EQ(s.error().text, asio::error_code(asio::error::address_in_use).message());
    }
    {   // Nothing tried at all.
        auto s = server::bind_host_sockets(io.get_executor(), *system, server::PortRange{2, 1});
        ASSERT_FALSE(s);
        EXPECT_EQ(s.error().text, "no free port");
    }
}

// Connections the host closed first linger in TIME_WAIT on its port; a host
// restarted at once must still get that port, while a port another program
// listens on is still skipped.
TEST(PortChoice, ARestartedHostGetsItsPortBackDespiteTimeWait) {
    asio::io_context io;
    const auto system = platform::make_posix_system();
    const std::uint16_t base = free_base(io);
    const server::PortRange range{base, static_cast<std::uint16_t>(base + 10)};
    std::uint16_t port = 0;
    {
        auto host = server::bind_host_sockets(io.get_executor(), *system, range);
        ASSERT_TRUE(host) << host.error().text;
        port = host->tcp_port;
        for (int i = 0; i < 300; ++i) {
            tcp::socket client(io);
            client.connect(tcp::endpoint(asio::ip::address_v4::loopback(), port));
            tcp::socket accepted = host->tcp_v4.accept();
            accepted.shutdown(tcp::socket::shutdown_both);
            accepted.close();  // the host side closes first and keeps TIME_WAIT
            std::array<char, 1> byte{};
            asio::error_code ec;
            client.read_some(asio::buffer(byte), ec);  // sees the end of the stream
            client.close();
        }
    }
    auto restarted = server::bind_host_sockets(io.get_executor(), *system, range);
    ASSERT_TRUE(restarted) << restarted.error().text;
    EXPECT_EQ(restarted->tcp_port, port);
    EXPECT_EQ(restarted->udp_port, port);

    // With that host still running, another one moves on to the next port.
    auto second = server::bind_host_sockets(io.get_executor(), *system, range);
    ASSERT_TRUE(second) << second.error().text;
    EXPECT_EQ(second->tcp_port, port + 1);
}

TEST(TimerResolution, HeldWhileAnySessionIsEstablished) {
    auto counters = std::make_shared<ProcessCounters>();
    std::atomic<int> begins{0}, ends{0}, lastEnded{0};
    TimerHooks hooks{[&] { ++begins; }, [&] { ++ends; }, [&] { ++lastEnded; }};
    std::vector<HostEventKind> forwarded;
    auto sink = wrap_event_sink([&](const HostEvent& e) { forwarded.push_back(e.kind); }, counters,
                                hooks);
    sink({HostEventKind::SessionOpened, "A"});
    sink({HostEventKind::SessionOpened, "B"});
    sink({HostEventKind::SessionClosed, "A"});
    EXPECT_EQ(begins, 1);
    EXPECT_EQ(ends, 0);
    sink({HostEventKind::SessionClosed, "B"});
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(lastEnded, 1);  // the trim is scheduled once
    sink({HostEventKind::SessionClosed, "C"});  // never below zero
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(lastEnded, 1);
    EXPECT_EQ(counters->timerResolutionUsers, 0u);
    sink({HostEventKind::SessionOpened, "A"});
    EXPECT_EQ(begins, 2);
    EXPECT_EQ(forwarded.size(), 6u);  // every event is forwarded
}

}  // namespace
}  // namespace hp
