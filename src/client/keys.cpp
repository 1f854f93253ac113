#include "client/keys.h"

#include <array>
#include <utility>

namespace hp::client {

namespace {

struct Named {
    std::string_view name;  // folded
    std::uint16_t code;
};

// Everything but letters, digits and function keys, which follow a rule.
constexpr Named kKeys[] = {
    {"enter", 40}, {"return", 40}, {"escape", 41}, {"esc", 41}, {"backspace", 42}, {"tab", 43},
    {"space", 44}, {"spacebar", 44}, {"minus", 45}, {"dash", 45}, {"hyphen", 45},
    {"equal", 46}, {"equals", 46}, {"plus", 46},
    {"leftbracket", 47}, {"lbracket", 47}, {"openbracket", 47},
    {"rightbracket", 48}, {"rbracket", 48}, {"closebracket", 48},
    {"backslash", 49}, {"semicolon", 51}, {"quote", 52}, {"apostrophe", 52},
    {"grave", 53}, {"backtick", 53}, {"tilde", 53}, {"comma", 54}, {"period", 55}, {"dot", 55},
    {"slash", 56}, {"capslock", 57}, {"caps", 57}, {"printscreen", 70}, {"insert", 73},
    {"ins", 73}, {"home", 74}, {"pageup", 75}, {"pgup", 75}, {"delete", 76}, {"del", 76},
    {"forwarddelete", 76}, {"end", 77}, {"pagedown", 78}, {"pgdn", 78}, {"pgdown", 78},
    {"right", 79}, {"arrowright", 79}, {"rightarrow", 79},
    {"left", 80}, {"arrowleft", 80}, {"leftarrow", 80},
    {"down", 81}, {"arrowdown", 81}, {"downarrow", 81},
    {"up", 82}, {"arrowup", 82}, {"uparrow", 82},
    {"numpaddivide", 84}, {"numpadmultiply", 85}, {"numpadminus", 86}, {"numpadplus", 87},
    {"numpad1", 89}, {"numpad2", 90}, {"numpad3", 91}, {"numpad4", 92}, {"numpad5", 93},
    {"numpad6", 94}, {"numpad7", 95}, {"numpad8", 96}, {"numpad9", 97}, {"numpad0", 98},
    {"leftctrl", 224}, {"ctrl", 224}, {"lctrl", 224}, {"control", 224}, {"lcontrol", 224},
    {"leftcontrol", 224},
    {"leftshift", 225}, {"shift", 225}, {"lshift", 225},
    {"leftalt", 226}, {"alt", 226}, {"lalt", 226}, {"option", 226}, {"leftoption", 226},
    {"leftwin", 227}, {"win", 227}, {"cmd", 227}, {"meta", 227}, {"lwin", 227}, {"lcmd", 227},
    {"lgui", 227}, {"super", 227}, {"lsuper", 227}, {"command", 227}, {"leftmeta", 227},
    {"leftcommand", 227},
    {"rightctrl", 228}, {"rctrl", 228}, {"rcontrol", 228}, {"rightcontrol", 228},
    {"rightshift", 229}, {"rshift", 229},
    {"rightalt", 230}, {"ralt", 230}, {"altgr", 230}, {"rightoption", 230},
};

constexpr std::pair<std::string_view, std::uint8_t> kMedia[] = {
    {"volumeup", 1}, {"volup", 1}, {"volumedown", 2}, {"voldown", 2}, {"mute", 3},
    {"playpause", 4}, {"play", 4}, {"pause", 4}, {"next", 5}, {"nexttrack", 5},
    {"previous", 6}, {"prev", 6}, {"previoustrack", 6}, {"brightnessup", 7},
    {"brightnessdown", 8},
};

}  // namespace

std::string fold_name(std::string_view name) {
    std::string out;
    for (const char c : name) {
        if (c == ' ' || c == '-' || c == '_' || c == '\t') continue;
        out.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    }
    return out;
}

std::optional<std::uint16_t> key_code(std::string_view name) {
    const std::string n = fold_name(name);
    if (n.size() == 1 && n[0] >= 'a' && n[0] <= 'z') return static_cast<std::uint16_t>(4 + (n[0] - 'a'));
    if (n.size() == 1 && n[0] >= '1' && n[0] <= '9') return static_cast<std::uint16_t>(30 + (n[0] - '1'));
    if (n == "0") return 39;
    if (n.size() >= 2 && n.size() <= 3 && n[0] == 'f') {
        int number = 0;
        for (std::size_t i = 1; i < n.size(); ++i) {
            if (n[i] < '0' || n[i] > '9') return std::nullopt;
            number = number * 10 + (n[i] - '0');
        }
        if (number >= 1 && number <= 12 && n[1] != '0') return static_cast<std::uint16_t>(57 + number);
        return std::nullopt;
    }
    for (const auto& k : kKeys)
        if (k.name == n) return k.code;
    return std::nullopt;
}

std::optional<std::uint8_t> modifier_bit(std::string_view name) {
    switch (key_code(name).value_or(0)) {
        case 224: case 228: return kCtrl;
        case 225: case 229: return kShift;
        case 226: case 230: return kAlt;
        case 227: return kWin;
        default: return std::nullopt;
    }
}

Result<Combo> parse_combo(std::string_view text) {
    Combo combo;
    std::size_t start = 0;
    for (;;) {
        const auto plus = text.find('+', start);
        const bool last = plus == std::string_view::npos;
        const std::string_view part = text.substr(start, last ? std::string_view::npos : plus - start);
        if (fold_name(part).empty()) return fail("\"" + std::string(text) + "\" has an empty part");
        if (last) {
            const auto code = key_code(part);
            if (!code) return fail("unknown key \"" + std::string(part) + "\"");
            combo.key = *code;
            return combo;
        }
        const auto bit = modifier_bit(part);
        if (!bit) return fail("\"" + std::string(part) + "\" is not a modifier (ctrl, shift, alt, win)");
        combo.modifiers |= *bit;
        start = plus + 1;
    }
}

std::optional<std::uint8_t> media_code(std::string_view name) {
    const std::string n = fold_name(name);
    for (const auto& [media, code] : kMedia)
        if (media == n) return code;
    return std::nullopt;
}

std::string_view media_names() {
    return "volume-up, volume-down, mute, play-pause, next, previous, brightness-up, brightness-down";
}

}  // namespace hp::client
