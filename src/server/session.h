#pragma once
// The connection server: the accept loop that admits private peers and the
// per-connection session (handshake, encryption, its timers and queues,
// ending). What its messages mean is src/commands.
#include <chrono>
#include <functional>
#include <memory>

#include <asio/awaitable.hpp>
#include <asio/ip/tcp.hpp>

#include "base/ip_address.h"
#include "discovery/network_snapshot.h"
#include "host/host_state.h"
#include "server/admission.h"

namespace hp::server {

struct ServerContext {
    std::shared_ptr<host::HostState> state;
    std::shared_ptr<discovery::SharedNetworkSnapshot> network;
    std::function<void()> activityHook;  // one call per admitted connection
    // Without data for this long a session ends; a write that takes longer
    // ends it too, and so long may the last frames of an ending session take.
    std::chrono::milliseconds idleTimeout{10000};
    std::chrono::milliseconds copyWait{180};
    // Bytes waiting to be written to one peer; a peer that lets more pile up
    // (by sending requests and never reading the replies) is disconnected.
    std::size_t maxQueuedBytes = 1u << 20;
    // Connections that have not established a session yet.
    AdmissionLimits limits;
    std::shared_ptr<Admission> admission;  // none: nothing is limited
    // Where the next connection runs, for its whole life; called by the accept
    // loop. The executor must run its handlers one at a time (one thread, or a
    // strand). None: a strand of the listener's executor.
    std::function<asio::any_io_executor()> connectionExecutor;
};

// Runs until the runtime stops; accept errors pause 50 ms.
asio::awaitable<void> accept_loop(asio::ip::tcp::acceptor acceptor,
                                  std::shared_ptr<const ServerContext> ctx);

// Serves one admitted connection on its socket's executor until it ends.
void start_session(asio::ip::tcp::socket socket, IpAddress peer,
                   std::shared_ptr<const ServerContext> ctx);

}  // namespace hp::server
