#pragma once
// What the X11 platform sends for a key record, a wheel amount or a text,
// worked out without a display: X keycodes, core wheel buttons and keysyms.
//
// X keycodes here are those of the evdev keymap every current X server uses:
// the Linux input event code plus 8.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "platform/platform_services.h"

namespace hp::platform::x11 {

// The X keycode for a Windows key record:
//   - scan 0x01-0x58 without the extended flag: the set-1 scan code is the
//     evdev code, so keycode = scan + 8;
//   - extended (E0) scans: navigation keys, right Ctrl and Alt, keypad Enter
//     and /, Print Screen, both Win keys (Super), Menu, and the media and
//     browser keys that keyboards send with an E0 scan;
//   - scan 0 (keys the host names by virtual key only): volume up, down and
//     mute, play/pause, next, previous and stop by their virtual-key code.
// Nothing for any other record.
std::optional<unsigned> x_keycode(const KeyRecord& record);

// Core pointer buttons.
inline constexpr unsigned kButtonWheelUp = 4, kButtonWheelDown = 5, kButtonWheelLeft = 6, kButtonWheelRight = 7;

// The X button of a host button number: 1 left, 2 right (X button 3),
// 3 middle (X button 2); nothing for others.
std::optional<unsigned> x_button(std::uint8_t button);

// One wheel axis. Amounts come in 1/120 of a notch; X's core wheel knows only
// whole clicks, so what does not make a whole click is kept for the next
// amount in the same direction, and dropped when the direction turns.
// One amount gives at most kMaxClicks clicks; more is dropped.
class WheelAxis {
public:
    static constexpr int kNotch = 120;
    static constexpr int kMaxClicks = 100;
    // Signed clicks to send now (positive: the axis's positive direction).
    int add(std::int32_t amount);
    std::int32_t rest() const { return rest_; }

private:
    std::int32_t rest_ = 0;
};

// Keysyms of the keys typed for text (X11/keysymdef.h values).
inline constexpr std::uint32_t kKeysymReturn = 0xFF0D, kKeysymTab = 0xFF09;

// The keysym that types one character: the Latin-1 keysym for printable
// Latin-1 (U+0020-U+007E, U+00A0-U+00FF, whose keysyms equal the code
// point), otherwise the Unicode keysym 0x1000000 + code point.
std::uint32_t keysym_for(char32_t cp);

// The keysyms that type a text of UTF-16 units, in order: a surrogate pair is
// one character; a line break (LF, CR, or CR LF) is Return and a tab Tab;
// other control characters and unpaired surrogates are left out.
std::vector<std::uint32_t> text_keysyms(std::u16string_view units);

// Whether a keysym is typed with a key of its own in every keymap (Return,
// Tab) rather than one the platform binds for the text.
inline bool is_fixed_key(std::uint32_t keysym) { return keysym == kKeysymReturn || keysym == kKeysymTab; }

// Splits keysyms into consecutive runs, each needing at most `slots`
// different keysyms that need a slot (by default: every keysym but the fixed
// keys), so that each run can be typed with one binding of spare keycodes.
// Answers the end index of each run. With no slot, text needing any binding
// cannot be typed: nothing.
std::optional<std::vector<std::size_t>> binding_runs(
    std::span<const std::uint32_t> keysyms, std::size_t slots,
    const std::function<bool(std::uint32_t)>& needsSlot = [](std::uint32_t k) { return !is_fixed_key(k); });

// The character a keysym types back (Latin-1 and Unicode keysyms, Return as
// '\n', Tab as '\t'); nothing for others. Readers of typed text use it.
std::optional<char32_t> keysym_char(std::uint32_t keysym);

}  // namespace hp::platform::x11
