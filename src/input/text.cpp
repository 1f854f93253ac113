#include "input/text.h"

#include "common/utf8.h"

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

}  // namespace

std::u16string utf8_to_utf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) append_utf16(out, decode_utf8(utf8, i).value_or(kReplacement));
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
