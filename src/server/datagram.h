#pragma once
// Input records over UDP: authenticated under an established session's key,
// handed to src/commands in batches under one lock, acknowledged on request.
#include <memory>
#include <vector>

#include <asio/awaitable.hpp>
#include <asio/ip/udp.hpp>

#include "base/bytes.h"
#include "host/host_state.h"
#include "platform/system.h"
#include "protocol/datagram.h"

namespace hp::server {

inline constexpr std::size_t kMaxBatch = 32;
inline constexpr std::size_t kMaxQueuedDatagram = 64;

struct QueuedDatagram {
    ByteArray<kMaxQueuedDatagram> bytes{};
    std::size_t size = 0;
    asio::ip::udp::endpoint from;
};

struct PendingAck {
    ByteArray<protocol::kAckSize> bytes{};
    asio::ip::udp::endpoint to;
};

// Opens one batch under one acquisition of the lock and runs each record
// that a session's key authenticates (motion is coalesced into one pointer
// move). Acknowledgements are returned, to be sent unlocked.
std::vector<PendingAck> apply_batch(host::HostState& state, const std::vector<QueuedDatagram>& batch);

// Datagrams are read through `system` (a batch in one system call where it
// can); those from addresses without a session are dropped unread by the rest.
asio::awaitable<void> datagram_loop(asio::ip::udp::socket socket, std::shared_ptr<host::HostState> state,
                                    std::shared_ptr<platform::System> system);

}  // namespace hp::server
