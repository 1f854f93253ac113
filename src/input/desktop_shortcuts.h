#pragma once
// The keys behind the desktop-shortcut commands (task view or overview, show
// the desktop, next and previous virtual desktop) on each kind of desktop,
// and which kind a Linux session is.
#include <cstdint>
#include <optional>
#include <string_view>

#include "host/input_state.h"

namespace hp::input {

using host::DesktopStyle;

struct ShortcutKeys {
    host::ModifierMask modifiers = 0;  // left-hand keys: 1 Shift, 2 Ctrl, 4 Alt, 8 Win (Super, Meta)
    std::uint16_t vk = 0;              // the key tapped while they are held
    friend bool operator==(const ShortcutKeys&, const ShortcutKeys&) = default;
};

// Code 1 overview, 2 show the desktop, 3 next desktop (right), 4 previous
// desktop (left); nothing for other codes.
//   Windows (and Other): Win+Tab, Win+D, Ctrl+Win+Right, Ctrl+Win+Left
//   GNOME:  Super+S (overview), Super+D (hide all windows where it is bound),
//           Ctrl+Alt+Right, Ctrl+Alt+Left (workspaces)
//   KDE:    Meta+W (overview), Meta+D (peek at desktop), Meta+Ctrl+Right,
//           Meta+Ctrl+Left
std::optional<ShortcutKeys> desktop_shortcut_keys(DesktopStyle style, std::uint8_t code);

// The style for a value of XDG_CURRENT_DESKTOP: a colon-separated list whose
// first entry naming GNOME or KDE (any case) decides; Other otherwise (also
// for an empty value).
DesktopStyle desktop_style_from_xdg(std::string_view xdgCurrentDesktop);

}  // namespace hp::input
