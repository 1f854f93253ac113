#pragma once
// Host start-up: data directory, identity, paired devices, runtime, sockets,
// shared state and background tasks.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/result.h"
#include "discovery/network_snapshot.h"
#include "platform/platform_services.h"
#include "server/host_state.h"

namespace hp {

class Runtime;  // the asynchronous runtime (4 workers, blocking pool of 3)

using EventSink = std::function<void(const HostEvent&)>;

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
};

struct StartOptions {
    std::shared_ptr<PlatformServices> platform;
    EventSink notifyTray;                 // posts to the tray; never called under the lock
    std::function<void()> refreshTray;    // addresses changed
};

Result<std::unique_ptr<HostHandle>> start_host(StartOptions options);

// Data-directory operations the front ends use.
Status remove_paired_device(HostState& state, const std::string& clientId);
// Draws a new pairing code (replacing an earlier one) and returns it.
std::string new_pairing_code(HostState& state);
void clear_pairing_code(HostState& state);
// The QR payload for the current code.
std::string pairing_link(const HostState& state, const NetworkSnapshot& net,
                         const std::string& code);

}  // namespace hp
