#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "input/keys.h"
#include "input/unicode_case.h"

namespace hp::input {
namespace {

TEST(KeyNames, ParseKeyName) {
    struct Case {
        const char* text;
        std::optional<KeyCode> code;
    };
    const Case cases[] = {
        {"  Left_Bracket ", 47},
        {"LBRACKET", 47},
        {"F13", std::nullopt},
        {"f12", 69},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"esc", 41},
        {"Return", 40},
        {"\tENTER\n", 40},
        {"Alt Gr", 230},
        {"left-control", 224},
        {"Command", 227},
        {"PgDn", 78},
        {"numpad_0", 98},
        {"Print Screen", 70},
        {"caps", 57},
        {"tilde", 53},
        {"plus", 46},  // the equal key, not the keypad plus
        {"numpad plus", 87},
        {"0", 39},
        {"\u00A0up\u3000", 82},        // Unicode blanks are trimmed
        {"bac\u212Aspace", 42},        // Kelvin sign lower-cases to k
        {"\u0130nsert", std::nullopt}, // dotted capital I keeps its dot
        {"\uFF25SC", std::nullopt},    // fullwidth E stays fullwidth
        {"right alt", 230},
        {"rightWin", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(parseKeyName(c.text), c.code) << '"' << c.text << '"';
}

TEST(KeyNames, EveryRowReadsBackAndHasARecord) {
    for (const auto& row : key_name_table()) {
        EXPECT_EQ(parseKeyName(row.name), row.code) << row.name;
        EXPECT_EQ(keyName(row.code), row.name);
        EXPECT_EQ(keyLabel(row.code), row.label);
        EXPECT_TRUE(key_record(row.code).has_value()) << row.name;
    }
    for (const auto& a : key_alias_table()) EXPECT_EQ(parseKeyName(a.alias), a.code) << a.alias;
}

TEST(KeyNames, LabelsAndNames) {
    struct Case {
        KeyCode code;
        const char* name;
        const char* label;
    };
    const Case cases[] = {
        {4, "a", "A"},          {39, "0", "0"},           {41, "escape", "Esc"},
        {47, "leftBracket", "["}, {49, "backslash", "\\"}, {53, "grave", "`"},
        {57, "capsLock", "Caps Lock"}, {69, "f12", "F12"}, {70, "printScreen", "Print Screen"},
        {84, "numpadDivide", "Num /"}, {98, "numpad0", "Num 0"}, {227, "leftWin", "Win"},
        {230, "rightAlt", "Right Alt"}, {50, "", ""}, {0, "", ""}, {231, "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(keyName(c.code), c.name) << c.code;
        EXPECT_EQ(keyLabel(c.code), c.label) << c.code;
    }
}

TEST(KeyRecords, ConversionRules) {
    struct Case {
        KeyCode code;
        std::optional<KeyRecord> record;
    };
    const Case cases[] = {
        {4, KeyRecord{0x41, 0x1E, false}},  {29, KeyRecord{0x5A, 0x2C, false}},
        {16, KeyRecord{0x4D, 0x32, false}}, {30, KeyRecord{0x31, 0x02, false}},
        {38, KeyRecord{0x39, 0x0A, false}}, {39, KeyRecord{0x30, 0x0B, false}},
        {40, KeyRecord{0x0D, 0x1C, false}}, {58, KeyRecord{0x70, 0x3B, false}},
        {67, KeyRecord{0x79, 0x44, false}}, {68, KeyRecord{0x7A, 0x57, false}},
        {69, KeyRecord{0x7B, 0x58, false}}, {70, KeyRecord{0x2C, 0x37, true}},
        {76, KeyRecord{0x2E, 0x53, true}},  {84, KeyRecord{0x6F, 0x35, true}},
        {85, KeyRecord{0x6A, 0x37, false}}, {89, KeyRecord{0x61, 0x4F, false}},
        {95, KeyRecord{0x67, 0x47, false}}, {97, KeyRecord{0x69, 0x49, false}},
        {98, KeyRecord{0x60, 0x52, false}}, {224, KeyRecord{0xA2, 0x1D, false}},
        {227, KeyRecord{0x5B, 0x5B, true}}, {228, KeyRecord{0xA3, 0x1D, true}},
        {229, KeyRecord{0xA1, 0x36, false}}, {230, KeyRecord{0xA5, 0x38, true}},
        {0, std::nullopt},  {3, std::nullopt},   {50, std::nullopt}, {71, std::nullopt},
        {72, std::nullopt}, {83, std::nullopt},  {88, std::nullopt}, {99, std::nullopt},
        {231, std::nullopt}, {0x1E0, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(key_record(c.code), c.record) << c.code;
}

TEST(KeyRecords, ReverseLookupByVirtualKey) {
    struct Case {
        std::uint16_t vk;
        KeyRecord record;
    };
    const Case cases[] = {
        {0xA2, {0xA2, 0x1D, false}}, {0x5B, {0x5B, 0x5B, true}}, {0x27, {0x27, 0x4D, true}},
        {0x44, {0x44, 0x20, false}}, {0x0D, {0x0D, 0x1C, false}}, {0xAF, {0xAF, 0, false}},
        // Only codes 4-82 and 224-227 are searched.
        {0xA3, {0xA3, 0, false}}, {0x6A, {0x6A, 0, false}}, {0x1234, {0x1234, 0, false}},
    };
    for (const auto& c : cases) EXPECT_EQ(record_for_vk(c.vk), c.record) << c.vk;

    EXPECT_EQ(key_code_for_vk(0xA3), KeyCode{228});
    EXPECT_EQ(key_code_for_vk(0x6A), KeyCode{85});
    EXPECT_EQ(key_code_for_vk(0x0D), KeyCode{40});
    EXPECT_EQ(key_code_for_vk(0xAF), std::nullopt);
}

TEST(KeyRecords, OwnModifierOnlyForLeftHandModifiers) {
    EXPECT_EQ(own_modifier(224), 2);
    EXPECT_EQ(own_modifier(225), 1);
    EXPECT_EQ(own_modifier(226), 4);
    EXPECT_EQ(own_modifier(227), 8);
    EXPECT_EQ(own_modifier(228), 0);
    EXPECT_EQ(own_modifier(4), 0);
}

TEST(NormalizeName, TrimsDropsAndLowerCases) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"  Left_Bracket ", "leftbracket"},
        {"a\tb", "a\tb"},  // only blanks at the ends are trimmed
        {"\u00A0 x \u3000", "x"},
        {"\u00C4\u00D6\u00DC-\u00DF", "\u00E4\u00F6\u00FC\u00DF"},
        {"\u0178 \u0176 \u01C4 \u01C5", "\u00FF\u0177\u01C6\u01C6"},
        {"\u1E9E\u1E80", "\u00DF\u1E81"},
        {"\u0391\u0392\u0393 \u03A3\u0386", "\u03B1\u03B2\u03B3\u03C3\u03AC"},
        {"\u041F\u0420\u0418\u0412\u0415\u0422_\u041C\u0438\u0440\u0401",
         "\u043F\u0440\u0438\u0432\u0435\u0442\u043C\u0438\u0440\u0451"},
        {"\u0531\u10A0", "\u0561\u2D00"},
        {"\u0130", "i\u0307"},
        {"\u212A\u2126\uFF21\u24B6\u2160", "k\u03C9\uFF41\u24D0\u2170"},
        {"\xFF" "A\xC3", "\xFF" "a\xC3"},  // invalid bytes kept as they are
        {"\xC0\x80X", "\xC0\x80x"},         // overlong form is not decoded
        {"\xF0\x90\x90\x80", "\xF0\x90\x90\xA8"},  // Deseret capital long I
        {"\xED\xA0\x80", "\xED\xA0\x80"},  // encoded surrogate kept
    };
    for (const auto& c : cases) EXPECT_EQ(normalizeName(c.in), c.out) << c.in;
}

TEST(NormalizeName, LowerCaseLettersAndOtherScriptsStayAsTheyAre) {
    // Every code point that is already lower case, or caseless, maps to itself.
    const char32_t unchanged[] = {U'a', U'0', U'\u00DF', U'\u00F7', U'\u00D7', U'\u0131',
                                  U'\u0138', U'\u0149', U'\u017F', U'\u03C2', U'\u4E2D',
                                  U'\U0001F600'};
    for (const char32_t c : unchanged) EXPECT_EQ(unicode::simple_lowercase(c), c) << +c;
}

}  // namespace
}  // namespace hp::input
