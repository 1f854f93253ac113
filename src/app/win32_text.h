#pragma once
// Text for window, menu and shell calls: UTF-8 as UTF-16 wide strings, with
// ill-formed bytes shown as U+FFFD rather than losing the whole text.
#include <string>
#include <string_view>

#include "base/utf8.h"

namespace hp::app {

inline std::wstring widen(std::string_view text) {
    const std::u16string units = utf8_to_utf16(text);
    return std::wstring(units.begin(), units.end());
}

inline std::string narrow(std::wstring_view text) {
    return utf16_to_utf8(std::u16string(text.begin(), text.end()));
}

}  // namespace hp::app
