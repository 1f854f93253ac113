#include "server/datagram.h"

#include <vector>

#include "server/awaitable.h"
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>

#include "input/executor.h"
#include "server/session.h"

namespace hp::server {

using asio::ip::udp;

std::optional<ByteArray<20>> open_datagram(const crypto::Key32& key, ByteView d) {
    if (d.size() != kDatagramSize || d[0] != 1) return std::nullopt;
    const std::uint64_t seq = get_u64le(d.data() + 4);
    auto plain = crypto::aead_open(key, crypto::make_nonce("CUDP", seq), d.first(12), d.subspan(12));
    if (!plain || plain->size() != 8) return std::nullopt;
    ByteArray<20> cmd{};
    std::copy(d.begin(), d.begin() + 12, cmd.begin());
    std::copy(plain->begin(), plain->end(), cmd.begin() + 12);
    return cmd;
}

ByteArray<kAckSize> make_ack(const crypto::Key32& key, std::uint64_t seq) {
    ByteArray<kAckSize> ack{};
    ack[0] = 0x01;
    ack[1] = 0xFE;
    for (int i = 0; i < 8; ++i) ack[4 + i] = static_cast<std::uint8_t>(seq >> (8 * i));
    const Bytes tag = crypto::aead_seal(key, crypto::make_nonce("HUDP", seq),
                                        ByteView(ack.data(), 12), ByteView());
    std::copy(tag.begin(), tag.end(), ack.begin() + 12);
    return ack;
}

std::vector<PendingAck> apply_batch(HostState& state, const std::vector<QueuedDatagram>& batch) {
    std::vector<PendingAck> acks;
    HostLock lock(state);
    state.input.batching = batch.size() > 1;
    const Instant now = Clock::now();
    for (const auto& q : batch) {
        const IpAddress source = to_ip_address(q.from.address());
        if (!is_private_address(source) || q.size != kDatagramSize || q.bytes[0] != 1 ||
            state.sessions.empty())
            continue;
        const ByteView d(q.bytes.data(), q.size);
        for (auto& [id, entry] : state.sessions) {
            if (entry.peer != source) continue;
            auto cmd = open_datagram(entry.key, d);
            if (!cmd) continue;
            const auto key = entry.key;  // the entry may go away inside execute
            const std::uint64_t seq = get_u64le(d.data() + 4);
            if (auto decoded = input::decode_input_command(*cmd))
                input::execute(state, id, *decoded, now);
            if (d[3] & 1) acks.push_back(PendingAck{make_ack(key, seq), q.from});
            break;
        }
    }
    state.input.batching = false;
    input::flush_pending_motion(state);
    return acks;
}

asio::awaitable<void> datagram_loop(udp::socket socket, std::shared_ptr<HostState> state) {
    std::vector<std::uint8_t> buffer(2048);
    std::vector<QueuedDatagram> batch;
    std::vector<PendingAck> acks;
    batch.reserve(kMaxBatch);
    for (;;) {
        batch.clear();
        acks.clear();
        udp::endpoint from;
        auto [ec, n] = co_await socket.async_receive_from(asio::buffer(buffer), from,
                                                          use_tuple);
        if (ec) {
            if (!socket.is_open()) co_return;
            asio::steady_timer pause(socket.get_executor(), std::chrono::milliseconds(5));
            co_await pause.async_wait(use_tuple);
            continue;
        }
        auto keep = [&](std::size_t size, const udp::endpoint& ep) {
            if (size > kMaxQueuedDatagram) return;
            QueuedDatagram q;
            std::copy_n(buffer.begin(), size, q.bytes.begin());
            q.size = size;
            q.from = ep;
            batch.push_back(q);
        };
        keep(n, from);
        while (batch.size() < kMaxBatch) {
            asio::error_code rec;
            const std::size_t m = socket.receive_from(asio::buffer(buffer), from, 0, rec);
            if (rec) break;  // would block, or an error the next wait will see
            keep(m, from);
        }
        if (!batch.empty()) acks = apply_batch(*state, batch);
        for (const auto& a : acks) {
            asio::error_code ignored;
            socket.send_to(asio::buffer(a.bytes), a.to, 0, ignored);
        }
    }
}

}  // namespace hp::server
