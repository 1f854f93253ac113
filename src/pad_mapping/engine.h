#pragma once
// The keyboard/mouse mapping of gamepad state. Each new PadState is turned
// into the set of keys and mouse buttons that should be held; the
// differences from what is held are released and pressed with reference
// counts (so two inputs may share a key), wheel bindings fire on the press
// edge, and pointer and scroll velocities are handed to the motion worker.
//
// Everything runs under the HostState lock; no evaluation allocates.
#include <array>
#include <cstddef>
#include <cstdint>

#include "host/input_state.h"
#include "pad_mapping/mapping.h"
#include "pad_mapping/motion.h"

namespace hp::pad_mapping {

// Where the engine's actions go. The product forwards keys and buttons to the
// input layer's key-down/up and button-down/up paths with an empty protocol
// modifier mask (the engine presses a binding's modifiers itself, as the
// keys 224-227), and wheel, hwheel and moveRelative to PlatformServices.
class EngineOutput {
public:
    virtual ~EngineOutput() = default;
    virtual void keyDown(KeyCode code) = 0;
    virtual void keyUp(KeyCode code) = 0;
    virtual void buttonDown(std::uint8_t button) = 0;  // 1 left, 2 right, 3 middle
    virtual void buttonUp(std::uint8_t button) = 0;
    virtual void wheel(std::int32_t amount) = 0;   // 120 = one notch away from the user
    virtual void hwheel(std::int32_t amount) = 0;  // 120 = one notch right
    virtual void moveRelative(std::int32_t dx, std::int32_t dy) = 0;
};

// What one output slot holds down.
struct HeldOutput {
    enum class Kind : std::uint8_t { None, Key, Button };
    Kind kind = Kind::None;
    KeyCode code = 0;
    BindingMods mods = 0;
    std::uint8_t button = 0;
    friend bool operator==(const HeldOutput&, const HeldOutput&) = default;
};

// Slots 0-15 are the bindings; then left-stick up, down, left, right, then
// right-stick up, down, left, right.
inline constexpr std::size_t kSlotCount = 24;
inline constexpr std::size_t stickSlot(std::size_t stick, Direction d) {
    return kButtonCount + stick * 4 + static_cast<std::size_t>(d);
}

// A trigger counts as pressed above this value.
inline constexpr std::uint8_t kTriggerThreshold = 63;
// Keys mode: a direction turns on at the deadzone within 67.5° of its axis,
// and stays on down to 0.8 × deadzone within 75°.
inline constexpr double kKeysOnCos = 0.382683, kKeysHoldCos = 0.258819, kKeysHoldFactor = 0.8;
// Velocity scales: pointer pixels per second per mouse-move speed unit and at
// full stick deflection; scroll notches per second at full deflection.
inline constexpr double kMoveBindingPxPerSecond = 800, kStickPxPerSecond = 1400,
                        kStickNotchesPerSecond = 12;

class MappingEngine {
public:
    // Evaluates pad against mapping: releases what should no longer be held,
    // presses what should be, fires wheel bindings pressed since the last
    // evaluation and hands the velocities to the motion state. Returns true
    // when motion starts and the worker must be woken.
    bool evaluate(const PadState& pad, const PadMapping& mapping, EngineOutput& out);

    // Lets go of everything (every slot released, then key-up and button-up
    // for any count still non-zero) and stops motion.
    void reset(EngineOutput& out);

    MotionState& motion() { return motion_; }
    const MotionState& motion() const { return motion_; }

    const HeldOutput& held(std::size_t slot) const { return held_[slot]; }
    std::uint8_t keyCount(KeyCode code) const { return code < keyCount_.size() ? keyCount_[code] : 0; }
    std::uint8_t buttonCount(std::uint8_t button) const {
        return button < buttonCount_.size() ? buttonCount_[button] : 0;
    }
    std::uint32_t pressedMask() const { return pressedMask_; }
    bool directionActive(std::size_t stick, Direction d) const {
        return dirActive_[stick][static_cast<std::size_t>(d)];
    }

private:
    void release(HeldOutput& slot, EngineOutput& out);
    void press(const HeldOutput& wanted, EngineOutput& out);
    void countDown(KeyCode code, EngineOutput& out);
    void countUp(KeyCode code, EngineOutput& out);

    std::array<std::array<bool, 4>, 2> dirActive_{};
    std::array<HeldOutput, kSlotCount> held_{};
    std::array<std::uint8_t, 256> keyCount_{};
    std::array<std::uint8_t, 4> buttonCount_{};  // index 1-3
    std::uint32_t pressedMask_ = 0;
    MotionState motion_;
};

}  // namespace hp::pad_mapping
