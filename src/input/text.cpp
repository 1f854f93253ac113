#include "input/text.h"

#include <cstdint>

namespace hp {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool is_continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Bytes in the character that the lead byte `b` announces (1 for anything
// that is not a multi-byte lead).
std::size_t sequence_length(unsigned char b) {
    if (b >= 0xC0 && b <= 0xDF) return 2;
    if (b >= 0xE0 && b <= 0xEF) return 3;
    if (b >= 0xF0 && b <= 0xF7) return 4;
    return 1;
}

void append_utf16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Decodes one character starting at `i` and advances `i` past it. An
// ill-formed sequence yields U+FFFD and advances past its maximal well-formed
// prefix (at least one byte), so the following byte starts a fresh attempt.
char32_t decode_one(std::string_view s, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(s[i]);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    std::size_t need = 0;
    char32_t cp = 0;
    // The accepted range of the second byte narrows for leads whose plain
    // range would admit overlong forms, surrogates or values above U+10FFFF.
    unsigned char lo = 0x80, hi = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        cp = lead & 0x0F;
        if (lead == 0xE0) lo = 0xA0;
        if (lead == 0xED) hi = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        cp = lead & 0x07;
        if (lead == 0xF0) lo = 0x90;
        if (lead == 0xF4) hi = 0x8F;
    } else {
        ++i;
        return kReplacement;
    }
    ++i;
    for (std::size_t k = 0; k < need; ++k) {
        if (i >= s.size()) return kReplacement;
        const auto b = static_cast<unsigned char>(s[i]);
        const unsigned char first_lo = k == 0 ? lo : 0x80;
        const unsigned char first_hi = k == 0 ? hi : 0xBF;
        if (b < first_lo || b > first_hi) return kReplacement;
        cp = (cp << 6) | (b & 0x3F);
        ++i;
    }
    return cp;
}

}  // namespace

std::u16string utf8_to_utf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) append_utf16(out, decode_one(utf8, i));
    return out;
}

std::string utf16_to_utf8(std::u16string_view units) {
    std::string out;
    out.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        char32_t cp = u;
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
                cp = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) +
                     (static_cast<char32_t>(units[i + 1]) - 0xDC00);
                ++i;
            } else {
                cp = kReplacement;
            }
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            cp = kReplacement;
        }
        append_utf8(out, cp);
    }
    return out;
}

TruncatedText truncate_utf8(std::string_view utf8, std::size_t limit) {
    if (utf8.size() <= limit) return {std::string(utf8), false};
    // utf8[limit] is the first byte left out. When it continues a character
    // whose lead byte lies within the kept part, cut before that lead byte.
    std::size_t cut = limit;
    if (is_continuation(static_cast<unsigned char>(utf8[limit]))) {
        for (std::size_t back = 1; back <= 3 && back <= limit; ++back) {
            const auto b = static_cast<unsigned char>(utf8[limit - back]);
            if (is_continuation(b)) continue;
            if (sequence_length(b) > back) cut = limit - back;
            break;
        }
    }
    return {std::string(utf8.substr(0, cut)), true};
}

}  // namespace hp
