#pragma once
// Host start-up: data directory, identity, paired devices, runtime, sockets,
// shared state and background tasks.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "base/ordered_file_writer.h"
#include "base/result.h"
#include "discovery/advert_state.h"
#include "discovery/network_snapshot.h"
#include "host/host_state.h"
#include "platform/mdns_responder.h"
#include "platform/platform_services.h"
#include "platform/process_runner.h"
#include "platform/system.h"
#include "platform/virtual_pad_bus.h"
#include "server/admission.h"
#include "server/sockets.h"

namespace hp::main {

class Runtime;  // the asynchronous runtime (4 workers, blocking pool of 3)
class Watchdog;
}  // namespace hp::main

namespace hp::gamepad {
class GamepadOutput;
}  // namespace hp::gamepad

namespace hp::main {

using host::EventSink;

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
    std::filesystem::path dataDir;
    std::shared_ptr<host::HostState> state;
    std::shared_ptr<discovery::SharedNetworkSnapshot> network;
    std::uint16_t tcpPort = 0;
    bool vigemMissing = false;
    std::shared_ptr<gamepad::GamepadOutput> gamepad;  // its members under the state's lock
    std::shared_ptr<Watchdog> watchdog;  // the stale-input watchdog
    std::shared_ptr<ProcessCounters> counters;
    // Where the mDNS advertisement stands (Off without a responder); any thread.
    std::function<discovery::AdvertState()> advertState;
};

struct StartOptions {
    std::shared_ptr<platform::System> system;             // the operating system's services
    std::shared_ptr<platform::PlatformServices> platform;  // input, text, clipboard, system actions
    std::shared_ptr<platform::VirtualPadBus> padBus;       // ViGEmBus; none: no driver
    std::shared_ptr<platform::MdnsResponder> mdns;         // none: nothing is advertised
    std::shared_ptr<platform::ProcessRunner> processes;    // runs `tailscale status --json`
    // The Tailscale local API ("100.100.100.100:80" in the product); empty:
    // only the command line is asked.
    std::string tailscaleApi;
    std::chrono::milliseconds discoveryPeriod{10000};      // tests shorten it
    EventSink notifyTray;                 // posts to the tray; never called under the lock
    std::function<void()> refreshTray;    // addresses changed
    server::PortRange ports{};            // the product always uses 49182..49192
    std::chrono::milliseconds idleTimeout{10000};  // tests shorten it
    std::size_t maxQueuedBytes = 1u << 20;         // per session
    server::AdmissionLimits admission;             // before authentication; tests may raise them
    // How the paired-device store reaches the disk; empty: write_file_atomically.
    OrderedFileWriter::Write storeWrite;
    // Whose keys the desktop-shortcut commands press (input/desktop_shortcuts.h).
    host::DesktopStyle desktopStyle = host::DesktopStyle::Windows;
    // What the handshakes, the host information, the pairing link and the
    // advertisement say the host runs on.
    std::string osType = std::string(protocol::kOsType);  // or protocol::kOsTypeLinux
};

// What the event wrapper does when the first session opens and the last one
// closes.
struct TimerHooks {
    std::function<void()> begin;              // take the 1 ms timer resolution
    std::function<void()> end;                // give it back
    std::function<void()> lastSessionEnded;   // schedule the working-set trim
};

// Never throws: every failure, the ones the runtime reports as exceptions
// included, comes back as an error with its text.
Result<std::unique_ptr<HostHandle>> start_host(StartOptions options);

// The wrapper start-up puts around the tray sink: the first established
// session takes the 1 ms timer resolution, the last one gives it back and
// schedules a working-set trim (which a connection arriving meanwhile
// cancels).
EventSink wrap_event_sink(EventSink sink, std::shared_ptr<ProcessCounters> counters, TimerHooks hooks);

}  // namespace hp::main
