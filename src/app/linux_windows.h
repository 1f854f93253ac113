#pragma once
// The Linux desktop's windows: the pairing window, the connection check and
// the gamepad mapping window. Each is drawn by a separate toolkit program
// (hearthpad-windows) that the host starts when the user asks for the window
// and that ends when the window closes, so the host process carries no
// toolkit. The host side below owns those programs and answers them through
// the front ends' command surface.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "connection_check/findings.h"
#include "discovery/advert_state.h"
#include "host/host_state.h"

namespace hp::main {
struct HostHandle;
}  // namespace hp::main

namespace hp::platform {
class System;
}  // namespace hp::platform

namespace hp::app {

struct DesktopWindowsContext {
    main::HostHandle* host = nullptr;               // outlives the windows object
    std::shared_ptr<platform::System> system;
    std::filesystem::path windowsProgram;           // hearthpad-windows, beside the host program
    std::filesystem::path hostProgram;              // this program, for the firewall fix's elevated run
    std::function<void()> refreshTray;              // the mapping or the devices changed
    // The connection check's facts of this PC (blocking; called off the
    // windows' threads); none: the system's firewall interfaces are asked.
    std::function<connection_check::ConnectionFacts(discovery::AdvertState advert, std::uint16_t port)>
        gatherFacts;
};

class DesktopWindows {
public:
    virtual ~DesktopWindows() = default;  // closes every window it started
    // Each opens its window, or brings the open one to the front.
    virtual void open_pairing() = 0;
    virtual void open_connection_check() = 0;
    virtual void open_mapping() = 0;
    // Every host event, from any thread, never under the host lock (a device
    // paired closes the pairing window, as on Windows).
    virtual void host_event(const host::HostEvent& event) = 0;
    // The mapping in force changed from elsewhere (the tray's presets and
    // output items): an open mapping window shows it.
    virtual void mapping_changed() = 0;
};

std::unique_ptr<DesktopWindows> make_desktop_windows(DesktopWindowsContext context);

}  // namespace hp::app
