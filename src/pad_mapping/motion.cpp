#include "pad_mapping/motion.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "pad_mapping/engine.h"

namespace hp::pad_mapping {

namespace {

// Saturating conversion of a whole number to i32; NaN becomes 0.
std::int32_t saturate(double v) {
    if (std::isnan(v)) return 0;
    if (v >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    if (v <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);
}

}  // namespace

MotionState::MotionState(const MotionState& other)
    : v_(other.v_), rem_(other.rem_), lastTick_(other.lastTick_), running_(other.running()) {}

MotionState& MotionState::operator=(const MotionState& other) {
    v_ = other.v_;
    rem_ = other.rem_;
    lastTick_ = other.lastTick_;
    running_.store(other.running(), std::memory_order_release);
    return *this;
}

bool MotionState::setVelocities(const Velocities& v) {
    v_ = v;
    if (v.zero()) {
        running_.store(false, std::memory_order_release);
        rem_ = {};
        return false;
    }
    if (running_.exchange(true, std::memory_order_acq_rel)) return false;
    lastTick_.reset();
    return true;
}

bool MotionState::step(Instant now, EngineOutput& out) {
    if (v_.zero()) {
        running_.store(false, std::memory_order_release);
        return false;
    }
    double dt = kMotionFirstDt;
    if (lastTick_) {
        dt = std::chrono::duration<double>(now - *lastTick_).count();
        if (!(dt > 0)) dt = 0;
        if (dt > kMotionMaxDt) dt = kMotionMaxDt;
    }
    lastTick_ = now;

    rem_[0] += v_.vx * dt;
    rem_[1] += v_.vy * dt;
    const double ix = std::trunc(rem_[0]), iy = std::trunc(rem_[1]);
    if (ix != 0 || iy != 0) {
        rem_[0] -= ix;
        rem_[1] -= iy;
        out.moveRelative(saturate(ix), saturate(iy));
    }

    rem_[2] += v_.sx * dt;
    rem_[3] += v_.sy * dt;
    if (const double notches = std::trunc(rem_[3]); notches != 0) {
        rem_[3] -= notches;
        out.wheel(saturate(notches * 120));
    }
    if (const double notches = std::trunc(rem_[2]); notches != 0) {
        rem_[2] -= notches;
        out.hwheel(saturate(notches * 120));
    }
    return true;
}

}  // namespace hp::pad_mapping
