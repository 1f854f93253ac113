#pragma once
// UTF-8 decoding and encoding shared by text conversion, name normalising and
// environment checks.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace hp {

// Decodes the character at `i` and moves `i` past it. An ill-formed sequence
// (stray or truncated bytes, overlong forms, surrogates, values above
// U+10FFFF) gives nothing and moves `i` past its longest well-formed prefix,
// at least one byte, so the next byte starts a fresh attempt.
inline std::optional<char32_t> decode_utf8(std::string_view s, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(s[i]);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    std::size_t need = 0;
    char32_t cp = 0;
    // The second byte's range narrows where the plain range would admit
    // overlong forms, surrogates or values above U+10FFFF.
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
        return std::nullopt;
    }
    ++i;
    for (std::size_t k = 0; k < need; ++k) {
        if (i >= s.size()) return std::nullopt;
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < (k == 0 ? lo : 0x80) || b > (k == 0 ? hi : 0xBF)) return std::nullopt;
        cp = (cp << 6) | (b & 0x3F);
        ++i;
    }
    return cp;
}

// UTF-8 to UTF-16. A character outside the Basic Multilingual Plane becomes a
// surrogate pair. Every maximal ill-formed subsequence (stray continuation
// byte, truncated sequence, overlong form, encoded surrogate, value above
// U+10FFFF) becomes one U+FFFD.
std::u16string utf8_to_utf16(std::string_view utf8);

// UTF-16 to UTF-8. An unpaired surrogate becomes U+FFFD.
std::string utf16_to_utf8(std::u16string_view units);

inline bool is_valid_utf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();)
        if (!decode_utf8(s, i)) return false;
    return true;
}

inline void append_utf8(std::string& out, char32_t cp) {
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

}  // namespace hp
