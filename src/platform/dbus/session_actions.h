#pragma once
// The system actions of a Linux desktop session, over D-Bus:
//   - lock: logind's Session.Lock on the caller's session (system bus);
//   - brightness: logind's Session.SetBrightness("backlight", device, value),
//     which an unprivileged session may call, with the value read from
//     /sys/class/backlight/<device> and stepped by a tenth of its range;
//   - keep-awake: org.freedesktop.ScreenSaver.Inhibit on the session bus
//     while input flows, released after a while without input.
// Each answers a failure with its reason when the bus or the service is
// absent. The calls may come from any thread.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "base/result.h"
#include "platform/dbus/bus.h"

namespace hp::platform::dbus {

inline constexpr const char* kLogindSessionPath = "/org/freedesktop/login1/session/auto";

struct Backlight {
    std::string device;        // the folder's name under the backlight folder
    std::uint32_t brightness = 0;
    std::uint32_t maximum = 0;
    friend bool operator==(const Backlight&, const Backlight&) = default;
};

// The display's backlight under `folder`: the devices with readable
// "brightness" and "max_brightness" (above 0), the kernel's "firmware" type
// before "platform" before "raw", then by name.
Result<Backlight> find_backlight(const std::filesystem::path& folder);

// One step up or down: a tenth of the range (at least 1), kept within 0 and
// the maximum.
std::uint32_t stepped_brightness(std::uint32_t current, std::uint32_t maximum, bool up);

struct SessionActionsOptions {
    std::filesystem::path backlightFolder = "/sys/class/backlight";
    // The inhibition ends this long after the last input.
    std::chrono::milliseconds keepAwakeHold{std::chrono::minutes(2)};
    std::function<Result<Bus>()> systemBus = &Bus::system;
    std::function<Result<Bus>()> sessionBus = &Bus::session;
};

class SessionActions {
public:
    explicit SessionActions(SessionActionsOptions options = {});
    ~SessionActions();  // ends the inhibition
    SessionActions(const SessionActions&) = delete;
    SessionActions& operator=(const SessionActions&) = delete;

    Status lock();
    // The new value on success.
    Result<std::uint32_t> step_brightness(bool up);
    // Input arrived: inhibit the screen saver now unless already done (on
    // the keep-awake thread; never waits).
    void keep_awake();
    // The outcome of the last Inhibit or UnInhibit call (none yet: success).
    Status keep_awake_status() const;
    bool inhibited() const;

private:
    Result<MessagePtr> call_logind(const char* member, const std::function<int(sd_bus_message*)>& fill);
    void keep_awake_thread();

    SessionActionsOptions options_;
    std::mutex systemMutex_;
    std::optional<Bus> system_;  // opened on first use, again after a failure

    mutable std::mutex awakeMutex_;
    std::condition_variable awakeWake_;
    bool stopping_ = false;
    bool wanted_ = false;
    bool inhibited_ = false;
    std::chrono::steady_clock::time_point lastInput_{};
    Status awakeStatus_;
    std::thread awakeThread_;
};

}  // namespace hp::platform::dbus
