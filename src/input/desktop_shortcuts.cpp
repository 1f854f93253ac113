#include "input/desktop_shortcuts.h"

#include <algorithm>
#include <cctype>

#include "input/held_input.h"

namespace hp::input {
namespace {

constexpr std::uint16_t kVkTab = 0x09, kVkLeft = 0x25, kVkRight = 0x27;

bool same_name(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

std::optional<ShortcutKeys> desktop_shortcut_keys(DesktopStyle style, std::uint8_t code) {
    if (code < 1 || code > 4) return std::nullopt;
    const std::size_t i = code - 1u;
    switch (style) {
        case DesktopStyle::Gnome: {
            static constexpr ShortcutKeys keys[] = {
                {kWin, 'S'}, {kWin, 'D'}, {kCtrl | kAlt, kVkRight}, {kCtrl | kAlt, kVkLeft}};
            return keys[i];
        }
        case DesktopStyle::Kde: {
            static constexpr ShortcutKeys keys[] = {
                {kWin, 'W'}, {kWin, 'D'}, {kCtrl | kWin, kVkRight}, {kCtrl | kWin, kVkLeft}};
            return keys[i];
        }
        case DesktopStyle::Windows:
        case DesktopStyle::Other: break;
    }
    static constexpr ShortcutKeys keys[] = {
        {kWin, kVkTab}, {kWin, 'D'}, {kCtrl | kWin, kVkRight}, {kCtrl | kWin, kVkLeft}};
    return keys[i];
}

DesktopStyle desktop_style_from_xdg(std::string_view value) {
    while (!value.empty()) {
        const std::size_t colon = value.find(':');
        std::string_view entry = value.substr(0, colon);
        while (!entry.empty() && entry.front() == ' ') entry.remove_prefix(1);
        while (!entry.empty() && entry.back() == ' ') entry.remove_suffix(1);
        if (same_name(entry, "GNOME")) return DesktopStyle::Gnome;
        if (same_name(entry, "KDE")) return DesktopStyle::Kde;
        if (colon == std::string_view::npos) break;
        value.remove_prefix(colon + 1);
    }
    return DesktopStyle::Other;
}

}  // namespace hp::input
