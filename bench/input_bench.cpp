// Cost of the paths every input command takes: frame decryption, datagram
// authentication and batch application, and the executor itself.
#include <benchmark/benchmark.h>

#include <cstring>

#include "commands/commands.h"
#include "input/held_input.h"
#include "input/input_command.h"
#include "platform/platform_services.h"
#include "protocol/frame.h"
#include "server/datagram.h"

namespace {

class NullPlatform : public hp::platform::PlatformServices {
public:
    bool moveRelative(std::int32_t, std::int32_t) override { return true; }
    bool mouseButton(std::uint8_t, bool) override { return true; }
    bool wheel(std::int32_t) override { return true; }
    bool hwheel(std::int32_t) override { return true; }
    bool key(const hp::platform::KeyRecord&, bool) override { return true; }
    bool typeText(std::u16string_view) override { return true; }
    void lockWorkstation() override {}
    void keepAwake() override {}
    void setClipboard(std::string_view) override {}
    std::optional<std::string> getClipboard() override { return std::nullopt; }
    void stepBrightness(bool) override {}
};

hp::Bytes move_command(std::uint64_t seq) {
    hp::Bytes b{1, 1, 0, 0};
    hp::put_u64le(b, seq);
    const float dx = 1.25f, dy = -0.75f;
    std::uint8_t raw[8];
    std::memcpy(raw, &dx, 4);
    std::memcpy(raw + 4, &dy, 4);
    hp::append(b, hp::ByteView(raw, 8));
    return b;
}

struct Host {
    Host() {
        state.platform = std::make_shared<NullPlatform>();
        key.fill(5);
        hp::host::SessionEntry e;
        e.id = 1;
        e.peer = *hp::IpAddress::parse("192.168.1.20");
        e.key = hp::crypto::SessionKey(key);
        state.sessions.emplace(1, e);
    }
    hp::host::HostState state;
    hp::crypto::Key32 key{};
};

void BM_ExecuteMouseMove(benchmark::State& s) {
    Host h;
    std::uint64_t seq = 1;
    // Held for the whole run, as the host holds it around each command.
    std::unique_lock held(h.state.mutex);
    const hp::host::Locked locked(h.state, held);
    for (auto _ : s) {
        auto cmd = hp::input::decode_input_command(move_command(seq++));
        hp::commands::execute(locked, 1, *cmd, hp::Clock::now());
    }
}
BENCHMARK(BM_ExecuteMouseMove);

void BM_DecodeSecureInputFrame(benchmark::State& s) {
    hp::protocol::SessionKeys sender{}, receiver{};
    hp::crypto::Key32 key{};
    key.fill(3);
    sender.key = hp::crypto::SessionKey(key);
    receiver.key = sender.key;
    const auto cmd = move_command(1);
    for (auto _ : s) {
        auto frame = hp::protocol::encode_secure(sender, "CTCP", 0x34, cmd);
        auto plain = hp::protocol::decode_secure(receiver, "CTCP", 0x34,
                                                 hp::ByteView(frame->data() + 5, frame->size() - 5));
        benchmark::DoNotOptimize(plain);
    }
}
BENCHMARK(BM_DecodeSecureInputFrame);

void BM_ApplyDatagramBatch(benchmark::State& s) {
    Host h;
    const auto batch_size = static_cast<std::size_t>(s.range(0));
    std::uint64_t seq = 1;
    for (auto _ : s) {
        s.PauseTiming();
        std::vector<hp::server::QueuedDatagram> batch(batch_size);
        for (auto& q : batch) {
            const auto cmd = move_command(seq++);
            const std::uint64_t n = hp::get_u64le(cmd.data() + 4);
            hp::Bytes d(cmd.begin(), cmd.begin() + 12);
            hp::append(d, hp::crypto::aead_seal(h.key, hp::crypto::make_nonce("CUDP", n),
                                                hp::ByteView(cmd.data(), 12),
                                                hp::ByteView(cmd.data() + 12, 8)));
            std::copy(d.begin(), d.end(), q.bytes.begin());
            q.size = d.size();
            q.from = asio::ip::udp::endpoint(asio::ip::make_address("192.168.1.20"), 40000);
        }
        s.ResumeTiming();
        auto acks = hp::server::apply_batch(h.state, batch);
        benchmark::DoNotOptimize(acks);
    }
    s.SetItemsProcessed(static_cast<std::int64_t>(s.iterations() * batch_size));
}
BENCHMARK(BM_ApplyDatagramBatch)->Arg(1)->Arg(32);

}  // namespace
