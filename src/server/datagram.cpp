#include "server/datagram.h"

#include <array>
#include <span>
#include <vector>

#include "server/awaitable.h"
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>

#include "commands/commands.h"
#include "server/sockets.h"

namespace hp::server {

using asio::ip::udp;

std::vector<PendingAck> apply_batch(host::HostState& state, const std::vector<QueuedDatagram>& batch) {
    std::vector<PendingAck> acks;
    host::HostLock lock(state);
    commands::begin_batch(lock, batch.size());
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
            // Made before the record runs: the entry may go away meanwhile.
            std::optional<ByteArray<protocol::kAckSize>> ack;
            if (protocol::wants_ack(d)) ack = protocol::make_ack(entry.key.bytes(), protocol::datagram_sequence(d));
            commands::input_record(lock, id, *cmd, now);
            if (ack) acks.push_back(PendingAck{*ack, q.from});
            break;
        }
    }
    commands::end_batch(lock);
    return acks;
}

namespace {

// One slot more than a datagram we keep: a datagram that fills it is too long.
constexpr std::size_t kSlot = kMaxQueuedDatagram + 1;

}  // namespace

asio::awaitable<void> datagram_loop(udp::socket socket, std::shared_ptr<host::HostState> state,
                                    std::shared_ptr<platform::System> system) {
    std::array<std::uint8_t, kMaxBatch * kSlot> buffers{};
    std::array<platform::ReceivedDatagram, kMaxBatch> received{};
    std::vector<QueuedDatagram> batch;
    std::vector<PendingAck> acks;
    batch.reserve(kMaxBatch);
    for (;;) {
        batch.clear();
        acks.clear();
        // The first datagram is waited for; the rest that are ready are read
        // in one go. Every datagram counts toward the batch, whatever its size.
        udp::endpoint from;
        auto [ec, n] = co_await socket.async_receive_from(asio::buffer(buffers.data(), kSlot), from, use_tuple);
        if (ec && ec != asio::error::message_size) {
            if (!socket.is_open()) co_return;
            asio::steady_timer pause(socket.get_executor(), std::chrono::milliseconds(5));
            co_await pause.async_wait(use_tuple);
            continue;
        }
        const IpAddress first = to_ip_address(from.address());
        received[0] = platform::ReceivedDatagram{ec ? kSlot : n, first, from.port()};
        const std::size_t count =
            1 + system->receive_ready(static_cast<platform::NativeSocket>(socket.native_handle()),
                                      buffers.data() + kSlot, kSlot, std::span(received).subspan(1));
        for (std::size_t i = 0; i < count; ++i) {
            const platform::ReceivedDatagram& d = received[i];
            if (d.size > kMaxQueuedDatagram) continue;
            // No session from that address: dropped before the lock and any
            // cryptography, so a flood from elsewhere costs next to nothing.
            const IpAddress source = d.from.unmapped();
            if (!state->sessionPeers.contains(source)) continue;
            QueuedDatagram q;
            std::copy_n(buffers.data() + i * kSlot, d.size, q.bytes.begin());
            q.size = d.size;
            q.from = i == 0 ? from : to_endpoint(d.from, d.port);
            batch.push_back(q);
        }
        if (!batch.empty()) acks = apply_batch(*state, batch);
        for (const auto& a : acks) {
            asio::error_code ignored;
            socket.send_to(asio::buffer(a.bytes), a.to, 0, ignored);
        }
    }
}

}  // namespace hp::server
