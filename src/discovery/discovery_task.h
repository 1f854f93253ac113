#pragma once
// The DiscoveryTask: every cycle it scans the interfaces, asks Tailscale when
// due, publishes the shared NetworkSnapshot (its only writer), keeps the mDNS
// registration in step and calls the change hook.
//
//   start-up:  auto task = std::make_shared<DiscoveryTask>(options);
//              asio::co_spawn(io, discovery_loop(task, loop_options), asio::detached);
//
// Tests drive single cycles with run_cycle: a scripted scan, an injected
// clock, a synchronous Tailscale query.
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>

#include "discovery/advert_state.h"
#include "discovery/advertisement.h"
#include "discovery/network_snapshot.h"
#include "discovery/scan.h"
#include "discovery/tailscale.h"
#include "discovery/tailscale_query.h"
#include "platform/mdns_responder.h"

namespace hp::discovery {

struct DiscoveryOptions {
    std::shared_ptr<SharedNetworkSnapshot> snapshot;     // written only by this task
    std::optional<AdvertConfig> advert;                  // absent: nothing is advertised
    std::shared_ptr<platform::MdnsResponder> responder;  // absent: no mDNS daemon
    std::function<void()> onChange;                      // after a cycle that changed the snapshot
    // The clock of the Tailscale schedule and of the registration's answer timeout.
    std::function<SteadyTime()> now = [] { return std::chrono::steady_clock::now(); };
};

// A synchronous stand-in for TailscaleQuerier::query, for single cycles.
using SyncTailscaleQuery = std::function<std::optional<TailscaleInfo>(bool hasRangeAddresses)>;

class DiscoveryTask {
public:
    explicit DiscoveryTask(DiscoveryOptions options);

    // One whole cycle without sleeping. Returns whether the snapshot changed.
    bool run_cycle(const LocalAddresses& scan, const SyncTailscaleQuery& query);

    // The pieces of a cycle, for the asynchronous loop:
    // step 2's decision (it also remembers this cycle's Tailscale-range list)
    bool tailscale_due(const LocalAddresses& scan);
    // the outcome of a query made because it was due
    void tailscale_done(std::optional<TailscaleInfo> outcome);
    // steps 3 to 6: build, compare and replace, advertise, call the hook
    bool publish(const LocalAddresses& scan);

    const AdvertRecord& advert_record() const { return advert_; }
    // Where the advertisement stands after the last cycle; any thread.
    AdvertState advert_state() const { return advertState_.load(); }
    const TailscaleSchedule& tailscale_schedule() const { return tailscale_; }

private:
    DiscoveryOptions options_;
    AdvertRecord advert_;
    TailscaleSchedule tailscale_;
    std::atomic<AdvertState> advertState_{AdvertState::Off};
};

struct DiscoveryLoopOptions {
    // The interface scan; blocking, so it runs on `blocking`.
    std::function<LocalAddresses()> scan;
    asio::any_io_executor blocking;                 // the runtime's pool for blocking work
                                                    // (unset: the scan runs in the task)
    std::shared_ptr<TailscaleQuerier> tailscale;    // see make_tailscale_querier
    std::chrono::milliseconds period{10000};        // the sleep between cycles
};

// Runs cycles until the executor stops; the task's registration is dropped
// (unregistered) when the coroutine is destroyed.
asio::awaitable<void> discovery_loop(std::shared_ptr<DiscoveryTask> task, DiscoveryLoopOptions options);

}  // namespace hp::discovery
