#pragma once
// PadHolder: the process's one virtual Xbox 360 pad. It follows the active
// client's controller switch: switched on, the pad is plugged in (in the
// background, or on demand by the first report); switched off, it is
// unplugged at once, or after a grace of 3 s when the client went away, so a
// quick reconnect keeps the pad and a game never sees it vanish.
//
// Each event is written to the controller log through the log sink: "switch
// on", "switch off", "plugged in", "plug-in failed", "plugged in (on demand)",
// "plug-in failed (on demand)", "unplugged".
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "host/input_state.h"
#include "platform/virtual_pad_bus.h"

namespace hp::vigem {

using host::PadState;

// Runs short-lived background work, now or after a delay. The product runs
// each piece on a detached thread; tests run it from a manual clock.
class Scheduler {
public:
    virtual ~Scheduler() = default;
    // Runs work once, on another thread, no sooner than delay from now.
    virtual void runAfter(std::chrono::milliseconds delay, std::function<void()> work) = 0;
};

// A detached thread per piece of work that sleeps for the delay first. If no
// thread can be started, work without a delay runs on the caller's thread
// and delayed work is dropped.
std::shared_ptr<Scheduler> make_thread_scheduler();

// Receives one controller-log event text (the sink adds the time).
using LogSink = std::function<void(std::string_view)>;

inline constexpr std::chrono::milliseconds kUnplugGrace{3000};

// Whether setSwitch writes "switch on"/"switch off" itself. The host queues
// those lines with its own state changes instead (they are written after its
// lock is released) and hands the switch to the holder afterwards.
enum class SwitchLines { Write, LeaveToCaller };

class PadHolder {
public:
    PadHolder(std::shared_ptr<platform::VirtualPadBus> bus, LogSink log, std::shared_ptr<Scheduler> scheduler,
              std::chrono::milliseconds unplugGrace = kUnplugGrace, SwitchLines lines = SwitchLines::Write);

    // Called by the controller-switch refresh with the switch and whether the
    // active client's session is gone. Advances the generation, stores the
    // switch and logs it, then in the background: on → ensurePlugged; off
    // with the client gone → unplugIfOff after the grace, unless the switch
    // changed again meanwhile; off otherwise → unplugIfOff at once.
    void setSwitch(bool on, bool clientGone);

    // With the switch on and no pad: plug one in ("plugged in" / "plug-in failed").
    void ensurePlugged();
    // With the switch off and a pad: drop it, which unplugs it ("unplugged").
    void unplugIfOff();

    // Sends the report for state. With the switch on and no pad, plugs one in
    // first ("plugged in (on demand)" / "plug-in failed (on demand)"). With no
    // pad nothing is sent. The request is made outside the holder's lock.
    void submit(const PadState& state);
    // Sends an all-zero report to the pad, if one is held.
    void neutral();

    bool switchOn() const;
    std::uint64_t generation() const;
    bool plugged() const;

private:
    struct Shared;  // state shared with the background work
    std::shared_ptr<Shared> shared_;
    std::shared_ptr<Scheduler> scheduler_;
    std::chrono::milliseconds grace_;
    SwitchLines lines_;
};

}  // namespace hp::vigem
