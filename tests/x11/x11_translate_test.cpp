// What the X11 platform sends, worked out without a display: keycodes from
// the protocol's key records (checked against the keycodes of the evdev
// keymap that X servers use), wheel clicks, and the keysyms of typed text.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "input/keys.h"
#include "platform/x11/x11_translate.h"

namespace hp::platform::x11 {
namespace {

struct KeyCase {
    const char* what;
    KeyRecord record;
    std::optional<unsigned> keycode;
};

// Keycodes as `xkbcomp :0 -` lists them for an evdev keymap.
const KeyCase kKeys[] = {
    {"Escape", {0x1B, 0x01, false}, 9},
    {"a", {'A', 0x1E, false}, 38},
    {"z", {'Z', 0x2C, false}, 52},
    {"1", {'1', 0x02, false}, 10},
    {"Enter", {0x0D, 0x1C, false}, 36},
    {"Tab", {0x09, 0x0F, false}, 23},
    {"Space", {0x20, 0x39, false}, 65},
    {"left Ctrl", {0xA2, 0x1D, false}, 37},
    {"left Shift", {0xA0, 0x2A, false}, 50},
    {"right Shift", {0xA1, 0x36, false}, 62},
    {"left Alt", {0xA4, 0x38, false}, 64},
    {"F1", {0x70, 0x3B, false}, 67},
    {"F11", {0x7A, 0x57, false}, 95},
    {"F12", {0x7B, 0x58, false}, 96},
    {"keypad *", {0x6A, 0x37, false}, 63},
    {"keypad 7", {0x67, 0x47, false}, 79},
    {"keypad 0", {0x60, 0x52, false}, 90},
    {"right Ctrl", {0xA3, 0x1D, true}, 105},
    {"right Alt", {0xA5, 0x38, true}, 108},
    {"keypad Enter", {0x0D, 0x1C, true}, 104},
    {"keypad /", {0x6F, 0x35, true}, 106},
    {"Print Screen", {0x2C, 0x37, true}, 107},
    {"Home", {0x24, 0x47, true}, 110},
    {"Up", {0x26, 0x48, true}, 111},
    {"Page Up", {0x21, 0x49, true}, 112},
    {"Left", {0x25, 0x4B, true}, 113},
    {"Right", {0x27, 0x4D, true}, 114},
    {"End", {0x23, 0x4F, true}, 115},
    {"Down", {0x28, 0x50, true}, 116},
    {"Page Down", {0x22, 0x51, true}, 117},
    {"Insert", {0x2D, 0x52, true}, 118},
    {"Delete", {0x2E, 0x53, true}, 119},
    {"left Win", {0x5B, 0x5B, true}, 133},
    {"right Win", {0x5C, 0x5C, true}, 134},
    {"Menu", {0x5D, 0x5D, true}, 135},
    {"Num Lock", {0x90, 0x45, true}, 77},
    {"Pause", {0x13, 0x45, false}, 127},
    {"volume up", {0xAF, 0, false}, 123},
    {"volume down", {0xAE, 0, false}, 122},
    {"mute", {0xAD, 0, false}, 121},
    {"play/pause", {0xB3, 0, false}, 172},
    {"next track", {0xB0, 0, false}, 171},
    {"previous track", {0xB1, 0, false}, 173},
    {"volume up, E0 scan", {0xAF, 0x30, true}, 123},
    // No X key.
    {"unknown virtual key, scan 0", {0x41, 0, false}, std::nullopt},
    {"scan past 0x58", {0, 0x59, false}, std::nullopt},
    {"scan 0x7F", {0, 0x7F, false}, std::nullopt},
    {"extended scan without a key", {0, 0x01, true}, std::nullopt},
};

TEST(X11Keys, KeyRecordsBecomeEvdevKeycodes) {
    for (const KeyCase& c : kKeys) EXPECT_EQ(x_keycode(c.record), c.keycode) << c.what;
}

// Every key a client can name reaches an X key, and no two the same one.
TEST(X11Keys, EveryNamedKeyHasItsOwnKeycode) {
    std::map<unsigned, std::string_view> seen;
    for (const input::KeyNameRow& row : input::key_name_table()) {
        const auto record = input::key_record(row.code);
        ASSERT_TRUE(record) << row.name;
        const auto code = x_keycode(*record);
        ASSERT_TRUE(code) << row.name;
        const auto [it, fresh] = seen.emplace(*code, row.name);
        EXPECT_TRUE(fresh) << row.name << " and " << it->second << " share keycode " << *code;
    }
    // And the media keys the host taps by virtual key.
    for (const std::uint16_t vk : {0xAF, 0xAE, 0xAD, 0xB3, 0xB0, 0xB1})
        EXPECT_TRUE(x_keycode(input::record_for_vk(vk))) << "virtual key " << vk;
}

TEST(X11Buttons, HostButtonsToXButtons) {
    EXPECT_EQ(x_button(1), 1u);
    EXPECT_EQ(x_button(2), 3u);
    EXPECT_EQ(x_button(3), 2u);
    EXPECT_EQ(x_button(0), std::nullopt);
    EXPECT_EQ(x_button(4), std::nullopt);
}

struct WheelCase {
    const char* what;
    std::vector<std::int32_t> amounts;
    std::vector<int> clicks;
    std::int32_t rest;
};

const WheelCase kWheel[] = {
    {"a notch is a click", {120}, {1}, 0},
    {"two notches down", {-240}, {-2}, 0},
    {"parts add up", {40, 40, 40, 40}, {0, 0, 1, 0}, 40},
    {"the rest is carried", {130, 110}, {1, 1}, 0},
    {"a turn drops the rest", {100, -100, -20}, {0, 0, -1}, 0},
    {"a turn keeps the new amount", {90, -150}, {0, -1}, -30},
    {"zero changes nothing", {70, 0, 50}, {0, 0, 1}, 0},
    {"huge amounts are bounded", {2147483647}, {WheelAxis::kMaxClicks}, 2147483647 % 120},
    {"huge negative amounts too", {-2147483647 - 1}, {-WheelAxis::kMaxClicks}, -(2147483648LL % 120)},
};

TEST(X11Wheel, ClicksAndRest) {
    for (const WheelCase& c : kWheel) {
        WheelAxis axis;
        std::vector<int> clicks;
        for (const auto a : c.amounts) clicks.push_back(axis.add(a));
        EXPECT_EQ(clicks, c.clicks) << c.what;
        EXPECT_EQ(axis.rest(), c.rest) << c.what;
    }
}

struct TextCase {
    const char* what;
    std::u16string text;
    std::vector<std::uint32_t> keysyms;
};

const TextCase kTexts[] = {
    {"ASCII and Latin-1 keep their keysyms", u"Aü ÿ~", {0x41, 0xFC, 0x20, 0xFF, 0x7E}},
    {"other characters use Unicode keysyms", u"ß€日", {0xDF, 0x10020AC, 0x10065E5}},
    {"a surrogate pair is one character", u"🎮x", {0x101F3AE, 0x78}},
    {"line breaks and tabs", u"a\r\nb\nc\rd\te", {0x61, kKeysymReturn, 0x62, kKeysymReturn, 0x63, kKeysymReturn, 0x64,
                                                  kKeysymTab, 0x65}},
    {"controls and unpaired surrogates are left out",
     std::u16string{u'a', 0x01, 0x7F, 0x85, 0xD800, u'b', 0xDC00, 0xD83C}, {0x61, 0x62}},
    {"no-break space is Latin-1", u"\u00A0", {0xA0}},
};

TEST(X11Text, KeysymsOfText) {
    for (const TextCase& c : kTexts) EXPECT_EQ(text_keysyms(c.text), c.keysyms) << c.what;
}

TEST(X11Text, KeysymsReadBackAsCharacters) {
    const std::u16string text = u"Grüße 日本語 🎮\n\t~";
    std::u32string back;
    for (const auto ks : text_keysyms(text)) back.push_back(keysym_char(ks).value_or(U'?'));
    EXPECT_EQ(back, U"Grüße 日本語 🎮\n\t~");
    EXPECT_EQ(keysym_char(0xFF51), std::nullopt);  // Left arrow types nothing
}

struct RunCase {
    const char* what;
    std::vector<std::uint32_t> keysyms;
    std::size_t slots;
    std::optional<std::vector<std::size_t>> ends;
};

const RunCase kRuns[] = {
    {"nothing to type", {}, 0, std::vector<std::size_t>{}},
    {"fits", {1, 2, 1, 3}, 3, std::vector<std::size_t>{4}},
    {"repeats need no slot", {1, 1, 1, 1}, 1, std::vector<std::size_t>{4}},
    {"split where a new keysym does not fit", {1, 2, 1, 3, 2, 4}, 2, std::vector<std::size_t>{3, 5, 6}},
    {"fixed keys need no slot", {kKeysymReturn, 1, kKeysymTab, 2}, 1, std::vector<std::size_t>{3, 4}},
    {"only fixed keys without slots", {kKeysymReturn, kKeysymTab}, 0, std::vector<std::size_t>{2}},
    {"no slot at all", {kKeysymReturn, 1}, 0, std::nullopt},
};

TEST(X11Text, BindingRuns) {
    for (const RunCase& c : kRuns) EXPECT_EQ(binding_runs(c.keysyms, c.slots), c.ends) << c.what;
    // Keysyms the keymap already has need no slot either.
    const std::vector<std::uint32_t> text = {'a', 0xC0, 'b', 0xC9, 'a', 0xCE};
    const auto inKeymap = [](std::uint32_t k) { return k == 'a' || k == 'b'; };
    EXPECT_EQ(binding_runs(text, 2, [&](std::uint32_t k) { return !inKeymap(k); }),
              (std::vector<std::size_t>{5, 6}));
}

}  // namespace
}  // namespace hp::platform::x11
