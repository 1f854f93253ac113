#include "platform/win32/current_user.h"

#include <windows.h>
#include <sddl.h>

#include <array>
#include <memory>
#include <type_traits>

#include "platform/win32/text.h"

namespace hp::platform::win32 {

std::optional<std::string> current_user_sid() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return std::nullopt;
    const std::unique_ptr<std::remove_pointer_t<HANDLE>, decltype(&CloseHandle)> token(raw, &CloseHandle);
    alignas(TOKEN_USER) std::array<BYTE, sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE> buffer{};
    DWORD size = 0;
    if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()), &size))
        return std::nullopt;
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid, &text))
        return std::nullopt;
    const std::unique_ptr<wchar_t, decltype(&LocalFree)> owned(text, &LocalFree);
    return to_utf8(text);
}

}  // namespace hp::platform::win32
