#include "input/text.h"

#include "base/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace hp {
namespace {

using input::TruncatedText;
using input::truncate_utf8;

struct Utf8Case {
    const char* name;
    std::string utf8;
    std::u16string units;
};

class Utf8ToUtf16 : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8ToUtf16, Converts) { EXPECT_EQ(utf8_to_utf16(GetParam().utf8), GetParam().units); }

INSTANTIATE_TEST_SUITE_P(
    Text, Utf8ToUtf16,
    ::testing::Values(
        Utf8Case{"empty", "", u""}, Utf8Case{"ascii", "Hi!", u"Hi!"},
        Utf8Case{"two_and_three_byte", "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC", u"Gr\u00FC\u00DFe \u20AC"},
        // One emoji outside the BMP becomes a surrogate pair.
        Utf8Case{"emoji", "\xF0\x9F\x8E\xAE", std::u16string{0xD83C, 0xDFAE}},
        Utf8Case{"highest_code_point", "\xF4\x8F\xBF\xBF", std::u16string{0xDBFF, 0xDFFF}},
        Utf8Case{"stray_continuation", "a\x80z", u"a\uFFFDz"},
        Utf8Case{"invalid_lead_bytes", "\xC0\xC1\xF5\xFF", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        // A truncated sequence is one replacement; the byte that broke it
        // starts afresh.
        Utf8Case{"truncated_then_ascii", "\xE2\x82z", u"\uFFFDz"},
        Utf8Case{"truncated_at_end", "ok\xF0\x9F\x8E", u"ok\uFFFD"},
        Utf8Case{"overlong_slash", "\xC0\xAF", u"\uFFFD\uFFFD"},
        Utf8Case{"overlong_three_byte", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
        Utf8Case{"encoded_surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        Utf8Case{"above_max", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        Utf8Case{"embedded_nul", std::string("a\0b", 3), std::u16string(u"a\0b", 3)}),
    [](const auto& info) { return std::string(info.param.name); });

struct Utf16Case {
    const char* name;
    std::u16string units;
    std::string utf8;
};

class Utf16ToUtf8 : public ::testing::TestWithParam<Utf16Case> {};

TEST_P(Utf16ToUtf8, Converts) { EXPECT_EQ(utf16_to_utf8(GetParam().units), GetParam().utf8); }

INSTANTIATE_TEST_SUITE_P(
    Text, Utf16ToUtf8,
    ::testing::Values(Utf16Case{"ascii", u"Hi!", "Hi!"},
                      Utf16Case{"bmp", u"Gr\u00FC\u00DFe \u20AC", "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC"},
                      Utf16Case{"pair", std::u16string{0xD83C, 0xDFAE}, "\xF0\x9F\x8E\xAE"},
                      Utf16Case{"lone_high_then_ascii", std::u16string{0xD83C, u'x'}, "\xEF\xBF\xBDx"},
                      Utf16Case{"lone_high_at_end", std::u16string{u'x', 0xD83C}, "x\xEF\xBF\xBD"},
                      Utf16Case{"lone_low", std::u16string{0xDFAE, u'x'}, "\xEF\xBF\xBDx"},
                      Utf16Case{"reversed_pair", std::u16string{0xDFAE, 0xD83C}, "\xEF\xBF\xBD\xEF\xBF\xBD"},
                      Utf16Case{"two_highs_then_low", std::u16string{0xD83C, 0xD83C, 0xDFAE},
                                "\xEF\xBF\xBD\xF0\x9F\x8E\xAE"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Text, RoundTripKeepsEveryScalarValueClass) {
    const std::string text = "A\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF";
    EXPECT_EQ(utf16_to_utf8(utf8_to_utf16(text)), text);
}

// ------------------------------------------------------------ truncate_utf8

struct CutCase {
    const char* name;
    std::string text;
    std::string expected;
    bool truncated;
};

std::string ascii(std::size_t n) { return std::string(n, 'a'); }

class TruncateUtf8 : public ::testing::TestWithParam<CutCase> {};

TEST_P(TruncateUtf8, CutsAtLastBoundaryWithinTheLimit) {
    const auto& c = GetParam();
    const TruncatedText got = truncate_utf8(c.text);
    EXPECT_EQ(got.truncated, c.truncated);
    EXPECT_EQ(got.text.size(), c.expected.size());
    EXPECT_EQ(got.text, c.expected);
}

// The 48000th byte (index 47999) falls inside or right after the character.
INSTANTIATE_TEST_SUITE_P(
    Text, TruncateUtf8,
    ::testing::Values(
        CutCase{"empty", "", "", false}, CutCase{"exactly_limit", ascii(48000), ascii(48000), false},
        CutCase{"one_over", ascii(48001), ascii(48000), true},
        CutCase{"two_byte_straddles", ascii(47999) + "\xC3\xBC", ascii(47999), true},
        CutCase{"three_byte_straddles_by_one", ascii(47999) + "\xE2\x82\xAC", ascii(47999), true},
        CutCase{"three_byte_straddles_by_two", ascii(47998) + "\xE2\x82\xAC", ascii(47998), true},
        CutCase{"four_byte_straddles_by_one", ascii(47999) + "\xF0\x9F\x8E\xAE", ascii(47999), true},
        CutCase{"four_byte_straddles_by_three", ascii(47997) + "\xF0\x9F\x8E\xAE", ascii(47997), true},
        CutCase{"four_byte_ends_at_limit", ascii(47996) + "\xF0\x9F\x8E\xAE" + "b",
                ascii(47996) + "\xF0\x9F\x8E\xAE", true},
        CutCase{"multibyte_exactly_limit", ascii(47996) + "\xF0\x9F\x8E\xAE", ascii(47996) + "\xF0\x9F\x8E\xAE",
                false},
        // Stray continuation bytes are characters of their own: nothing
        // well-formed is split, so the cut stays at the limit.
        CutCase{"stray_continuations", ascii(47990) + std::string(20, '\x80'),
                ascii(47990) + std::string(10, '\x80'), true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Text, TruncateHonoursASmallLimit) {
    EXPECT_EQ(truncate_utf8("\xC3\xBC\xC3\xBC", 3), (TruncatedText{"\xC3\xBC", true}));
    EXPECT_EQ(truncate_utf8("\xC3\xBC", 1), (TruncatedText{"", true}));
    EXPECT_EQ(truncate_utf8("abc", 0), (TruncatedText{"", true}));
}

}  // namespace
}  // namespace hp
