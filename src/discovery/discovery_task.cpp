#include "discovery/discovery_task.h"

#include <asio/co_spawn.hpp>
#include <asio/experimental/as_tuple.hpp>
#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

namespace hp::discovery {

DiscoveryTask::DiscoveryTask(DiscoveryOptions options) : options_(std::move(options)) {
    if (!options_.snapshot) options_.snapshot = std::make_shared<SharedNetworkSnapshot>();
    if (!options_.now) options_.now = [] { return std::chrono::steady_clock::now(); };
}

bool DiscoveryTask::tailscale_due(const LocalAddresses& scan) {
    return tailscale_query_due(tailscale_, scan.tailscale, options_.now());
}

void DiscoveryTask::tailscale_done(std::optional<TailscaleInfo> outcome) {
    store_tailscale_outcome(tailscale_, std::move(outcome), options_.now());
}

bool DiscoveryTask::publish(const LocalAddresses& scan) {
    NetworkSnapshot next;
    next.lan = scan.lan;
    next.tailscale = tailscale_addresses(scan.tailscale, tailscale_.cache);
    if (tailscale_.cache) {
        next.tailscalePeers = tailscale_.cache->peerIps;
        next.tailscaleDnsName = tailscale_.cache->dnsName;
    }
    // The write lock is held only inside set().
    const bool changed = options_.snapshot->set(next);
    AdvertState advert = AdvertState::Off;
    if (options_.advert && options_.responder)
        advert = update_advertisement(advert_, *options_.advert, next, *options_.responder, options_.now());
    advertState_.store(advert);
    if (changed && options_.onChange) options_.onChange();
    return changed;
}

bool DiscoveryTask::run_cycle(const LocalAddresses& scan, const SyncTailscaleQuery& query) {
    if (tailscale_due(scan)) tailscale_done(query ? query(!scan.tailscale.empty()) : std::nullopt);
    return publish(scan);
}

namespace {

// The scan as a coroutine of its own, to be spawned on the blocking pool.
// (A plain function rather than a capturing lambda: GCC 12 mishandles
// lambda captures in coroutine temporaries.)
asio::awaitable<LocalAddresses> run_scan(std::function<LocalAddresses()> scan) { co_return scan(); }

}  // namespace

asio::awaitable<void> discovery_loop(std::shared_ptr<DiscoveryTask> task, DiscoveryLoopOptions options) {
    const auto executor = co_await asio::this_coro::executor;
    asio::steady_timer sleep(executor);
    for (;;) {
        LocalAddresses scan;
        if (options.blocking)
            scan = co_await asio::co_spawn(options.blocking, run_scan(options.scan), asio::use_awaitable);
        else
            scan = options.scan();
        if (task->tailscale_due(scan)) {
            std::optional<TailscaleInfo> outcome;
            if (options.tailscale) outcome = co_await options.tailscale->query(!scan.tailscale.empty());
            task->tailscale_done(std::move(outcome));
        }
        task->publish(scan);
        sleep.expires_after(options.period);
        auto [ec] = co_await sleep.async_wait(asio::experimental::as_tuple(asio::use_awaitable));
        if (ec) co_return;
    }
}

}  // namespace hp::discovery
