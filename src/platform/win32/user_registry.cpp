#include "platform/user_registry.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "base/atomic_file.h"
#include "platform/win32/text.h"

namespace hp::platform {

namespace {

class Key {
public:
    Key() = default;
    ~Key() {
        if (key_) RegCloseKey(key_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY* out() { return &key_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

Result<std::wstring> wide(std::string_view text) {
    auto w = win32::to_wide(text);
    if (!w) return fail("registry names must be valid text");
    return *w;
}

class Win32UserRegistry final : public UserRegistry {
public:
    Result<std::u16string> read_units(std::string_view key, std::string_view name,
                                      std::size_t bufferBytes) override {
        auto wkey = wide(key);
        auto wname = wide(name);
        if (!wkey || !wname) return fail("registry names must be valid text");
        Key k;
        LSTATUS rc = RegOpenKeyExW(HKEY_CURRENT_USER, wkey->c_str(), 0, KEY_QUERY_VALUE, k.out());
        if (rc != ERROR_SUCCESS) return fail(os_error_text(static_cast<unsigned long>(rc)));
        std::vector<BYTE> buffer(bufferBytes, 0);
        DWORD size = static_cast<DWORD>(buffer.size());
        rc = RegQueryValueExW(k.get(), wname->c_str(), nullptr, nullptr, buffer.data(), &size);
        if (rc != ERROR_SUCCESS) return fail(os_error_text(static_cast<unsigned long>(rc)));
        std::u16string units(size / 2, u'\0');
        std::memcpy(units.data(), buffer.data(), units.size() * 2);
        return units;
    }

    Result<std::uint32_t> read_dword(std::string_view key, std::string_view name) override {
        auto wkey = wide(key);
        auto wname = wide(name);
        if (!wkey || !wname) return fail("registry names must be valid text");
        DWORD value = 0;
        DWORD size = sizeof value;
        const LSTATUS rc = RegGetValueW(HKEY_CURRENT_USER, wkey->c_str(), wname->c_str(), RRF_RT_REG_DWORD,
                                        nullptr, &value, &size);
        if (rc != ERROR_SUCCESS) return fail(os_error_text(static_cast<unsigned long>(rc)));
        return static_cast<std::uint32_t>(value);
    }

    Status write_string(std::string_view key, std::string_view name, std::u16string_view data) override {
        auto wname = wide(name);
        if (!wname) return std::unexpected(wname.error());
        Key k;
        if (auto st = create(key, k); !st) return st;
        std::u16string terminated(data);
        terminated.push_back(u'\0');
        const LSTATUS rc = RegSetValueExW(k.get(), wname->c_str(), 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(terminated.data()),
                                          static_cast<DWORD>(terminated.size() * sizeof(char16_t)));
        if (rc != ERROR_SUCCESS) return fail(os_error_text(static_cast<unsigned long>(rc)));
        return {};
    }

    Status delete_value(std::string_view key, std::string_view name) override {
        auto wname = wide(name);
        if (!wname) return std::unexpected(wname.error());
        Key k;
        if (auto st = create(key, k); !st) return st;
        const LSTATUS rc = RegDeleteValueW(k.get(), wname->c_str());
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
            return fail(os_error_text(static_cast<unsigned long>(rc)));
        return {};
    }

private:
    static Status create(std::string_view key, Key& out) {
        auto wkey = wide(key);
        if (!wkey) return std::unexpected(wkey.error());
        const LSTATUS rc = RegCreateKeyExW(HKEY_CURRENT_USER, wkey->c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                           nullptr, out.out(), nullptr);
        if (rc != ERROR_SUCCESS) return fail(os_error_text(static_cast<unsigned long>(rc)));
        return {};
    }
};

}  // namespace

std::shared_ptr<UserRegistry> make_user_registry() {
    return std::make_shared<Win32UserRegistry>();
}

}  // namespace hp::platform
