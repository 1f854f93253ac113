#include <cstdlib>

#include "base/utf8.h"
#include "client/os.h"

namespace hp::client {

namespace {

std::wstring env(const wchar_t* name) {
    const wchar_t* v = ::_wgetenv(name);
    return v ? v : L"";
}

}  // namespace

std::optional<std::filesystem::path> default_state_dir() {
    if (const auto appdata = env(L"APPDATA"); !appdata.empty())
        return std::filesystem::path(appdata) / L"Hearthpad Client";
    if (const auto profile = env(L"USERPROFILE"); !profile.empty())
        return std::filesystem::path(profile) / L"AppData" / L"Roaming" / L"Hearthpad Client";
    return std::nullopt;
}

std::string computer_name() {
    const std::wstring name = env(L"COMPUTERNAME");
    return utf16_to_utf8(std::u16string(name.begin(), name.end()));
}

MdnsBrowse browse_mdns() {
    MdnsBrowse result;
    result.note = "this Windows build does not browse mDNS; give a host to probe";
    return result;
}

}  // namespace hp::client
