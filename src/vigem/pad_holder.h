#pragma once
// PadHolder: the process's one virtual Xbox 360 pad. It follows the active
// client's controller switch: switched on, the pad is plugged in (in the
// background, or on demand by the first report); switched off, it is
// unplugged at once, or after a grace of 3 s when the client went away, so a
// quick reconnect keeps the pad and a game never sees it vanish.
//
// Plugging in takes as long as Plug and Play takes to set the controller up,
// seconds on first use. It therefore always runs in the background, holding
// no lock: reports go nowhere meanwhile, and once the pad is ready it is
// installed under the holder's lock and sent the latest state at once.
//
// Each event is written to the controller log through the log sink: "switch
// on", "switch off", "plugged in", "plug-in failed", "plugged in (on demand)",
// "plug-in failed (on demand)", "unplugged".
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "base/clock.h"
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
    // False when it cannot: the work is then dropped, never run here.
    virtual bool runAfter(std::chrono::milliseconds delay, std::function<void()> work) = 0;
    // The time the delays are measured on.
    virtual Instant now() const { return Clock::now(); }
};

// A detached thread per piece of work that sleeps for the delay first.
std::shared_ptr<Scheduler> make_thread_scheduler();

// Receives one controller-log event text (the sink adds the time).
using LogSink = std::function<void(std::string_view)>;

inline constexpr std::chrono::milliseconds kUnplugGrace{3000};
// After a refused plug-in, reports start another one at most this often.
inline constexpr std::chrono::milliseconds kPlugInRetryGap{1000};

// Whether setSwitch writes "switch on"/"switch off" itself. The host queues
// those lines with its own state changes instead (they are written after its
// lock is released).
enum class SwitchLines { Write, LeaveToCaller };

// One change of the switch, as stored; what the background work follows.
struct SwitchChange {
    bool on = false;
    bool clientGone = false;
    std::uint64_t generation = 0;
};

class PadHolder {
public:
    PadHolder(std::shared_ptr<platform::VirtualPadBus> bus, LogSink log, std::shared_ptr<Scheduler> scheduler,
              std::chrono::milliseconds unplugGrace = kUnplugGrace, SwitchLines lines = SwitchLines::Write);

    // Called by the controller-switch refresh with the switch and whether the
    // active client's session is gone: storeSwitch, then follow.
    void setSwitch(bool on, bool clientGone);
    // The part for a caller under its own lock: advances the generation,
    // stores the switch (and logs it), and says what follow must do. Cheap
    // and never waits.
    SwitchChange storeSwitch(bool on, bool clientGone);
    // Starts the background work of a change: on → ensurePlugged; off with
    // the client gone → unplugIfOff after the grace, unless the switch
    // changed again meanwhile; off otherwise → unplugIfOff at once.
    void follow(const SwitchChange& change);

    // With the switch on, no pad and no plug-in under way: plug one in
    // ("plugged in" / "plug-in failed"). The plug-in holds no lock.
    void ensurePlugged();
    // With the switch off and a pad: drop it, which unplugs it ("unplugged").
    void unplugIfOff();

    // Sends the report for state and keeps it as the latest state. With the
    // switch on and no pad, starts a plug-in in the background ("plugged in
    // (on demand)" / "plug-in failed (on demand)"), unless one is under way
    // or the last one was refused less than kPlugInRetryGap ago. Never waits
    // for a plug-in; the request is made outside the holder's lock.
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
