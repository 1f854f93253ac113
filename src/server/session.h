#pragma once
// The connection server: the accept loop that admits private peers and the
// per-connection session (handshake, encryption, dispatch, ending).
#include <chrono>
#include <functional>
#include <memory>

#include <asio/awaitable.hpp>
#include <asio/ip/tcp.hpp>

#include "common/ip_address.h"
#include "discovery/network_snapshot.h"
#include "server/host_state.h"

namespace hp::server {

struct ServerContext {
    std::shared_ptr<HostState> state;
    std::shared_ptr<SharedNetworkSnapshot> network;
    std::function<void()> activityHook;  // one call per admitted connection
    std::chrono::milliseconds idleTimeout{10000};
    std::chrono::milliseconds copyWait{180};
};

// Runs until the runtime stops; accept errors pause 50 ms.
asio::awaitable<void> accept_loop(asio::ip::tcp::acceptor acceptor,
                                  std::shared_ptr<const ServerContext> ctx);

// Serves one admitted connection on its own strand until it ends.
void start_session(asio::ip::tcp::socket socket, IpAddress peer,
                   std::shared_ptr<const ServerContext> ctx);

IpAddress to_ip_address(const asio::ip::address& a);

}  // namespace hp::server
