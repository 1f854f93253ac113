#pragma once
// The session bus's desktop services the Linux host talks to: notifications
// (org.freedesktop.Notifications), the light or dark preference of the
// desktop portal (org.freedesktop.portal.Settings), and the host's own name
// (io.github.hearthpad.Host) through which a second start of the program
// reaches the running one. Asynchronous calls answer on the thread that
// processes the connection.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/result.h"
#include "platform/dbus/bus.h"

namespace hp::platform::dbus {

// --- notifications ------------------------------------------------------------
struct Notification {
    std::string summary;
    std::string body;
    std::string icon = "hearthpad";
    std::int32_t timeoutMs = -1;  // the server's default
};
// Sends the notification without waiting; `done` (optional) gets its id or
// the failure (no notification server, no bus).
void notify(Bus& bus, const Notification& notification, std::function<void(Result<std::uint32_t>)> done = {});

// --- the desktop's colour preference ------------------------------------------
enum class ColorScheme { NoPreference, Dark, Light };

// Asks the portal once and then follows its SettingChanged signal; `changed`
// gets the first answer (NoPreference when there is no portal) and every
// change. Stops when destroyed.
class ColorSchemeWatch {
public:
    static Result<std::unique_ptr<ColorSchemeWatch>> start(Bus& bus, std::function<void(ColorScheme)> changed);
    explicit ColorSchemeWatch(std::function<void(ColorScheme)> changed) : changed_(std::move(changed)) {}
    struct Glue;

private:
    std::function<void(ColorScheme)> changed_;
    SlotPtr signal_, read_;
};

// --- the host's own name --------------------------------------------------------
inline constexpr const char* kHostBusName = "io.github.hearthpad.Host";
inline constexpr const char* kHostObjectPath = "/io/github/hearthpad/Host";
inline constexpr const char* kHostInterface = "io.github.hearthpad.Host";

// Owns kHostBusName and answers its OpenPairing method with `openPairing`;
// fails when another connection owns the name.
class HostService {
public:
    static Result<std::unique_ptr<HostService>> create(Bus& bus, std::function<void()> openPairing);
    HostService(Bus& bus, std::function<void()> openPairing) : bus_(bus), openPairing_(std::move(openPairing)) {}
    ~HostService();
    HostService(const HostService&) = delete;
    HostService& operator=(const HostService&) = delete;
    struct Glue;

private:
    Bus& bus_;
    std::function<void()> openPairing_;
    SlotPtr slot_;
    bool named_ = false;
};

// Asks the host that owns kHostBusName to open its pairing window (waits for
// the answer).
Status ask_running_host_to_open_pairing(Bus& bus);

}  // namespace hp::platform::dbus
