#pragma once
// Held input and key synthesis: synthetic key, button, pointer and wheel
// events through the platform, what they hold down remembered in
// HostState::input, and the pad state handed to the controller output.
// What a client's command means (which session, whether it is in control,
// which of these it calls) is src/commands.
//
// Everything here runs under HostState's lock, whose token (host::Locked)
// every function takes, and never takes the lock itself. state.platform must
// be set. Events raised are appended to state.pendingEvents for delivery
// after unlocking.
#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "base/clock.h"
#include "host/host_state.h"
#include "host/input_state.h"
#include "input/keys.h"

namespace hp::input {

using host::HostState;
using host::InputState;
using host::PadState;

// Protocol modifier bits.
inline constexpr ModifierMask kShift = 1, kCtrl = 2, kAlt = 4, kWin = 8;

// Virtual keys of the left-hand modifiers, as pressCombo takes them.
inline constexpr std::uint16_t kVkShift = 0xA0, kVkCtrl = 0xA2, kVkAlt = 0xA4, kVkWin = 0x5B;

// Releases everything held: pending motion flushed, pad cleared and
// neutralised, keys, modifiers, buttons and the zoom Ctrl let go, extra
// modifiers forgotten, pointer bookkeeping reset.
void release_all(const host::Locked& locked);

// Presses the modifiers among modifierVks (0xA0 Shift, 0xA2 Ctrl, 0xA4 Alt,
// 0x5B Win) that are not held yet, taps vk, then releases exactly the
// modifiers it pressed.
void press_combo(const host::Locked& locked, std::initializer_list<std::uint16_t> modifierVks,
                 std::uint16_t vk);

// The same with the modifiers as a ModifierMask (left-hand keys).
void press_shortcut(const host::Locked& locked, ModifierMask modifiers, std::uint16_t vk);

// Taps the key of virtual key vk (down, then up).
void tap_key(const host::Locked& locked, std::uint16_t vk);

// Moves the pointer by the motion gathered while batching, if any.
void flush_pending_motion(const host::Locked& locked);

// Relative pointer motion in (possibly fractional) pixels: each axis clamped
// to +-20000, the fractions carried over to the next motion, and while
// batching gathered for flush_pending_motion instead of sent.
void move_pointer(const host::Locked& locked, float dx, float dy);

// Scroll in wheel notches (finite values only): y scales by 4.5 to the
// vertical wheel, x by -4.5 to the horizontal one, rounded half away from
// zero; zero amounts send nothing.
void scroll(const host::Locked& locked, float x, float y);

// One step of a pinch-zoom gesture at now: phase 1 begins, 2 zooms by delta
// (600 wheel units per unit of delta; begins if needed), 3 and 5 end; any
// other phase only counts as gesture activity. While the gesture runs Ctrl is
// held on its behalf (unless the client holds it) so that the wheel zooms.
void pinch_zoom(const host::Locked& locked, unsigned phase, float delta, Instant now);

// Makes next the client's pad state and, when it changed, hands it to the
// controller output.
void set_pad(const host::Locked& locked, const PadState& next);

// Clears the pad, hands the cleared state on and sends a neutral report.
void reset_pad(const host::Locked& locked);

// One tick of the stale-input watchdog (every 250 ms): lets go of a zoom Ctrl
// idle for 250 ms, neutralises a pad idle for 1.5 s, and releases everything
// once no input arrived for 1.5 s while something is held.
void watchdog_tick(const host::Locked& locked, Instant now);

// Key and mouse-button paths shared with the gamepad mapping engine (which
// passes no modifiers). Modifiers not yet held are pressed on the key's or
// button's behalf and released with it. Codes without a key record and
// buttons other than 1-3 do nothing.
//
// Held input is what went in: a key or button whose down the system refused
// is not held (releaseAll sends no up for it), and one whose up it refused
// stays held (releaseAll sends the up again). The same holds for every
// modifier and the zoom Ctrl. Each change between events going in and being
// refused queues one controller-log line: "input injection refused" or
// "input injection works again".
void key_down(const host::Locked& locked, KeyCode code, ModifierMask modifiers = 0);
void key_up(const host::Locked& locked, KeyCode code);
void button_down(const host::Locked& locked, std::uint8_t button, ModifierMask modifiers = 0);
void button_up(const host::Locked& locked, std::uint8_t button);

// Sends key-down for each bit of mask not held yet, in the order Shift,
// Ctrl, Alt, Win (left-hand keys), and marks held those that went in, which
// it answers.
ModifierMask press_modifiers(const host::Locked& locked, ModifierMask mask);
// Sends key-up for each bit of mask that is held, in the order Win, Alt,
// Ctrl, Shift, and marks released those that went in.
void release_modifiers(const host::Locked& locked, ModifierMask mask);
// Makes exactly the modifiers of mask (low four bits) held: the others are
// released first, then the missing ones pressed.
void set_modifiers(const host::Locked& locked, ModifierMask mask);

// Pointer motion, wheels and typed text through the platform, noting (as
// above) whether the events went in; true when they did.
bool move_relative(const host::Locked& locked, std::int32_t dx, std::int32_t dy);
bool wheel(const host::Locked& locked, std::int32_t amount);
bool hwheel(const host::Locked& locked, std::int32_t amount);
bool type_text(const host::Locked& locked, std::u16string_view units);

}  // namespace hp::input
