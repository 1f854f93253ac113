#pragma once
// The integrating step of the motion worker: pointer and scroll velocities
// set by the mapping engine become moveRelative, wheel and hwheel calls in
// whole pixels and notches, with the fractions carried to the next step.
//
// The worker itself (a task that steps every kMotionStep while running and
// otherwise waits to be woken) lives with the runtime; this class is its
// state and one step, driven by explicit instants so it can be tested
// without threads or clocks. Everything except running() is touched only
// under the HostState lock.
#include <array>
#include <atomic>
#include <chrono>
#include <optional>

#include "host/input_state.h"

namespace hp::pad_mapping {

class EngineOutput;

inline constexpr std::chrono::milliseconds kMotionStep{8};
// dt of the first step after motion starts, and the longest dt of any step.
inline constexpr double kMotionFirstDt = 0.008;
inline constexpr double kMotionMaxDt = 0.05;

struct Velocities {
    double vx = 0, vy = 0;  // pixels per second, y grows downward
    double sx = 0, sy = 0;  // wheel notches per second, sy > 0 away from the user, sx > 0 right
    // All four exactly zero: the worker has nothing to do and sleeps.
    bool zero() const { return vx == 0 && vy == 0 && sx == 0 && sy == 0; }
    friend bool operator==(const Velocities&, const Velocities&) = default;
};

class MotionState {
public:
    MotionState() = default;
    MotionState(const MotionState& other);
    MotionState& operator=(const MotionState& other);

    // Takes the engine's new velocities. All zero: stop (running cleared,
    // remainders dropped). Otherwise running is set; when it was clear the
    // last tick is forgotten and the result is true: wake the worker.
    bool setVelocities(const Velocities& v);

    // One worker step at now. With all velocities zero it clears running and
    // returns false (the worker then waits to be woken). Otherwise dt is
    // kMotionFirstDt after a start, else the time since the last step capped
    // at kMotionMaxDt; the velocities times dt are added to the remainders and
    // their whole parts sent: one moveRelative for x and y, then wheel (×120)
    // for y, then hwheel (×120) for x. Returns true: step again after
    // kMotionStep.
    bool step(Instant now, EngineOutput& out);

    // Read by the worker between steps without the lock.
    bool running() const { return running_.load(std::memory_order_acquire); }

    const Velocities& velocities() const { return v_; }
    // Fractional pixels x, y and notches x, y not sent yet.
    const std::array<double, 4>& remainders() const { return rem_; }

private:
    Velocities v_;
    std::array<double, 4> rem_{};
    std::optional<Instant> lastTick_;
    std::atomic<bool> running_{false};
};

}  // namespace hp::pad_mapping
