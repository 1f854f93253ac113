#pragma once
// Names people type for keys, shortcuts and media keys, turned into what the
// input command carries: USB HID keyboard usage ids (usage page 7), the
// modifier mask (1 Shift, 2 Ctrl, 4 Alt, 8 Win) and media key codes.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"

namespace hp::client {

inline constexpr std::uint8_t kShift = 1, kCtrl = 2, kAlt = 4, kWin = 8;

// Names are compared after dropping spaces, hyphens and underscores and
// lower-casing ASCII letters: "Page Up", "page_up" and "PAGEUP" are one key.
std::string fold_name(std::string_view name);

// The HID usage id of a key name: a-z, 0-9, f1-f12, enter, escape, ...,
// the left and right modifier keys and their usual aliases ("ctrl", "cmd").
std::optional<std::uint16_t> key_code(std::string_view name);

// The modifier bit a name stands for in a combination ("ctrl", "shift",
// "alt", "win" and their aliases); nothing for other names.
std::optional<std::uint8_t> modifier_bit(std::string_view name);

// "ctrl+shift+t": every part but the last is a modifier, the last is the
// key. A combination of modifiers alone presses the last one as a key.
struct Combo {
    std::uint8_t modifiers = 0;
    std::uint16_t key = 0;
};
Result<Combo> parse_combo(std::string_view text);

// Media key codes of the input command: 1 volume up ... 8 brightness down.
std::optional<std::uint8_t> media_code(std::string_view name);

// The names the client accepts, for help texts.
std::string_view media_names();

}  // namespace hp::client
