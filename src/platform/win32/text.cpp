#include "platform/win32/text.h"

#include <windows.h>

#include <climits>
#include <memory>

namespace hp::platform::win32 {

std::optional<std::wstring> to_wide(std::string_view utf8) {
    if (utf8.empty()) return std::wstring{};
    if (utf8.size() > static_cast<std::size_t>(INT_MAX)) return std::nullopt;
    const int in_len = static_cast<int>(utf8.size());
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), in_len, nullptr, 0);
    if (n <= 0) return std::nullopt;
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), in_len, out.data(), n) != n)
        return std::nullopt;
    return out;
}

std::optional<std::string> to_utf8(std::wstring_view wide) {
    if (wide.empty()) return std::string{};
    if (wide.size() > static_cast<std::size_t>(INT_MAX)) return std::nullopt;
    const int in_len = static_cast<int>(wide.size());
    const int n = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), in_len, nullptr, 0,
                                      nullptr, nullptr);
    if (n <= 0) return std::nullopt;
    std::string out(static_cast<std::size_t>(n), '\0');
    if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), in_len, out.data(), n, nullptr,
                            nullptr) != n)
        return std::nullopt;
    return out;
}

}  // namespace hp::platform::win32
