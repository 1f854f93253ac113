#include "main/start_host.h"


#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>
#include "server/awaitable.h"

#include <exception>

#include "discovery/discovery_task.h"
#include "discovery/scan.h"
#include "discovery/tailscale_query.h"
#include "gamepad/gamepad_output.h"
#include "gamepad/motion_worker.h"
#include "input/held_input.h"
#include "pad_mapping/mapping_file.h"
#include "vigem/client.h"
#include "main/idle_timers.h"
#include "main/runtime.h"
#include "server/datagram.h"
#include "server/session.h"
#include "store/data_dir.h"
#include "store/identity.h"

namespace hp::main {

using host::HostEvent;
using host::HostEventKind;
using host::HostLock;
using host::HostState;

HostHandle::HostHandle() = default;

HostHandle::~HostHandle() {
    if (runtime) runtime->stop();
}

EventSink wrap_event_sink(EventSink sink, std::shared_ptr<ProcessCounters> counters,
                          TimerHooks hooks) {
    return [sink = std::move(sink), counters = std::move(counters),
            hooks = std::make_shared<const TimerHooks>(std::move(hooks))](const HostEvent& e) {
        if (e.kind == HostEventKind::SessionOpened) {
            if (counters->timerResolutionUsers.fetch_add(1) == 0) hooks->begin();
        } else if (e.kind == HostEventKind::SessionClosed) {
            std::uint64_t users = counters->timerResolutionUsers.load();
            while (users != 0 &&
                   !counters->timerResolutionUsers.compare_exchange_weak(users, users - 1)) {
            }
            if (users == 1) {
                hooks->end();
                if (hooks->lastSessionEnded) hooks->lastSessionEnded();
            }
        }
        if (sink) sink(e);
    };
}

namespace {

// The discovery task keeps the shared snapshot and the mDNS registration in
// step with the network; it is the snapshot's only writer. Ending the runtime
// ends it, which withdraws the registration.
// Returns where the advertisement stands, readable from any thread.
std::function<discovery::AdvertState()> start_discovery(Runtime& rt, const StartOptions& options,
                                                        const store::HostIdentity& identity,
                                                        const std::string& hostName, std::uint16_t tcpPort,
                                                        std::shared_ptr<discovery::SharedNetworkSnapshot> network) {
    discovery::DiscoveryOptions d;
    d.snapshot = std::move(network);
    d.responder = options.mdns;
    d.onChange = options.refreshTray;
    if (options.mdns) d.advert = discovery::AdvertConfig{identity.hostId, hostName, identity.publicKey, tcpPort, options.osType};
    auto task = std::make_shared<discovery::DiscoveryTask>(std::move(d));
    // A weak reference: the registration goes with the task when the runtime
    // ends, not with the last reader.
    std::function<discovery::AdvertState()> advertState = [weak = std::weak_ptr(task)] {
        auto t = weak.lock();
        return t ? t->advert_state() : discovery::AdvertState::Off;
    };

    discovery::DiscoveryLoopOptions loop;
    loop.blocking = rt.blocking().get_executor();
    loop.scan = [system = options.system] {
        return discovery::scan_local_addresses(discovery::system_enumeration(*system));
    };
    discovery::TailscaleQueryOptions t;
    t.localApi = options.tailscaleApi;
    loop.tailscale = discovery::make_tailscale_querier(rt.blocking().get_executor(), options.processes, t);
    loop.period = options.discoveryPeriod;
    asio::co_spawn(rt.io(), discovery::discovery_loop(std::move(task), std::move(loop)), asio::detached);
    return advertState;
}

Result<std::unique_ptr<HostHandle>> start(StartOptions options) {
    crypto::init();
    platform::System& system = *options.system;
    const std::filesystem::path dir = store::data_dir(system);

    auto identity = store::load_or_create_identity(dir, system.data_protection());
    if (!identity) return std::unexpected(identity.error());

    store::PairedDeviceStore store = store::PairedDeviceStore::load(
        dir / "paired_devices.json", crypto::derive_store_key(identity->seed), options.storeWrite);

    auto handle = std::make_unique<HostHandle>();
    handle->dataDir = dir;
    handle->counters = std::make_shared<ProcessCounters>();
    auto counters = handle->counters;

    handle->runtime = std::make_unique<Runtime>();
    Runtime& rt = *handle->runtime;

    auto sockets = server::bind_host_sockets(rt.io().get_executor(), rt.listener_io().get_executor(), system,
                                             options.ports);
    if (!sockets) return std::unexpected(sockets.error());

    handle->hostName = store::host_name(system);
    handle->tcpPort = sockets->tcp_port;

    handle->network = std::make_shared<discovery::SharedNetworkSnapshot>();
    handle->network->set(
        discovery::snapshot_from_scan(discovery::scan_local_addresses(discovery::system_enumeration(system))));

    auto state = std::make_shared<HostState>();
    state->identity = *identity;
    state->info.hostName = handle->hostName;
    state->info.tcpPort = sockets->tcp_port;
    state->info.udpPort = sockets->udp_port;
    state->info.deviceType = system.device_type();
    state->info.osType = options.osType;
    state->store = std::move(store);
    state->platform = options.platform;
    state->input.desktopStyle = options.desktopStyle;
    state->sas = system.sas();
    state->controllerLog = std::make_shared<const store::ControllerLog>(
        store::ControllerLog::for_system(options.system));
    auto trims = std::make_shared<TrimTimer>(
        rt.io().get_executor(), [system = options.system] { system->trim_working_set(); },
        [counters] { return counters->activity.load(); });
    state->eventSink = wrap_event_sink(
        std::move(options.notifyTray), counters,
        TimerHooks{[system = options.system] { system->time_begin_period(); },
                   [system = options.system] { system->time_end_period(); }, [trims] { trims->last_session_ended(); }});
    handle->state = state;

    // The gamepad: the virtual pad when the probe opens ViGEmBus, else (or by
    // the user's choice) the keyboard/mouse mapping loaded from the data
    // directory.
    if (!options.padBus) options.padBus = vigem::absent_bus();
    handle->vigemMissing = !vigem::probe(*options.padBus);
    auto log = state->controllerLog;
    auto holder = std::make_shared<vigem::PadHolder>(
        options.padBus, [log](std::string_view text) { log->write(text); }, vigem::make_thread_scheduler(),
        vigem::kUnplugGrace, vigem::SwitchLines::LeaveToCaller);
    auto motion = std::make_shared<gamepad::MotionWorker>(rt.io().get_executor());
    handle->gamepad = std::make_shared<gamepad::GamepadOutput>(
        *state, holder, !handle->vigemMissing, pad_mapping::load_mapping(dir),
        [weak = std::weak_ptr<gamepad::MotionWorker>(motion)] {
            if (auto worker = weak.lock()) worker->wake();
        });
    {
        HostLock lock(*state);
        input::release_all(lock);
        state->pad = handle->gamepad;
    }

    auto ctx = std::make_shared<server::ServerContext>();
    ctx->state = state;
    ctx->network = handle->network;
    ctx->activityHook = [counters] { counters->activity.fetch_add(1); };
    ctx->idleTimeout = options.idleTimeout;
    ctx->maxQueuedBytes = options.maxQueuedBytes;
    ctx->limits = options.admission;
    ctx->admission = std::make_shared<server::Admission>(options.admission);
    ctx->connectionExecutor = [&rt] { return asio::any_io_executor(rt.connection_io().get_executor()); };

    auto& io = rt.io();
    auto& listeners = rt.listener_io();
    asio::co_spawn(listeners, server::accept_loop(std::move(sockets->tcp_v4), ctx), asio::detached);
    if (sockets->tcp_v6)
        asio::co_spawn(listeners, server::accept_loop(std::move(*sockets->tcp_v6), ctx), asio::detached);
    asio::co_spawn(io, server::datagram_loop(std::move(sockets->udp_v4), state, options.system), asio::detached);
    if (sockets->udp_v6)
        asio::co_spawn(io, server::datagram_loop(std::move(*sockets->udp_v6), state, options.system),
                       asio::detached);
    motion->start(state, handle->gamepad);
    handle->watchdog = std::make_shared<Watchdog>(io.get_executor(), state);
    handle->watchdog->start();
    handle->advertState = start_discovery(rt, options, *identity, handle->hostName, handle->tcpPort, handle->network);

    rt.run();
    trims->started();

    return handle;
}

}  // namespace

Result<std::unique_ptr<HostHandle>> start_host(StartOptions options) {
    if (!options.system || !options.platform) return fail("the host needs its system and platform services");
    // Thread and runtime creation report failure by throwing; none of that
    // may escape to the program's entry.
    try {
        return start(std::move(options));
    } catch (const std::exception& e) {
        return fail(e.what());
    } catch (...) {
        return fail("unknown error");
    }
}

}  // namespace hp::main
