#include "input/keys.h"

#include <array>

#include "input/unicode_case.h"

namespace hp::input {
namespace {

constexpr std::array<KeyNameRow, 97> kNames{{
    {"a", 4, "A"}, {"b", 5, "B"}, {"c", 6, "C"}, {"d", 7, "D"}, {"e", 8, "E"}, {"f", 9, "F"},
    {"g", 10, "G"}, {"h", 11, "H"}, {"i", 12, "I"}, {"j", 13, "J"}, {"k", 14, "K"}, {"l", 15, "L"},
    {"m", 16, "M"}, {"n", 17, "N"}, {"o", 18, "O"}, {"p", 19, "P"}, {"q", 20, "Q"}, {"r", 21, "R"},
    {"s", 22, "S"}, {"t", 23, "T"}, {"u", 24, "U"}, {"v", 25, "V"}, {"w", 26, "W"}, {"x", 27, "X"},
    {"y", 28, "Y"}, {"z", 29, "Z"},
    {"1", 30, "1"}, {"2", 31, "2"}, {"3", 32, "3"}, {"4", 33, "4"}, {"5", 34, "5"},
    {"6", 35, "6"}, {"7", 36, "7"}, {"8", 37, "8"}, {"9", 38, "9"}, {"0", 39, "0"},
    {"enter", 40, "Enter"}, {"escape", 41, "Esc"}, {"backspace", 42, "Backspace"},
    {"tab", 43, "Tab"}, {"space", 44, "Space"}, {"minus", 45, "-"}, {"equal", 46, "="},
    {"leftBracket", 47, "["}, {"rightBracket", 48, "]"}, {"backslash", 49, "\\"},
    {"semicolon", 51, ";"}, {"quote", 52, "'"}, {"grave", 53, "`"}, {"comma", 54, ","},
    {"period", 55, "."}, {"slash", 56, "/"}, {"capsLock", 57, "Caps Lock"},
    {"f1", 58, "F1"}, {"f2", 59, "F2"}, {"f3", 60, "F3"}, {"f4", 61, "F4"}, {"f5", 62, "F5"},
    {"f6", 63, "F6"}, {"f7", 64, "F7"}, {"f8", 65, "F8"}, {"f9", 66, "F9"}, {"f10", 67, "F10"},
    {"f11", 68, "F11"}, {"f12", 69, "F12"},
    {"printScreen", 70, "Print Screen"}, {"insert", 73, "Insert"}, {"home", 74, "Home"},
    {"pageUp", 75, "Page Up"}, {"delete", 76, "Delete"}, {"end", 77, "End"},
    {"pageDown", 78, "Page Down"}, {"right", 79, "Right"}, {"left", 80, "Left"},
    {"down", 81, "Down"}, {"up", 82, "Up"},
    {"numpadDivide", 84, "Num /"}, {"numpadMultiply", 85, "Num *"}, {"numpadMinus", 86, "Num -"},
    {"numpadPlus", 87, "Num +"}, {"numpad1", 89, "Num 1"}, {"numpad2", 90, "Num 2"},
    {"numpad3", 91, "Num 3"}, {"numpad4", 92, "Num 4"}, {"numpad5", 93, "Num 5"},
    {"numpad6", 94, "Num 6"}, {"numpad7", 95, "Num 7"}, {"numpad8", 96, "Num 8"},
    {"numpad9", 97, "Num 9"}, {"numpad0", 98, "Num 0"},
    {"leftCtrl", 224, "Left Ctrl"}, {"leftShift", 225, "Left Shift"}, {"leftAlt", 226, "Left Alt"},
    {"leftWin", 227, "Win"}, {"rightCtrl", 228, "Right Ctrl"}, {"rightShift", 229, "Right Shift"},
    {"rightAlt", 230, "Right Alt"},
}};

constexpr KeyAlias kAliases[] = {
    {"esc", 41},
    {"return", 40},
    {"spacebar", 44},
    {"ctrl", 224}, {"lctrl", 224}, {"control", 224}, {"lcontrol", 224}, {"leftcontrol", 224},
    {"shift", 225}, {"lshift", 225},
    {"alt", 226}, {"lalt", 226}, {"option", 226}, {"leftoption", 226},
    {"win", 227}, {"cmd", 227}, {"meta", 227}, {"lwin", 227}, {"lcmd", 227}, {"lgui", 227},
    {"super", 227}, {"lsuper", 227}, {"command", 227}, {"leftmeta", 227}, {"leftcommand", 227},
    {"rctrl", 228}, {"rcontrol", 228}, {"rightcontrol", 228},
    {"rshift", 229},
    {"ralt", 230}, {"altgr", 230}, {"rightoption", 230},
    {"lbracket", 47}, {"openbracket", 47}, {"rbracket", 48}, {"closebracket", 48},
    {"arrowup", 82}, {"uparrow", 82}, {"arrowdown", 81}, {"downarrow", 81},
    {"arrowleft", 80}, {"leftarrow", 80}, {"arrowright", 79}, {"rightarrow", 79},
    {"del", 76}, {"forwarddelete", 76}, {"ins", 73},
    {"pgup", 75}, {"pgdn", 78}, {"pgdown", 78},
    {"dash", 45}, {"hyphen", 45}, {"equals", 46}, {"plus", 46},
    {"backtick", 53}, {"tilde", 53}, {"apostrophe", 52},
    {"dot", 55}, {"caps", 57},
};

struct RecordSlot {
    bool present = false;
    KeyRecord record{};
};

constexpr RecordSlot rec(std::uint16_t vk, std::uint16_t scan, bool extended = false) {
    return RecordSlot{true, KeyRecord{vk, scan, extended}};
}

// Scan codes of a-z in PC scan code set 1.
constexpr std::array<std::uint16_t, 26> kLetterScan{
    0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17, 0x24, 0x25, 0x26, 0x32,
    0x31, 0x18, 0x19, 0x10, 0x13, 0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};
constexpr std::array<std::uint16_t, 12> kFunctionScan{0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x40,
                                                      0x41, 0x42, 0x43, 0x44, 0x57, 0x58};
constexpr std::array<std::uint16_t, 9> kKeypadScan{0x4F, 0x50, 0x51, 0x4B, 0x4C,
                                                   0x4D, 0x47, 0x48, 0x49};

constexpr RecordSlot compute_record(unsigned code) {
    if (code >= 4 && code <= 29) return rec(std::uint16_t(code + 61), kLetterScan[code - 4]);
    if (code >= 30 && code <= 38) return rec(std::uint16_t(code + 19), std::uint16_t(code - 28));
    if (code == 39) return rec(0x30, 0x0B);
    if (code >= 58 && code <= 69)
        return rec(std::uint16_t(0x70 + (code - 58)), kFunctionScan[code - 58]);
    if (code >= 89 && code <= 97) return rec(std::uint16_t(code + 8), kKeypadScan[code - 89]);
    if (code == 98) return rec(0x60, 0x52);
    switch (code) {
        case 40: return rec(0x0D, 0x1C);
        case 41: return rec(0x1B, 0x01);
        case 42: return rec(0x08, 0x0E);
        case 43: return rec(0x09, 0x0F);
        case 44: return rec(0x20, 0x39);
        case 45: return rec(0xBD, 0x0C);
        case 46: return rec(0xBB, 0x0D);
        case 47: return rec(0xDB, 0x1A);
        case 48: return rec(0xDD, 0x1B);
        case 49: return rec(0xDC, 0x2B);
        case 51: return rec(0xBA, 0x27);
        case 52: return rec(0xDE, 0x28);
        case 53: return rec(0xC0, 0x29);
        case 54: return rec(0xBC, 0x33);
        case 55: return rec(0xBE, 0x34);
        case 56: return rec(0xBF, 0x35);
        case 57: return rec(0x14, 0x3A);
        case 70: return rec(0x2C, 0x37, true);
        case 73: return rec(0x2D, 0x52, true);
        case 74: return rec(0x24, 0x47, true);
        case 75: return rec(0x21, 0x49, true);
        case 76: return rec(0x2E, 0x53, true);
        case 77: return rec(0x23, 0x4F, true);
        case 78: return rec(0x22, 0x51, true);
        case 79: return rec(0x27, 0x4D, true);
        case 80: return rec(0x25, 0x4B, true);
        case 81: return rec(0x28, 0x50, true);
        case 82: return rec(0x26, 0x48, true);
        case 84: return rec(0x6F, 0x35, true);
        case 85: return rec(0x6A, 0x37);
        case 86: return rec(0x6D, 0x4A);
        case 87: return rec(0x6B, 0x4E);
        case 224: return rec(0xA2, 0x1D);
        case 225: return rec(0xA0, 0x2A);
        case 226: return rec(0xA4, 0x38);
        case 227: return rec(0x5B, 0x5B, true);
        case 228: return rec(0xA3, 0x1D, true);
        case 229: return rec(0xA1, 0x36);
        case 230: return rec(0xA5, 0x38, true);
        default: return {};
    }
}

// Every code with a record lies below 256.
constexpr auto kRecords = [] {
    std::array<RecordSlot, 256> table{};
    for (unsigned code = 0; code < table.size(); ++code) table[code] = compute_record(code);
    return table;
}();

// Reverse lookup by virtual key, filled from codes 4-82 then 224-227 so that
// the first matching code wins.
constexpr auto kByVk = [] {
    std::array<RecordSlot, 256> table{};
    auto consider = [&](unsigned code) {
        const RecordSlot& slot = kRecords[code];
        if (slot.present && slot.record.vk < 256 && !table[slot.record.vk].present)
            table[slot.record.vk] = slot;
    };
    for (unsigned code = 4; code <= 82; ++code) consider(code);
    for (unsigned code = 224; code <= 227; ++code) consider(code);
    return table;
}();

const KeyNameRow* find_row(KeyCode code) {
    for (const auto& row : kNames)
        if (row.code == code) return &row;
    return nullptr;
}

}  // namespace

std::span<const KeyNameRow> key_name_table() { return kNames; }
std::span<const KeyAlias> key_alias_table() { return kAliases; }

std::optional<KeyRecord> key_record(KeyCode code) {
    if (code >= kRecords.size() || !kRecords[code].present) return std::nullopt;
    return kRecords[code].record;
}

KeyRecord record_for_vk(std::uint16_t vk) {
    if (vk < kByVk.size() && kByVk[vk].present) return kByVk[vk].record;
    return KeyRecord{vk, 0, false};
}

std::optional<KeyCode> key_code_for_vk(std::uint16_t vk) {
    for (const auto& row : kNames) {
        const auto r = key_record(row.code);
        if (r && r->vk == vk) return row.code;
    }
    return std::nullopt;
}

namespace {

constexpr char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// The table names are ASCII letters and digits, so normalizeName(name) is
// name with its ASCII capitals lowered.
constexpr bool plain_ascii_names() {
    for (const auto& row : kNames)
        for (const char c : row.name)
            if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
                return false;
    return true;
}
static_assert(plain_ascii_names());

// Whether the normalised text equals normalizeName(name) for a table name.
bool equals_lowered_ascii(std::string_view normalised, std::string_view name) {
    if (normalised.size() != name.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i)
        if (normalised[i] != ascii_lower(name[i])) return false;
    return true;
}

}  // namespace

std::string normalizeName(std::string_view text) {
    // Decode once, trim by code point, then drop and lower-case.
    std::u32string points;
    points.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) points.push_back(unicode::next_code_point(text, pos));
    std::size_t begin = 0, end = points.size();
    while (begin < end && unicode::is_white_space(points[begin])) ++begin;
    while (end > begin && unicode::is_white_space(points[end - 1])) --end;

    std::string out;
    out.reserve(text.size());
    for (std::size_t i = begin; i < end; ++i) {
        const char32_t c = points[i];
        if (c == U' ' || c == U'-' || c == U'_') continue;
        unicode::append_lowercase(out, c);
    }
    return out;
}

std::optional<KeyCode> parseKeyName(std::string_view text) {
    const std::string n = normalizeName(text);
    for (const auto& row : kNames)
        if (equals_lowered_ascii(n, row.name)) return row.code;
    for (const auto& a : kAliases)
        if (a.alias == n) return a.code;
    return std::nullopt;
}

std::string_view keyName(KeyCode code) {
    const KeyNameRow* row = find_row(code);
    return row ? row->name : std::string_view{};
}

std::string_view keyLabel(KeyCode code) {
    const KeyNameRow* row = find_row(code);
    return row ? row->label : std::string_view{};
}

ModifierMask own_modifier(KeyCode code) {
    switch (code) {
        case 224: return 2;  // Ctrl
        case 225: return 1;  // Shift
        case 226: return 4;  // Alt
        case 227: return 8;  // Win
        default: return 0;
    }
}

}  // namespace hp::input
