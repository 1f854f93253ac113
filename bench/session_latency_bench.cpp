// Round trips through the whole host over loopback: an encrypted Ping answered
// by Pong over TCP, and an input datagram answered by its acknowledgement.
#include <benchmark/benchmark.h>

#include <poll.h>
#include <unistd.h>

#include <asio/io_context.hpp>
#include <asio/ip/udp.hpp>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "main/start_host.h"
#include "platform/fake/fake_system.h"
#include "platform/fake/recording_platform.h"
#include "host_ops/host_ops.h"
#include "support/test_client.h"

namespace {

struct LiveHost {
    LiveHost() {
        dir = std::filesystem::temp_directory_path() / ("hp-bench-" + std::to_string(getpid()));
        std::filesystem::remove_all(dir);
        auto system = std::make_shared<hp::fake::FakeSystem>();
        system->set_env("RC_DATA_DIR", (dir / "data").string());
        system->set_env("LOCALAPPDATA", (dir / "local").string());
        hp::main::StartOptions o;
        o.system = system;
        o.platform = std::make_shared<hp::fake::RecordingPlatform>();
        o.ports = hp::server::PortRange{0, 0};
        host = std::move(*hp::main::start_host(std::move(o)));
        const std::string code = hp::host_ops::open_pairing_code(*host->state, *host->network).code;
        (void)client.connect(host->tcpPort);
        (void)client.pair(code);
    }
    ~LiveHost() {
        client.close();
        host.reset();
        std::filesystem::remove_all(dir);
    }
    std::filesystem::path dir;
    std::unique_ptr<hp::main::HostHandle> host;
    hp::test::TestClient client;
};

void BM_EncryptedPingPong(benchmark::State& s) {
    LiveHost live;
    std::uint64_t ts = 0;
    for (auto _ : s) {
        const std::string body = "{\"ts\":" + std::to_string(++ts) + "}";
        (void)live.client.send_secure(hp::test::frame_type::Ping, std::string_view(body));
        auto pong = live.client.recv();
        if (!pong) {
            s.SkipWithError("no pong");
            break;
        }
    }
}
BENCHMARK(BM_EncryptedPingPong)->UseRealTime();

void BM_DatagramWithAcknowledgement(benchmark::State& s) {
    LiveHost live;
    const auto key = live.client.channel().key;
    asio::io_context io;
    asio::ip::udp::socket udp(io);
    udp.open(asio::ip::udp::v4());
    const asio::ip::udp::endpoint host(asio::ip::make_address("127.0.0.1"),
                                       live.host->state->info.udpPort);
    std::uint64_t seq = 0;
    hp::Bytes ack(64);
    for (auto _ : s) {
        ++seq;
        hp::Bytes cmd{1, 1, 0, 1};
        hp::put_u64le(cmd, seq);
        const float dx = 1.0f, dy = 0.0f;
        std::uint8_t raw[8];
        std::memcpy(raw, &dx, 4);
        std::memcpy(raw + 4, &dy, 4);
        hp::Bytes d(cmd.begin(), cmd.end());
        hp::append(d, hp::crypto::aead_seal(key, hp::crypto::make_nonce("CUDP", seq),
                                            hp::ByteView(cmd.data(), 12), hp::ByteView(raw, 8)));
        udp.send_to(asio::buffer(d), host);
        pollfd p{udp.native_handle(), POLLIN, 0};
        if (poll(&p, 1, 1000) != 1) {
            s.SkipWithError(("no acknowledgement for " + std::to_string(seq)).c_str());
            break;
        }
        asio::ip::udp::endpoint from;
        udp.receive_from(asio::buffer(ack), from);
    }
}
BENCHMARK(BM_DatagramWithAcknowledgement)->UseRealTime();

}  // namespace
