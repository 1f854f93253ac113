#pragma once
// Host start-up: data directory, identity, paired devices, runtime, sockets,
// shared state and background tasks.
#include <atomic>
#include <cstdint>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "common/result.h"
#include "discovery/network_snapshot.h"
#include "platform/platform_services.h"
#include "server/host_state.h"
#include "server/sockets.h"

namespace hp {

class Runtime;  // the asynchronous runtime (4 workers, blocking pool of 3)

using EventSink = std::function<void(const HostEvent&)>;

// Process-wide counters shared with detached threads.
struct ProcessCounters {
    std::atomic<std::uint64_t> activity{0};              // admitted connections
    std::atomic<std::uint64_t> timerResolutionUsers{0};  // established sessions
};

struct HostHandle {
    HostHandle();
    ~HostHandle();  // stops every task and joins the runtime's threads
    HostHandle(const HostHandle&) = delete;
    HostHandle& operator=(const HostHandle&) = delete;

    std::unique_ptr<Runtime> runtime;
    std::string hostName;
    std::shared_ptr<HostState> state;
    std::shared_ptr<SharedNetworkSnapshot> network;
    std::uint16_t tcpPort = 0;
    bool vigemMissing = false;
    std::shared_ptr<ProcessCounters> counters;
};

struct StartOptions {
    std::shared_ptr<PlatformServices> platform;
    EventSink notifyTray;                 // posts to the tray; never called under the lock
    std::function<void()> refreshTray;    // addresses changed
    server::PortRange ports{};            // the product always uses 49182..49192
    std::chrono::milliseconds idleTimeout{10000};  // tests shorten it
};

// What the event wrapper does to the system; start-up uses the platform's.
struct TimerHooks {
    std::function<void()> begin;  // take the 1 ms timer resolution
    std::function<void()> end;    // give it back
    std::function<void()> trim;   // trim the working set
    std::chrono::milliseconds trimDelay{30000};
};
TimerHooks platform_timer_hooks();

Result<std::unique_ptr<HostHandle>> start_host(StartOptions options);

// The wrapper start-up puts around the tray sink: the first established
// session takes the 1 ms timer resolution, the last one gives it back and
// schedules a working-set trim unless a connection arrives meanwhile.
EventSink wrap_event_sink(EventSink sink, std::shared_ptr<ProcessCounters> counters,
                          TimerHooks hooks = platform_timer_hooks());

}  // namespace hp
