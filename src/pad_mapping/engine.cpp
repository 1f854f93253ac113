#include "pad_mapping/engine.h"

#include <algorithm>
#include <cmath>

namespace hp::pad_mapping {

namespace {

// Finite values clamped into range; anything else takes the fallback.
double sane(float v, double lo, double hi, double fallback) {
    return std::isfinite(v) ? std::clamp(static_cast<double>(v), lo, hi) : fallback;
}

// The 16 pressed tests, in binding order. The Guide bit is not mappable.
std::uint32_t pressed_mask(const PadState& pad) {
    const auto bit = [&](int b) { return (pad.buttons >> b) & 1u; };
    const std::uint8_t d = pad.dpad;
    const bool pressed[kButtonCount] = {
        bit(0) != 0, bit(1) != 0, bit(2) != 0, bit(3) != 0, bit(4) != 0, bit(5) != 0,
        pad.leftTrigger > kTriggerThreshold, pad.rightTrigger > kTriggerThreshold,
        bit(9) != 0, bit(8) != 0, bit(6) != 0, bit(7) != 0,
        d == 8 || d == 1 || d == 2,  // up
        d == 4 || d == 5 || d == 6,  // down
        d == 6 || d == 7 || d == 8,  // left
        d == 2 || d == 3 || d == 4,  // right
    };
    std::uint32_t mask = 0;
    for (std::size_t i = 0; i < kButtonCount; ++i)
        if (pressed[i]) mask |= 1u << i;
    return mask;
}

HeldOutput key_output(KeyCode code, BindingMods mods) {
    HeldOutput h;
    h.kind = HeldOutput::Kind::Key;
    h.code = code;
    h.mods = mods;
    return h;
}

// Key codes beyond the counter table are never pressed.
bool countable(KeyCode code) { return code != 0 && code < 256; }

constexpr BindingMods kPressOrder[] = {kModCtrl, kModShift, kModAlt, kModWin};
constexpr BindingMods kReleaseOrder[] = {kModWin, kModAlt, kModShift, kModCtrl};

KeyCode modifier_key(BindingMods bit) {
    KeyCode code = kFirstModifierKey;
    for (BindingMods b = bit; b > 1; b >>= 1) ++code;
    return code;
}

}  // namespace

void MappingEngine::countUp(KeyCode code, EngineOutput& out) {
    std::uint8_t& n = keyCount_[code];
    if (n == 255) return;
    if (++n == 1) out.keyDown(code);
}

void MappingEngine::countDown(KeyCode code, EngineOutput& out) {
    std::uint8_t& n = keyCount_[code];
    if (n == 0) return;
    if (--n == 0) out.keyUp(code);
}

void MappingEngine::release(HeldOutput& slot, EngineOutput& out) {
    switch (slot.kind) {
        case HeldOutput::Kind::Key:
            countDown(slot.code, out);
            for (BindingMods bit : kReleaseOrder)
                if (slot.mods & bit) countDown(modifier_key(bit), out);
            break;
        case HeldOutput::Kind::Button: {
            std::uint8_t& n = buttonCount_[slot.button];
            if (n != 0 && --n == 0) out.buttonUp(slot.button);
            break;
        }
        case HeldOutput::Kind::None:
            break;
    }
    slot = HeldOutput{};
}

void MappingEngine::press(const HeldOutput& wanted, EngineOutput& out) {
    switch (wanted.kind) {
        case HeldOutput::Kind::Key:
            for (BindingMods bit : kPressOrder)
                if (wanted.mods & bit) countUp(modifier_key(bit), out);
            countUp(wanted.code, out);
            break;
        case HeldOutput::Kind::Button: {
            std::uint8_t& n = buttonCount_[wanted.button];
            if (n == 255) break;
            if (++n == 1) out.buttonDown(wanted.button);
            break;
        }
        case HeldOutput::Kind::None:
            break;
    }
}

bool MappingEngine::evaluate(const PadState& pad, const PadMapping& mapping, EngineOutput& out) {
    std::array<HeldOutput, kSlotCount> desired{};
    Velocities v;

    // Bindings.
    const std::uint32_t mask = pressed_mask(pad);
    for (std::size_t i = 0; i < kButtonCount; ++i) {
        if (!(mask & (1u << i))) continue;
        const Binding& b = mapping.bindings[i];
        switch (b.kind) {
            case Binding::Kind::Key:
                if (countable(b.key)) desired[i] = key_output(b.key, b.mods & 0x0F);
                break;
            case Binding::Kind::MouseButton:
                if (b.button >= 1 && b.button <= 3) {
                    desired[i].kind = HeldOutput::Kind::Button;
                    desired[i].button = b.button;
                }
                break;
            case Binding::Kind::MouseMove: {
                const double speed = sane(b.speed, 0.1, 5.0, 1.0) * kMoveBindingPxPerSecond;
                switch (b.direction) {
                    case Direction::Up: v.vy -= speed; break;
                    case Direction::Down: v.vy += speed; break;
                    case Direction::Left: v.vx -= speed; break;
                    case Direction::Right: v.vx += speed; break;
                }
                break;
            }
            case Binding::Kind::None:
            case Binding::Kind::Wheel:
                break;
        }
    }

    // Sticks.
    const StickConfig* sticks[2] = {&mapping.leftStick, &mapping.rightStick};
    const std::int16_t axes[2][2] = {{pad.leftX, pad.leftY}, {pad.rightX, pad.rightY}};
    for (std::size_t st = 0; st < 2; ++st) {
        const StickConfig& c = *sticks[st];
        const double x = std::max(axes[st][0] / 32767.0, -1.0);
        const double y = std::max(axes[st][1] / 32767.0, -1.0);
        const double m = std::sqrt(x * x + y * y);
        const double dz = sane(c.deadzone, 0.0, 0.9, 0.2);
        const double s = sane(c.sensitivity, 0.1, 5.0, 1.0);
        const double inv = c.invertY ? -1.0 : 1.0;
        auto& active = dirActive_[st];
        if (c.mode == StickMode::Keys) {
            const KeyCode keys[4] = {c.up, c.down, c.left, c.right};
            for (std::size_t d = 0; d < 4; ++d) {
                if (m == 0) {
                    active[d] = false;
                    continue;
                }
                const double toward[4] = {y / m, -y / m, -x / m, x / m};
                active[d] = active[d] ? (m >= dz * kKeysHoldFactor && toward[d] >= kKeysHoldCos)
                                      : (m >= dz && toward[d] >= kKeysOnCos);
                if (active[d] && countable(keys[d]))
                    desired[stickSlot(st, static_cast<Direction>(d))] = key_output(keys[d], 0);
            }
            continue;
        }
        active = {};
        if (c.mode != StickMode::Mouse && c.mode != StickMode::Scroll) continue;
        if (!(m > dz) || m == 0) continue;
        const double t = std::min((m - dz) / std::max(1.0 - dz, 0.000001), 1.0);
        if (c.mode == StickMode::Mouse) {
            const double g = std::sqrt(t) * kStickPxPerSecond * s;
            v.vx += (x / m) * t * g;
            v.vy -= inv * (y / m) * t * g;
        } else {
            v.sx += (x / m) * t * kStickNotchesPerSecond * s;
            v.sy += inv * (y / m) * t * kStickNotchesPerSecond * s;
        }
    }

    // Release what changed, then press what is wanted.
    for (std::size_t i = 0; i < kSlotCount; ++i)
        if (held_[i].kind != HeldOutput::Kind::None && desired[i] != held_[i]) release(held_[i], out);
    for (std::size_t i = 0; i < kSlotCount; ++i) {
        if (desired[i].kind == HeldOutput::Kind::None || desired[i] == held_[i]) continue;
        press(desired[i], out);
        held_[i] = desired[i];
    }

    // Wheel bindings fire once per press.
    const std::uint32_t edges = mask & ~pressedMask_;
    for (std::size_t i = 0; i < kButtonCount; ++i) {
        const Binding& b = mapping.bindings[i];
        if (!(edges & (1u << i)) || b.kind != Binding::Kind::Wheel) continue;
        const std::int32_t amount = (b.amount == 0 ? 1 : b.amount) * 120;
        switch (b.direction) {
            case Direction::Up: out.wheel(amount); break;
            case Direction::Down: out.wheel(-amount); break;
            case Direction::Right: out.hwheel(amount); break;
            case Direction::Left: out.hwheel(-amount); break;
        }
    }

    pressedMask_ = mask;
    return motion_.setVelocities(v);
}

void MappingEngine::reset(EngineOutput& out) {
    for (HeldOutput& slot : held_) release(slot, out);
    for (std::size_t code = 0; code < keyCount_.size(); ++code) {
        if (keyCount_[code] == 0) continue;
        keyCount_[code] = 0;
        out.keyUp(static_cast<KeyCode>(code));
    }
    for (std::uint8_t button = 1; button <= 3; ++button) {
        if (buttonCount_[button] == 0) continue;
        buttonCount_[button] = 0;
        out.buttonUp(button);
    }
    pressedMask_ = 0;
    dirActive_ = {};
    motion_.setVelocities(Velocities{});
}

}  // namespace hp::pad_mapping
