#include "main/start_host.h"

#include <thread>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>
#include "server/awaitable.h"

#include "discovery/scan.h"
#include "input/executor.h"
#include "main/data_dir.h"
#include "main/runtime.h"
#include "platform/data_protection.h"
#include "platform/system.h"
#include "server/datagram.h"
#include "server/session.h"

namespace hp {

HostHandle::HostHandle() = default;

HostHandle::~HostHandle() {
    if (runtime) runtime->stop();
}

TimerHooks platform_timer_hooks() {
    return TimerHooks{&platform::time_begin_period, &platform::time_end_period,
                      &platform::trim_working_set, std::chrono::seconds(30)};
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
                const std::uint64_t seen = counters->activity.load();
                std::thread([counters, seen, hooks] {
                    std::this_thread::sleep_for(hooks->trimDelay);
                    if (counters->activity.load() == seen) hooks->trim();
                }).detach();
            }
        }
        if (sink) sink(e);
    };
}

namespace {

asio::awaitable<void> watchdog(std::shared_ptr<HostState> state) {
    asio::steady_timer timer(co_await asio::this_coro::executor);
    for (;;) {
        timer.expires_after(std::chrono::milliseconds(250));
        auto [ec] = co_await timer.async_wait(server::use_tuple);
        if (ec) co_return;
        HostLock lock(*state);
        input::watchdog_tick(*state, Clock::now());
    }
}

}  // namespace

Result<std::unique_ptr<HostHandle>> start_host(StartOptions options) {
    crypto::init();
    const std::filesystem::path dir = data_dir();

    auto protection = platform::make_data_protection();
    auto identity = load_or_create_identity(dir, *protection);
    if (!identity) return std::unexpected(identity.error());

    PairedDeviceStore store = PairedDeviceStore::load(dir / "paired_devices.json",
                                                      crypto::derive_store_key(identity->seed));

    auto handle = std::make_unique<HostHandle>();
    handle->counters = std::make_shared<ProcessCounters>();
    auto counters = handle->counters;

    handle->runtime = std::make_unique<Runtime>();
    Runtime& rt = *handle->runtime;

    auto sockets = server::bind_host_sockets(rt.io().get_executor(), options.ports);
    if (!sockets) return std::unexpected(sockets.error());

    handle->hostName = host_name();
    handle->tcpPort = sockets->tcp_port;

    handle->network = std::make_shared<SharedNetworkSnapshot>();
    handle->network->set(discovery::initial_snapshot());

    auto state = std::make_shared<HostState>();
    state->identity = *identity;
    state->hostName = handle->hostName;
    state->tcpPort = sockets->tcp_port;
    state->udpPort = sockets->udp_port;
    state->deviceType = platform::device_type();
    state->store = std::move(store);
    state->platform = options.platform;
    state->sas = platform::make_sas_system();
    state->controllerSwitchHook = [](bool on) { log_controller_event(on ? "switch on" : "switch off"); };
    state->eventSink = wrap_event_sink(std::move(options.notifyTray), counters);
    handle->state = state;

    // The virtual pad driver is not used by this build: gamepad state goes to
    // the keyboard/mouse output.
    handle->vigemMissing = true;

    auto ctx = std::make_shared<server::ServerContext>();
    ctx->state = state;
    ctx->network = handle->network;
    ctx->activityHook = [counters] { counters->activity.fetch_add(1); };
    ctx->idleTimeout = options.idleTimeout;

    auto& io = rt.io();
    asio::co_spawn(io, server::accept_loop(std::move(sockets->tcp_v4), ctx), asio::detached);
    if (sockets->tcp_v6)
        asio::co_spawn(io, server::accept_loop(std::move(*sockets->tcp_v6), ctx), asio::detached);
    asio::co_spawn(io, server::datagram_loop(std::move(sockets->udp_v4), state), asio::detached);
    if (sockets->udp_v6)
        asio::co_spawn(io, server::datagram_loop(std::move(*sockets->udp_v6), state), asio::detached);
    asio::co_spawn(io, watchdog(state), asio::detached);

    rt.run();

    std::thread([] {
        std::this_thread::sleep_for(std::chrono::seconds(5));
        platform::trim_working_set();
    }).detach();

    return handle;
}

}  // namespace hp
