#pragma once
// Asking the local Tailscale service for this node's status: first its local
// API over TCP (bounded in time), then the `tailscale` command-line program.
#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>

#include "discovery/tailscale.h"
#include "platform/process_runner.h"

namespace hp::discovery {

struct TailscaleQueryOptions {
    std::string localApi = "100.100.100.100:80";     // "a.b.c.d:port" or "[v6]:port"
    std::chrono::milliseconds localApiBound{800};    // connect, send and read together
    std::size_t responseLimit = 8u << 20;            // bytes of a local API reply or program output
    std::chrono::milliseconds programTimeLimit{15000};
};

// The answer of one query: nothing when both ways failed.
class TailscaleQuerier {
public:
    virtual ~TailscaleQuerier() = default;
    // `hasRangeAddresses`: this cycle's scan saw Tailscale-range addresses;
    // only then is the local API tried.
    virtual asio::awaitable<std::optional<TailscaleInfo>> query(bool hasRangeAddresses) = 0;
};

// Sends kLocalApiRequest to `address` and reads until the peer closes.
// Nothing when the address is not a socket address, on any socket error, or
// when `bound` passes first. Runs on the calling coroutine's executor.
asio::awaitable<std::optional<std::string>> fetch_local_api(std::string address, std::chrono::milliseconds bound,
                                                            std::size_t limit);

// Runs `tailscale status --json` (blocking) and reads its output; nothing
// when it cannot be started, exits with another code than 0, or prints no
// status document.
std::optional<TailscaleInfo> query_tailscale_program(platform::ProcessRunner& runner,
                                                     const TailscaleQueryOptions& options);

// The production querier: the local API on the calling executor, the program
// on `blocking` (the runtime's pool for blocking work).
std::shared_ptr<TailscaleQuerier> make_tailscale_querier(asio::any_io_executor blocking,
                                                         std::shared_ptr<platform::ProcessRunner> runner,
                                                         TailscaleQueryOptions options = {});

}  // namespace hp::discovery
