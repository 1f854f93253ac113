#pragma once
// The connection server: the accept loop that admits private peers and the
// per-connection session (handshake, encryption, dispatch, ending).
#include <chrono>
#include <functional>
#include <memory>

#include <asio/awaitable.hpp>
#include <asio/ip/tcp.hpp>

#include "base/ip_address.h"
#include "discovery/network_snapshot.h"
#include "host/host_state.h"
#include "server/admission.h"
#include <string>
#include <string_view>

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
};

// Runs until the runtime stops; accept errors pause 50 ms.
asio::awaitable<void> accept_loop(asio::ip::tcp::acceptor acceptor,
                                  std::shared_ptr<const ServerContext> ctx);

// Serves one admitted connection on its own strand until it ends.
void start_session(asio::ip::tcp::socket socket, IpAddress peer,
                   std::shared_ptr<const ServerContext> ctx);

IpAddress to_ip_address(const asio::ip::address& a);

// Ends every open session of clientId, as removing the device does: each is
// sent SessionEnded "removed_by_user" and closes; if one of them is in
// control, held input is released and the controller switched off at once.
// The caller holds the host's lock (the token).
void end_client_sessions(host::HostLock& lock, std::string_view clientId);

// The ClipboardContent body for the clipboard text: at most 48000 bytes of
// it, cut further on a character boundary while escaping makes the body too
// large for one encrypted frame ("truncated" is then true).
std::string clipboard_reply(std::string_view text);

}  // namespace hp::server
