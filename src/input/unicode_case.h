#pragma once
// The small part of Unicode that name comparison needs: UTF-8 decoding that
// never fails, White_Space, and lower-case mappings for the blocks listed at
// normalizeName (keys.h).
#include <cstddef>
#include <string>
#include <string_view>

namespace hp::input::unicode {

// A byte that does not start a valid UTF-8 sequence decodes to
// kRawByteBase + byte, so that it can be written back unchanged.
inline constexpr char32_t kRawByteBase = 0x110000;

// Decodes the code point at text[pos] and advances pos past it. Overlong
// forms, surrogates, values above U+10FFFF and cut-off sequences yield one
// raw byte (see kRawByteBase) and advance by one.
char32_t next_code_point(std::string_view text, std::size_t& pos);

// Unicode White_Space.
bool is_white_space(char32_t c);

// The simple lower-case mapping of c within the covered blocks; c itself
// elsewhere.
char32_t simple_lowercase(char32_t c);

// Appends the UTF-8 form of the lower case of c (U+0130 becomes "i" and
// U+0307); raw bytes are appended unchanged.
void append_lowercase(std::string& out, char32_t c);

}  // namespace hp::input::unicode
