#pragma once
// UTF-8 <-> UTF-16 conversion for the Windows layer.
// Conversions are strict: ill-formed input (a lone surrogate, a bad UTF-8
// sequence) gives nothing rather than replacement characters.
#include <optional>
#include <string>
#include <string_view>

namespace hp::platform::win32 {

std::optional<std::wstring> to_wide(std::string_view utf8);
std::optional<std::string> to_utf8(std::wstring_view wide);

}  // namespace hp::platform::win32
