#pragma once
// The rules of the mapping window's keyboard hook, without the hook: which
// keyboard events it swallows, which it passes on, and which key it hands
// to the window. Left and right Ctrl, Shift and Alt and Left Win are
// modifiers: held, they qualify the next key; pressed and released alone,
// they are bound themselves. Injected events (sent by programs) are never
// captured, and keys without a key code (Right Win among them) pass.
#include <cstdint>
#include <optional>

#include "pad_mapping/mapping.h"

namespace hp::pad_mapping_ui {

using pad_mapping::BindingMods;
using pad_mapping::KeyCode;

// The window message the hook posts: wParam the key code, lParam the
// modifiers (BindingMods).
inline constexpr unsigned WM_KEY_CAPTURED = 0x8000 + 40;  // WM_APP + 40

// What the hook keeps between events.
struct CaptureHookState {
    BindingMods held = 0;     // modifiers down now
    KeyCode lastModifier = 0; // the last modifier pressed, until another key goes down
    friend bool operator==(const CaptureHookState&, const CaptureHookState&) = default;
};

enum class KeyMessage : std::uint8_t { KeyDown, SysKeyDown, KeyUp, SysKeyUp, Other };

struct CapturedKey {
    KeyCode key = 0;
    BindingMods mods = 0;
    friend bool operator==(const CapturedKey&, const CapturedKey&) = default;
};

struct HookDecision {
    bool swallow = false;               // false: CallNextHookEx
    std::optional<CapturedKey> capture; // post WM_KEY_CAPTURED with it
    friend bool operator==(const HookDecision&, const HookDecision&) = default;
};

// The modifier bit of a key code (224/228 Ctrl, 225/229 Shift, 226/230 Alt,
// 227 Win); 0 for every other key.
BindingMods modifier_bit(KeyCode key);

// One low-level keyboard event of virtual key `vk`.
HookDecision on_key_event(CaptureHookState& state, std::uint16_t vk, KeyMessage message, bool injected);

}  // namespace hp::pad_mapping_ui
