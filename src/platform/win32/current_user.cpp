#include "platform/win32/current_user.h"

#include <windows.h>
#include <sddl.h>

#include <array>
#include <memory>
#include <type_traits>

#include "platform/win32/text.h"

namespace hp::platform::win32 {

namespace {

std::optional<std::string> sid_text(PSID sid) {
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text)) return std::nullopt;
    const std::unique_ptr<wchar_t, decltype(&LocalFree)> owned(text, &LocalFree);
    return to_utf8(text);
}

}  // namespace

std::optional<std::string> process_user_sid(void* process) {
    HANDLE raw = nullptr;
    if (!process || !OpenProcessToken(process, TOKEN_QUERY, &raw)) return std::nullopt;
    const std::unique_ptr<std::remove_pointer_t<HANDLE>, decltype(&CloseHandle)> token(raw, &CloseHandle);
    alignas(TOKEN_USER) std::array<BYTE, sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE> buffer{};
    DWORD size = 0;
    if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()), &size))
        return std::nullopt;
    return sid_text(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid);
}

std::optional<std::string> current_user_sid() { return process_user_sid(GetCurrentProcess()); }

std::optional<std::string> account_sid(std::string_view name) {
    const auto wide = to_wide(name);
    if (!wide || wide->empty()) return std::nullopt;
    std::array<BYTE, SECURITY_MAX_SID_SIZE> sid{};
    DWORD sidSize = static_cast<DWORD>(sid.size());
    std::array<wchar_t, 256> domain{};
    DWORD domainSize = static_cast<DWORD>(domain.size());
    SID_NAME_USE use = SidTypeUnknown;
    if (!LookupAccountNameW(nullptr, wide->c_str(), sid.data(), &sidSize, domain.data(), &domainSize, &use))
        return std::nullopt;
    return sid_text(sid.data());
}

}  // namespace hp::platform::win32
