#include "platform/x11/x11_translate.h"

#include <algorithm>
#include <limits>
#include <unordered_set>

namespace hp::platform::x11 {
namespace {

// The X keycode is the Linux input event code plus 8.
constexpr unsigned kEvdevOffset = 8;

struct ScanRow {
    std::uint16_t scan;
    unsigned evdev;
};

// Extended (E0) set-1 scan codes and the Linux key each one is.
constexpr ScanRow kExtended[] = {
    {0x10, 165},  // previous track
    {0x19, 163},  // next track
    {0x1C, 96},   // keypad Enter
    {0x1D, 97},   // right Ctrl
    {0x20, 113},  // mute
    {0x21, 140},  // calculator
    {0x22, 164},  // play/pause
    {0x24, 166},  // stop
    {0x2E, 114},  // volume down
    {0x30, 115},  // volume up
    {0x32, 172},  // browser home
    {0x35, 98},   // keypad /
    {0x37, 99},   // Print Screen
    {0x38, 100},  // right Alt (AltGr)
    {0x45, 69},   // Num Lock
    {0x47, 102},  // Home
    {0x48, 103},  // Up
    {0x49, 104},  // Page Up
    {0x4B, 105},  // Left
    {0x4D, 106},  // Right
    {0x4F, 107},  // End
    {0x50, 108},  // Down
    {0x51, 109},  // Page Down
    {0x52, 110},  // Insert
    {0x53, 111},  // Delete
    {0x5B, 125},  // left Win: Super
    {0x5C, 126},  // right Win: Super
    {0x5D, 127},  // Menu
    {0x65, 217},  // browser search
    {0x66, 156},  // browser favourites
    {0x67, 173},  // browser refresh
    {0x68, 128},  // browser stop
    {0x69, 159},  // browser forward
    {0x6A, 158},  // browser back
    {0x6C, 155},  // mail
};

struct VkRow {
    std::uint16_t vk;
    unsigned evdev;
};

// Keys that come with scan code 0, by virtual key.
constexpr VkRow kByVirtualKey[] = {
    {0xAD, 113},  // volume mute
    {0xAE, 114},  // volume down
    {0xAF, 115},  // volume up
    {0xB0, 163},  // next track
    {0xB1, 165},  // previous track
    {0xB2, 166},  // stop
    {0xB3, 164},  // play/pause
};

constexpr std::uint16_t kVkPause = 0x13;
constexpr unsigned kEvdevPause = 119;

}  // namespace

std::optional<unsigned> x_keycode(const KeyRecord& record) {
    if (record.scan == 0) {
        for (const VkRow& row : kByVirtualKey)
            if (row.vk == record.vk) return row.evdev + kEvdevOffset;
        return std::nullopt;
    }
    if (record.extended) {
        for (const ScanRow& row : kExtended)
            if (row.scan == record.scan) return row.evdev + kEvdevOffset;
        return std::nullopt;
    }
    // Pause shares its scan code with Num Lock, told apart by the extended
    // flag (on Num Lock) and the virtual key.
    if (record.vk == kVkPause && record.scan == 0x45) return kEvdevPause + kEvdevOffset;
    if (record.scan >= 0x01 && record.scan <= 0x58) return record.scan + kEvdevOffset;
    return std::nullopt;
}

std::optional<unsigned> x_button(std::uint8_t button) {
    switch (button) {
        case 1: return 1u;
        case 2: return 3u;
        case 3: return 2u;
        default: return std::nullopt;
    }
}

int WheelAxis::add(std::int32_t amount) {
    if (amount == 0) return 0;
    if ((amount > 0) != (rest_ > 0) && rest_ != 0) rest_ = 0;
    const std::int64_t total = std::int64_t{rest_} + amount;
    const std::int64_t clicks = total / kNotch;
    rest_ = static_cast<std::int32_t>(total - clicks * kNotch);
    return static_cast<int>(std::clamp<std::int64_t>(clicks, -kMaxClicks, kMaxClicks));
}

std::uint32_t keysym_for(char32_t cp) {
    if ((cp >= 0x20 && cp <= 0x7E) || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<std::uint32_t>(cp);
    return 0x1000000u + static_cast<std::uint32_t>(cp);
}

std::vector<std::uint32_t> text_keysyms(std::u16string_view units) {
    std::vector<std::uint32_t> out;
    out.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        char32_t cp = u;
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 >= units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF) continue;
            cp = 0x10000 + ((char32_t{u} - 0xD800) << 10) + (char32_t{units[i + 1]} - 0xDC00);
            ++i;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            continue;
        }
        if (cp == U'\r') {
            if (i + 1 < units.size() && units[i + 1] == u'\n') ++i;
            out.push_back(kKeysymReturn);
        } else if (cp == U'\n') {
            out.push_back(kKeysymReturn);
        } else if (cp == U'\t') {
            out.push_back(kKeysymTab);
        } else if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0)) {
            continue;
        } else {
            out.push_back(keysym_for(cp));
        }
    }
    return out;
}

std::optional<std::vector<std::size_t>> binding_runs(std::span<const std::uint32_t> keysyms, std::size_t slots,
                                                     const std::function<bool(std::uint32_t)>& needsSlot) {
    std::vector<std::size_t> ends;
    std::unordered_set<std::uint32_t> run;
    for (std::size_t i = 0; i < keysyms.size(); ++i) {
        if (run.contains(keysyms[i]) || !needsSlot(keysyms[i])) continue;
        if (slots == 0) return std::nullopt;
        if (run.size() == slots) {
            ends.push_back(i);
            run.clear();
        }
        run.insert(keysyms[i]);
    }
    if (!keysyms.empty()) ends.push_back(keysyms.size());
    return ends;
}

std::optional<char32_t> keysym_char(std::uint32_t keysym) {
    if (keysym == kKeysymReturn) return U'\n';
    if (keysym == kKeysymTab) return U'\t';
    if ((keysym >= 0x20 && keysym <= 0x7E) || (keysym >= 0xA0 && keysym <= 0xFF)) return char32_t{keysym};
    if (keysym >= 0x1000100 && keysym <= 0x110FFFF) return char32_t{keysym - 0x1000000};
    return std::nullopt;
}

}  // namespace hp::platform::x11
