#include "input/held_input.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <optional>
#include <set>
#include <string>
#include <utility>

namespace hp::input {
namespace {

using namespace std::chrono_literals;

// extraModifiers keys: a key code, or this tag plus a mouse button number.
constexpr std::uint32_t kButtonTag = 0x10000;

constexpr float kMaxMove = 20000.0f;
constexpr auto kZoomCtrlIdle = 250ms;
constexpr auto kStaleInput = 1500ms;

struct ModifierKey {
    ModifierMask bit;
    KeyRecord record;
};
// Press order; releases walk it backwards.
constexpr ModifierKey kModifierKeys[] = {
    {kShift, KeyRecord{kVkShift, 0x2A, false}},
    {kCtrl, KeyRecord{kVkCtrl, 0x1D, false}},
    {kAlt, KeyRecord{kVkAlt, 0x38, false}},
    {kWin, KeyRecord{kVkWin, 0x5B, true}},
};

platform::PlatformServices& os(HostState& state) { return *state.platform; }

// Every synthetic event goes through here: whether it went in is noted, and
// a change of that (the secure desktop came up, or went away) is one line
// in the controller log, not one per event.
bool went_in(const host::Locked& locked, bool injected) {
    HostState& state = *locked;
    bool& refused = state.input.injectionRefused;
    if (refused == injected) {
        refused = !injected;
        state.log(injected ? "input injection works again" : "input injection refused");
    }
    return injected;
}

bool send_key(const host::Locked& locked, const KeyRecord& record, bool down) {
    HostState& state = *locked;
    return went_in(locked, os(state).key(record, down));
}

bool send_button(const host::Locked& locked, std::uint8_t button, bool down) {
    HostState& state = *locked;
    return went_in(locked, os(state).mouseButton(button, down));
}

// Truncates toward zero; NaN becomes 0, out-of-range values the nearest limit.
std::int32_t saturate_i32(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    if (v <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);
}

// Rounds half away from zero, saturating.
std::int32_t round_i32(double v) { return saturate_i32(std::round(v)); }

std::int32_t add_saturating(std::int32_t a, std::int32_t b) {
    const std::int64_t sum = std::int64_t(a) + std::int64_t(b);
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        sum, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

std::uint8_t button_bit(std::uint8_t button) { return static_cast<std::uint8_t>(1u << (button - 1)); }

void tap_vk(const host::Locked& locked, std::uint16_t vk) {
    const KeyRecord r = record_for_vk(vk);
    send_key(locked, r, true);
    send_key(locked, r, false);
}

void release_extra_modifiers(const host::Locked& locked, std::uint32_t owner) {
    HostState& state = *locked;
    auto& extras = state.input.extraModifiers;
    const auto it = extras.find(owner);
    if (it == extras.end()) return;
    const ModifierMask mask = it->second;
    extras.erase(it);
    release_modifiers(locked, mask);
}

// A Ctrl-up that did not go in leaves the Ctrl held, for releaseAll to retry.
void release_zoom_ctrl(const host::Locked& locked) {
    HostState& state = *locked;
    if (!state.input.zoomCtrlHeld) return;
    if (send_key(locked, record_for_vk(kVkCtrl), false)) state.input.zoomCtrlHeld = false;
}

// Pinch-zoom presses Ctrl itself (unless the client holds it) so that the
// wheel zooms.
void begin_zoom(const host::Locked& locked, Instant now) {
    HostState& state = *locked;
    InputState& in = state.input;
    if (!(in.heldModifiers & kCtrl) && send_key(locked, record_for_vk(kVkCtrl), true))
        in.zoomCtrlHeld = true;
    in.gestureAt = now;
}

}  // namespace

ModifierMask press_modifiers(const host::Locked& locked, ModifierMask mask) {
    HostState& state = *locked;
    ModifierMask& held = state.input.heldModifiers;
    ModifierMask pressed = 0;
    for (const ModifierKey& m : kModifierKeys) {
        if (!(mask & m.bit) || (held & m.bit)) continue;
        if (!send_key(locked, m.record, true)) continue;
        held |= m.bit;
        pressed |= m.bit;
    }
    return pressed;
}

void release_modifiers(const host::Locked& locked, ModifierMask mask) {
    HostState& state = *locked;
    ModifierMask& held = state.input.heldModifiers;
    for (auto it = std::rbegin(kModifierKeys); it != std::rend(kModifierKeys); ++it) {
        if (!(mask & it->bit) || !(held & it->bit)) continue;
        if (send_key(locked, it->record, false)) held &= static_cast<ModifierMask>(~it->bit);
    }
}

void key_down(const host::Locked& locked, KeyCode code, ModifierMask modifiers) {
    HostState& state = *locked;
    const std::optional<KeyRecord> record = key_record(code);
    if (!record) return;
    InputState& in = state.input;
    const ModifierMask own = own_modifier(code);
    const ModifierMask extra = modifiers & 0x0F & ~in.heldModifiers & ~own;
    if (extra) {
        if (const ModifierMask pressed = press_modifiers(locked, extra)) in.extraModifiers[code] |= pressed;
    }
    if (!send_key(locked, *record, true)) return;  // never went down: nothing to release later
    in.heldKeys.insert(code);
    in.heldModifiers |= own;
}

void key_up(const host::Locked& locked, KeyCode code) {
    HostState& state = *locked;
    const std::optional<KeyRecord> record = key_record(code);
    if (!record) return;
    InputState& in = state.input;
    if (!send_key(locked, *record, false)) return;  // still down: held, so releaseAll tries again
    in.heldKeys.erase(code);
    in.heldModifiers &= static_cast<ModifierMask>(~own_modifier(code));
    release_extra_modifiers(locked, code);
}

void button_down(const host::Locked& locked, std::uint8_t button, ModifierMask modifiers) {
    HostState& state = *locked;
    if (button < 1 || button > 3) return;
    InputState& in = state.input;
    const ModifierMask extra = modifiers & 0x0F & ~in.heldModifiers;
    if (extra) {
        if (const ModifierMask pressed = press_modifiers(locked, extra))
            in.extraModifiers[kButtonTag | button] |= pressed;
    }
    if (!send_button(locked, button, true)) return;
    in.heldButtons |= button_bit(button);
}

void button_up(const host::Locked& locked, std::uint8_t button) {
    HostState& state = *locked;
    if (button < 1 || button > 3) return;
    if (!send_button(locked, button, false)) return;
    state.input.heldButtons &= static_cast<std::uint8_t>(~button_bit(button));
    release_extra_modifiers(locked, kButtonTag | button);
}

bool move_relative(const host::Locked& locked, std::int32_t dx, std::int32_t dy) {
    HostState& state = *locked;
    return went_in(locked, os(state).moveRelative(dx, dy));
}

bool wheel(const host::Locked& locked, std::int32_t amount) { return went_in(locked, os(*locked).wheel(amount)); }

bool hwheel(const host::Locked& locked, std::int32_t amount) {
    return went_in(locked, os(*locked).hwheel(amount));
}

bool type_text(const host::Locked& locked, std::u16string_view units) {
    HostState& state = *locked;
    return went_in(locked, os(state).typeText(units));
}

void press_combo(const host::Locked& locked, std::initializer_list<std::uint16_t> modifierVks,
                 std::uint16_t vk) {
    ModifierMask wanted = 0;
    for (const std::uint16_t m : modifierVks) {
        switch (m) {
            case kVkShift: wanted |= kShift; break;
            case kVkCtrl: wanted |= kCtrl; break;
            case kVkAlt: wanted |= kAlt; break;
            case kVkWin: wanted |= kWin; break;
            default: break;
        }
    }
    press_shortcut(locked, wanted, vk);
}

void press_shortcut(const host::Locked& locked, ModifierMask modifiers, std::uint16_t vk) {
    HostState& state = *locked;
    const ModifierMask pressed = press_modifiers(locked, modifiers & ~state.input.heldModifiers);
    tap_vk(locked, vk);
    release_modifiers(locked, pressed);
}

void tap_key(const host::Locked& locked, std::uint16_t vk) { tap_vk(locked, vk); }

void set_modifiers(const host::Locked& locked, ModifierMask mask) {
    HostState& state = *locked;
    const ModifierMask m = mask & 0x0F;
    release_modifiers(locked, state.input.heldModifiers & ~m);
    press_modifiers(locked, m & ~state.input.heldModifiers);
}

void move_pointer(const host::Locked& locked, float dx, float dy) {
    HostState& state = *locked;
    InputState& in = state.input;
    const float vx = std::clamp(dx, -kMaxMove, kMaxMove) + in.moveRemainderX;
    const float vy = std::clamp(dy, -kMaxMove, kMaxMove) + in.moveRemainderY;
    const std::int32_t ix = saturate_i32(vx), iy = saturate_i32(vy);
    in.moveRemainderX = vx - static_cast<float>(ix);
    in.moveRemainderY = vy - static_cast<float>(iy);
    if (ix == 0 && iy == 0) return;
    if (in.batching) {
        in.pendingMotionX = add_saturating(in.pendingMotionX, ix);
        in.pendingMotionY = add_saturating(in.pendingMotionY, iy);
    } else {
        move_relative(locked, ix, iy);
    }
}

void scroll(const host::Locked& locked, float x, float y) {
    if (std::isfinite(y) && y != 0.0f) {
        if (const std::int32_t v = round_i32(double(y) * 4.5); v != 0) wheel(locked, v);
    }
    if (std::isfinite(x) && x != 0.0f) {
        if (const std::int32_t v = round_i32(double(x) * -4.5); v != 0) hwheel(locked, v);
    }
}

void pinch_zoom(const host::Locked& locked, unsigned phase, float delta, Instant now) {
    HostState& state = *locked;
    InputState& in = state.input;
    if (phase == 3 || phase == 5) {
        release_zoom_ctrl(locked);
        in.gestureAt.reset();
    } else if (phase == 1) {
        if (in.zoomCtrlHeld)
            in.gestureAt = now;
        else
            begin_zoom(locked, now);
    } else if (phase == 2 && std::isfinite(delta) && delta != 0.0f) {
        if (!in.zoomCtrlHeld) begin_zoom(locked, now);
        in.gestureAt = now;
        if (const std::int32_t v = round_i32(double(delta) * 600.0); v != 0) wheel(locked, v);
    } else {
        in.gestureAt = now;
    }
}

void set_pad(const host::Locked& locked, const PadState& next) {
    HostState& state = *locked;
    if (next == state.input.pad) return;
    state.input.pad = next;
    if (state.pad) {
        const PadState copy = next;
        state.pad->apply(locked, copy);
    }
}

void reset_pad(const host::Locked& locked) {
    HostState& state = *locked;
    state.input.pad = PadState{};
    state.input.padInputAt.reset();
    if (state.pad) {
        const PadState cleared{};
        state.pad->apply(locked, cleared);
        state.pad->neutral(locked);
    }
}

void flush_pending_motion(const host::Locked& locked) {
    HostState& state = *locked;
    InputState& in = state.input;
    if (in.pendingMotionX == 0 && in.pendingMotionY == 0) return;
    move_relative(locked, in.pendingMotionX, in.pendingMotionY);
    in.pendingMotionX = 0;
    in.pendingMotionY = 0;
}

void release_all(const host::Locked& locked) {
    HostState& state = *locked;
    InputState& in = state.input;
    flush_pending_motion(locked);
    // The mapping engine lets go of what it holds when it sees the cleared pad.
    reset_pad(locked);
    if (state.pad) state.pad->reset(locked);

    // What does not go up stays held, so the next releaseAll (the watchdog's,
    // while it is held) tries again.
    std::set<KeyCode> keys;
    keys.swap(in.heldKeys);
    for (const KeyCode code : keys)
        if (const auto record = key_record(code); record && !send_key(locked, *record, false))
            in.heldKeys.insert(code);

    release_modifiers(locked, in.heldModifiers);
    for (std::uint8_t button = 1; button <= 3; ++button)
        if ((in.heldButtons & button_bit(button)) && send_button(locked, button, false))
            in.heldButtons &= static_cast<std::uint8_t>(~button_bit(button));
    release_zoom_ctrl(locked);
    in.gestureAt.reset();
    in.extraModifiers.clear();
    in.lastMoveSeq = 0;
    in.moveRemainderX = 0;
    in.moveRemainderY = 0;
}

void watchdog_tick(const host::Locked& locked, Instant now) {
    HostState& state = *locked;
    InputState& in = state.input;
    if (in.zoomCtrlHeld && in.gestureAt && now - *in.gestureAt > kZoomCtrlIdle) {
        release_zoom_ctrl(locked);
        in.gestureAt.reset();
    }
    if (!in.pad.neutral() && in.padInputAt && now - *in.padInputAt > kStaleInput) reset_pad(locked);
    const bool holding = in.heldButtons != 0 || in.heldModifiers != 0 || !in.heldKeys.empty() ||
                         in.zoomCtrlHeld;
    // Held input with no input time at all is stale too.
    if (holding && (!in.lastInputAt || now - *in.lastInputAt > kStaleInput)) release_all(locked);
}

}  // namespace hp::input
