#include "discovery/tailscale_query.h"

#include <array>
#include <charconv>

#include <asio/co_spawn.hpp>
#include <asio/experimental/as_tuple.hpp>
#include <asio/experimental/awaitable_operators.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>

namespace hp::discovery {

namespace {

using asio::ip::tcp;
using namespace asio::experimental::awaitable_operators;
constexpr auto use_tuple = asio::experimental::as_tuple(asio::use_awaitable);

// "a.b.c.d:port" or "[v6]:port", numbers only (no name lookup).
std::optional<tcp::endpoint> parse_endpoint(std::string_view text) {
    const auto colon = text.rfind(':');
    if (colon == std::string_view::npos) return std::nullopt;
    std::string_view host = text.substr(0, colon);
    const std::string_view port_text = text.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    unsigned port = 0;
    const auto [end, ec] = std::from_chars(port_text.data(), port_text.data() + port_text.size(), port);
    if (ec != std::errc() || end != port_text.data() + port_text.size() || port_text.empty() || port > 65535)
        return std::nullopt;
    asio::error_code aec;
    const auto addr = asio::ip::make_address(std::string(host), aec);
    if (aec) return std::nullopt;
    return tcp::endpoint(addr, static_cast<std::uint16_t>(port));
}

// Connect, send, read to the end. Nothing on any error or past `limit` bytes.
asio::awaitable<std::optional<std::string>> exchange(tcp::socket& socket, tcp::endpoint peer, std::size_t limit) {
    if (auto [ec] = co_await socket.async_connect(peer, use_tuple); ec) co_return std::nullopt;
    if (auto [ec, n] = co_await asio::async_write(socket, asio::buffer(kLocalApiRequest), use_tuple); ec)
        co_return std::nullopt;
    std::string response;
    std::array<char, 16384> chunk{};
    for (;;) {
        auto [ec, n] = co_await socket.async_read_some(asio::buffer(chunk), use_tuple);
        response.append(chunk.data(), n);
        if (response.size() > limit) co_return std::nullopt;
        if (ec == asio::error::eof) co_return response;
        if (ec) co_return std::nullopt;
    }
}

asio::awaitable<std::optional<TailscaleInfo>> run_program(std::shared_ptr<platform::ProcessRunner> runner,
                                                          TailscaleQueryOptions options) {
    co_return query_tailscale_program(*runner, options);
}

class LocalTailscaleQuerier final : public TailscaleQuerier {
public:
    LocalTailscaleQuerier(asio::any_io_executor blocking, std::shared_ptr<platform::ProcessRunner> runner,
                          TailscaleQueryOptions options)
        : blocking_(std::move(blocking)), runner_(std::move(runner)), options_(std::move(options)) {}

    asio::awaitable<std::optional<TailscaleInfo>> query(bool hasRangeAddresses) override {
        if (hasRangeAddresses) {
            const auto response = co_await fetch_local_api(options_.localApi, options_.localApiBound,
                                                           options_.responseLimit);
            if (response) {
                if (const auto body = local_api_body(*response)) {
                    if (auto info = parse_tailscale_status(*body)) co_return info;
                }
            }
        }
        if (!runner_) co_return std::nullopt;
        // The program blocks: it runs on the pool, this task waits for it.
        co_return co_await asio::co_spawn(blocking_, run_program(runner_, options_), asio::use_awaitable);
    }

private:
    asio::any_io_executor blocking_;
    std::shared_ptr<platform::ProcessRunner> runner_;
    TailscaleQueryOptions options_;
};

}  // namespace

asio::awaitable<std::optional<std::string>> fetch_local_api(std::string address, std::chrono::milliseconds bound,
                                                            std::size_t limit) {
    const auto peer = parse_endpoint(address);
    if (!peer) co_return std::nullopt;
    const auto executor = co_await asio::this_coro::executor;
    tcp::socket socket(executor);
    asio::steady_timer deadline(executor);
    deadline.expires_after(bound);
    // Whichever finishes first wins; the other is cancelled.
    auto outcome = co_await (exchange(socket, *peer, limit) || deadline.async_wait(use_tuple));
    if (outcome.index() != 0) co_return std::nullopt;
    co_return std::get<0>(std::move(outcome));
}

std::optional<TailscaleInfo> query_tailscale_program(platform::ProcessRunner& runner,
                                                     const TailscaleQueryOptions& options) {
    platform::ProcessRequest request;
    request.program = "tailscale";
    // Windows: from its install folder (or PATH), never from this program's
    // folder or the current folder.
    request.installFolder = "Tailscale";
    request.args = {"status", "--json"};
    request.timeLimit = options.programTimeLimit;
    request.outputLimit = options.responseLimit;
    const auto outcome = runner.run(request);
    if (!outcome || outcome->exitCode != 0 || outcome->truncated) return std::nullopt;
    return parse_tailscale_status(outcome->output);
}

std::shared_ptr<TailscaleQuerier> make_tailscale_querier(asio::any_io_executor blocking,
                                                         std::shared_ptr<platform::ProcessRunner> runner,
                                                         TailscaleQueryOptions options) {
    return std::make_shared<LocalTailscaleQuerier>(std::move(blocking), std::move(runner), std::move(options));
}

}  // namespace hp::discovery
