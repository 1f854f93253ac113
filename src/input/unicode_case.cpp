#include "input/unicode_case.h"

#include "base/utf8.h"

#include <algorithm>
#include <cstdint>

namespace hp::input::unicode {
namespace {

// How a range of capitals maps to lower case.
enum class Rule : std::uint8_t {
    Offset,  // every code point in the range + delta
    Even,    // even code points + 1, odd ones are already lower case
    Odd,     // odd code points + 1, even ones are already lower case
};

struct Range {
    char32_t first, last;
    Rule rule;
    std::int32_t delta;
};

constexpr Range kRanges[] = {
    {0x0041, 0x005A, Rule::Offset, 32},   // A-Z
    {0x00C0, 0x00D6, Rule::Offset, 32},   // À-Ö
    {0x00D8, 0x00DE, Rule::Offset, 32},   // Ø-Þ
    {0x0100, 0x012F, Rule::Even, 0},      // Ā-Į
    {0x0132, 0x0137, Rule::Even, 0},      // Ĳ-Ķ
    {0x0139, 0x0148, Rule::Odd, 0},       // Ĺ-Ň
    {0x014A, 0x0177, Rule::Even, 0},      // Ŋ-Ŷ
    {0x0179, 0x017E, Rule::Odd, 0},       // Ź-Ž
    {0x01CD, 0x01DC, Rule::Odd, 0},       // Ǎ-Ǜ
    {0x01DE, 0x01EF, Rule::Even, 0},      // Ǟ-Ǯ
    {0x01F8, 0x021F, Rule::Even, 0},      // Ǹ-Ȟ
    {0x0222, 0x0233, Rule::Even, 0},      // Ȣ-Ȳ
    {0x0246, 0x024F, Rule::Even, 0},      // Ɇ-Ɏ
    {0x0370, 0x0373, Rule::Even, 0},      // Ͱ, Ͳ
    {0x0391, 0x03A1, Rule::Offset, 32},   // Α-Ρ
    {0x03A3, 0x03AB, Rule::Offset, 32},   // Σ-Ϋ
    {0x03D8, 0x03EF, Rule::Even, 0},      // Ϙ-Ϯ
    {0x0400, 0x040F, Rule::Offset, 80},   // Ѐ-Џ
    {0x0410, 0x042F, Rule::Offset, 32},   // А-Я
    {0x0460, 0x0481, Rule::Even, 0},      // Ѡ-Ҁ
    {0x048A, 0x04BF, Rule::Even, 0},      // Ҋ-Ҿ
    {0x04C1, 0x04CE, Rule::Odd, 0},       // Ӂ-Ӎ
    {0x04D0, 0x052F, Rule::Even, 0},      // Ӑ-Ԯ
    {0x0531, 0x0556, Rule::Offset, 48},   // Armenian Ա-Ֆ
    {0x1E00, 0x1E95, Rule::Even, 0},      // Ḁ-Ẕ
    {0x1EA0, 0x1EFF, Rule::Even, 0},      // Ạ-Ỿ
    {0x2160, 0x216F, Rule::Offset, 16},   // Roman numerals Ⅰ-Ⅿ
    {0x24B6, 0x24CF, Rule::Offset, 26},   // Ⓐ-Ⓩ
    {0xFF21, 0xFF3A, Rule::Offset, 32},   // Ａ-Ｚ
    {0x10400, 0x10427, Rule::Offset, 40}, // Deseret
};

struct Single {
    char32_t from, to;
};

// Irregular mappings.
constexpr Single kSingles[] = {
    {0x0178, 0x00FF}, {0x0181, 0x0253}, {0x0182, 0x0183}, {0x0184, 0x0185}, {0x0186, 0x0254},
    {0x0187, 0x0188}, {0x0189, 0x0256}, {0x018A, 0x0257}, {0x018B, 0x018C}, {0x018E, 0x01DD},
    {0x018F, 0x0259}, {0x0190, 0x025B}, {0x0191, 0x0192}, {0x0193, 0x0260}, {0x0194, 0x0263},
    {0x0196, 0x0269}, {0x0197, 0x0268}, {0x0198, 0x0199}, {0x019C, 0x026F}, {0x019D, 0x0272},
    {0x019F, 0x0275}, {0x01A0, 0x01A1}, {0x01A2, 0x01A3}, {0x01A4, 0x01A5}, {0x01A6, 0x0280},
    {0x01A7, 0x01A8}, {0x01A9, 0x0283}, {0x01AC, 0x01AD}, {0x01AE, 0x0288}, {0x01AF, 0x01B0},
    {0x01B1, 0x028A}, {0x01B2, 0x028B}, {0x01B3, 0x01B4}, {0x01B5, 0x01B6}, {0x01B7, 0x0292},
    {0x01B8, 0x01B9}, {0x01BC, 0x01BD}, {0x01C4, 0x01C6}, {0x01C5, 0x01C6}, {0x01C7, 0x01C9},
    {0x01C8, 0x01C9}, {0x01CA, 0x01CC}, {0x01CB, 0x01CC}, {0x01F1, 0x01F3}, {0x01F2, 0x01F3},
    {0x01F4, 0x01F5}, {0x01F6, 0x0195}, {0x01F7, 0x01BF}, {0x0220, 0x019E}, {0x023A, 0x2C65},
    {0x023B, 0x023C}, {0x023D, 0x019A}, {0x023E, 0x2C66}, {0x0241, 0x0242}, {0x0243, 0x0180},
    {0x0244, 0x0289}, {0x0245, 0x028C}, {0x0376, 0x0377}, {0x037F, 0x03F3}, {0x0386, 0x03AC},
    {0x0388, 0x03AD}, {0x0389, 0x03AE}, {0x038A, 0x03AF}, {0x038C, 0x03CC}, {0x038E, 0x03CD},
    {0x038F, 0x03CE}, {0x03CF, 0x03D7}, {0x03F4, 0x03B8}, {0x03F7, 0x03F8}, {0x03F9, 0x03F2},
    {0x03FA, 0x03FB}, {0x03FD, 0x037B}, {0x03FE, 0x037C}, {0x03FF, 0x037D}, {0x04C0, 0x04CF},
    {0x1E9E, 0x00DF}, {0x2126, 0x03C9}, {0x212A, 0x006B}, {0x212B, 0x00E5}, {0x2132, 0x214E},
    {0x2183, 0x2184}, {0x10C7, 0x2D27}, {0x10CD, 0x2D2D}, {0x0130, 0x0069},
};

void append_utf8(std::string& out, char32_t c) {
    if (c >= kRawByteBase) {
        out.push_back(static_cast<char>(c - kRawByteBase));
        return;
    }
    hp::append_utf8(out, c);
}

}  // namespace

char32_t next_code_point(std::string_view text, std::size_t& pos) {
    std::size_t next = pos;
    if (const auto c = hp::decode_utf8(text, next)) {
        pos = next;
        return *c;
    }
    return kRawByteBase + char32_t(static_cast<unsigned char>(text[pos++]));
}

bool is_white_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

char32_t simple_lowercase(char32_t c) {
    if (c < 0x41) return c;
    for (const Range& r : kRanges) {
        if (c < r.first || c > r.last) continue;
        switch (r.rule) {
            case Rule::Offset: return c + char32_t(r.delta);
            case Rule::Even: return (c % 2 == 0) ? c + 1 : c;
            case Rule::Odd: return (c % 2 == 1) ? c + 1 : c;
        }
    }
    // Georgian capitals (two more, U+10C7 and U+10CD, are among the singles).
    if (c >= 0x10A0 && c <= 0x10C5) return c - 0x10A0 + 0x2D00;
    for (const Single& s : kSingles)
        if (s.from == c) return s.to;
    return c;
}

void append_lowercase(std::string& out, char32_t c) {
    if (c == 0x0130) {  // capital I with dot above keeps its dot
        out.push_back('i');
        append_utf8(out, 0x0307);
        return;
    }
    append_utf8(out, simple_lowercase(c));
}

}  // namespace hp::input::unicode
