#include "server/datagram.h"

#include <vector>

#include "server/awaitable.h"
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>

#include "input/executor.h"
#include "server/session.h"

namespace hp::server {

using asio::ip::udp;

std::vector<PendingAck> apply_batch(host::HostState& state, const std::vector<QueuedDatagram>& batch) {
    std::vector<PendingAck> acks;
    host::HostLock lock(state);
    state.input.batching = batch.size() > 1;
    const Instant now = Clock::now();
    for (const auto& q : batch) {
        const IpAddress source = to_ip_address(q.from.address());
        const ByteView d(q.bytes.data(), q.size);
        if (!is_private_address(source) || !protocol::looks_like_datagram(d) || state.sessions.empty())
            continue;
        for (auto& [id, entry] : state.sessions) {
            if (entry.peer != source) continue;
            auto cmd = protocol::open_datagram(entry.key.bytes(), d);
            if (!cmd) continue;
            // Made before executing: the entry may go away inside execute.
            std::optional<ByteArray<protocol::kAckSize>> ack;
            if (protocol::wants_ack(d)) ack = protocol::make_ack(entry.key.bytes(), protocol::datagram_sequence(d));
            if (auto decoded = input::decode_input_command(*cmd))
                input::execute(state, id, *decoded, now);
            if (ack) acks.push_back(PendingAck{*ack, q.from});
            break;
        }
    }
    state.input.batching = false;
    input::flush_pending_motion(state);
    return acks;
}

asio::awaitable<void> datagram_loop(udp::socket socket, std::shared_ptr<host::HostState> state) {
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
