#include "input/text.h"

#include "base/utf8.h"

#include <cstdint>

namespace hp::input {

namespace {

bool is_continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Bytes in the character that the lead byte `b` announces (1 for anything
// that is not a multi-byte lead).
std::size_t sequence_length(unsigned char b) {
    if (b >= 0xC0 && b <= 0xDF) return 2;
    if (b >= 0xE0 && b <= 0xEF) return 3;
    if (b >= 0xF0 && b <= 0xF7) return 4;
    return 1;
}

}  // namespace

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

}  // namespace hp::input
