#pragma once
// Input commands over UDP: authenticated under an established session's key,
// applied in batches under one lock, acknowledged on request.
#include <memory>
#include <optional>
#include <vector>

#include <asio/awaitable.hpp>
#include <asio/ip/udp.hpp>

#include "common/bytes.h"
#include "server/host_state.h"

namespace hp::server {

inline constexpr std::size_t kDatagramSize = 36;
inline constexpr std::size_t kAckSize = 28;
inline constexpr std::size_t kMaxBatch = 32;
inline constexpr std::size_t kMaxQueuedDatagram = 64;

// The 20-byte command carried by a datagram, when `key` authenticates it.
std::optional<ByteArray<20>> open_datagram(const crypto::Key32& key, ByteView datagram);
// The acknowledgement for a sequence number.
ByteArray<kAckSize> make_ack(const crypto::Key32& key, std::uint64_t seq);

struct QueuedDatagram {
    ByteArray<kMaxQueuedDatagram> bytes{};
    std::size_t size = 0;
    asio::ip::udp::endpoint from;
};

struct PendingAck {
    ByteArray<kAckSize> bytes{};
    asio::ip::udp::endpoint to;
};

// Applies one batch under one acquisition of the lock; motion is coalesced
// into one pointer move. Acknowledgements are returned, to be sent unlocked.
std::vector<PendingAck> apply_batch(HostState& state, const std::vector<QueuedDatagram>& batch);

asio::awaitable<void> datagram_loop(asio::ip::udp::socket socket, std::shared_ptr<HostState> state);

}  // namespace hp::server
