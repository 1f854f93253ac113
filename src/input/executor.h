#pragma once
// The input executor: turns input commands into synthetic key, button,
// pointer and wheel events, remembers what it holds down in
// HostState::input, and hands gamepad state to the controller output.
//
// Every function here expects the caller to hold HostState::mutex and never
// locks it; state.platform must be set. Events it raises are appended to
// state.pendingEvents for delivery after unlocking.
#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "input/input_command.h"
#include "host/input_state.h"
#include "input/keys.h"
#include "host/host_state.h"

namespace hp::input {

using host::HostState;
using host::InputState;
using host::PadState;

// Protocol modifier bits.
inline constexpr ModifierMask kShift = 1, kCtrl = 2, kAlt = 4, kWin = 8;

// Virtual keys of the left-hand modifiers, as pressCombo takes them.
inline constexpr std::uint16_t kVkShift = 0xA0, kVkCtrl = 0xA2, kVkAlt = 0xA4, kVkWin = 0x5B;

// Runs one command from session sessionId, received at now: replay and pad
// sequence checks, taking control, the command itself, then queuing a
// waiting Ctrl+Alt+Del result to the session. Stale or malformed commands
// are dropped silently.
void execute(HostState& state, std::uint64_t sessionId, const InputCommand& command, Instant now);

// Makes sessionId the client in control. A change releases everything the
// previous client held and refreshes the controller switch.
void set_active_client(HostState& state, std::uint64_t sessionId);

// Brings the virtual-controller switch in line with the controller flag of
// the active client's session (off when there is no active client or its
// session is gone). On a change: pad output told, "switch on" or "switch off"
// queued for the controller log and a ControllerSwitched event queued.
void refresh_controller_switch(HostState& state);

// Releases everything held: pending motion flushed, pad cleared and
// neutralised, keys, modifiers, buttons and the zoom Ctrl let go, extra
// modifiers forgotten, pointer bookkeeping reset.
void release_all(HostState& state);

// Presses the modifiers among modifierVks (0xA0 Shift, 0xA2 Ctrl, 0xA4 Alt,
// 0x5B Win) that are not held yet, taps vk, then releases exactly the
// modifiers it pressed.
void press_combo(HostState& state, std::initializer_list<std::uint16_t> modifierVks,
                 std::uint16_t vk);

// Moves the pointer by the motion gathered while batching, if any.
void flush_pending_motion(HostState& state);

// One tick of the stale-input watchdog (every 250 ms): lets go of a zoom Ctrl
// idle for 250 ms, neutralises a pad idle for 1.5 s, and releases everything
// once no input arrived for 1.5 s while something is held.
void watchdog_tick(HostState& state, Instant now);

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
void key_down(HostState& state, KeyCode code, ModifierMask modifiers = 0);
void key_up(HostState& state, KeyCode code);
void button_down(HostState& state, std::uint8_t button, ModifierMask modifiers = 0);
void button_up(HostState& state, std::uint8_t button);

// Sends key-down for each bit of mask not held yet, in the order Shift,
// Ctrl, Alt, Win (left-hand keys), and marks held those that went in, which
// it answers.
ModifierMask press_modifiers(HostState& state, ModifierMask mask);
// Sends key-up for each bit of mask that is held, in the order Win, Alt,
// Ctrl, Shift, and marks released those that went in.
void release_modifiers(HostState& state, ModifierMask mask);

// Pointer motion, wheels and typed text through the platform, noting (as
// above) whether the events went in; true when they did.
bool move_relative(HostState& state, std::int32_t dx, std::int32_t dy);
bool wheel(HostState& state, std::int32_t amount);
bool hwheel(HostState& state, std::int32_t amount);
bool type_text(HostState& state, std::u16string_view units);

}  // namespace hp::input
