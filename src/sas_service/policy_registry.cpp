#include "sas_service/policy_registry.h"

#include <windows.h>

#include <string>

#include "base/atomic_file.h"
#include "sas_service/contract.h"

namespace hp::sas_service {

namespace {

// The 64-bit view whatever this program was built as: the policy and the
// uninstall entry live there.
constexpr REGSAM kView = KEY_WOW64_64KEY;

class Key {
public:
    Key() = default;
    explicit Key(HKEY key) : key_(key) {}
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key() {
        if (key_) RegCloseKey(key_);
    }
    HKEY get() const { return key_; }
    HKEY* out() { return &key_; }

private:
    HKEY key_ = nullptr;
};

Error failure(const std::wstring& name, const char* what, LSTATUS status) {
    std::string text = std::string(what) + " ";
    for (wchar_t c : name) text += (c < 0x80) ? static_cast<char>(c) : '?';  // the names here are ASCII
    return Error{text + " (" + os_error_text(static_cast<unsigned long>(status)) + ")"};
}

// A DWORD under HKLM\`key`; nothing when the key or the value is missing.
Result<std::optional<std::uint32_t>> read_dword(const wchar_t* key, const wchar_t* name) {
    DWORD value = 0;
    DWORD size = sizeof value;
    const LSTATUS status =
        RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_DWORD | RRF_SUBKEY_WOW6464KEY, nullptr, &value, &size);
    if (status == ERROR_FILE_NOT_FOUND) return std::optional<std::uint32_t>{};
    // A value of another type (ERROR_UNSUPPORTED_TYPE) is not taken for
    // absent: it is left as it is, and the step fails.
    if (status != ERROR_SUCCESS) return std::unexpected(failure(name, "cannot read", status));
    return std::optional<std::uint32_t>{static_cast<std::uint32_t>(value)};
}

Status write_dword(const wchar_t* key, const wchar_t* name, std::uint32_t value) {
    Key opened;
    LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_SET_VALUE | kView, nullptr, opened.out(), nullptr);
    if (status != ERROR_SUCCESS) return std::unexpected(failure(key, "cannot open", status));
    const DWORD data = value;
    status = RegSetValueExW(opened.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
    if (status != ERROR_SUCCESS) return std::unexpected(failure(name, "cannot write", status));
    return {};
}

// Deleting what is not there is done.
Status delete_value(const wchar_t* key, const wchar_t* name) {
    Key opened;
    LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_SET_VALUE | kView, opened.out());
    if (status == ERROR_FILE_NOT_FOUND) return {};
    if (status != ERROR_SUCCESS) return std::unexpected(failure(key, "cannot open", status));
    status = RegDeleteValueW(opened.get(), name);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        return std::unexpected(failure(name, "cannot delete", status));
    return {};
}

Status write_or_delete(const wchar_t* name, std::optional<std::uint32_t> value) {
    return value ? write_dword(kRecordKey, name, *value) : delete_value(kRecordKey, name);
}

class Win32PolicyRegistry final : public sas::PolicyRegistry {
public:
    Result<std::optional<std::uint32_t>> policy() override { return read_dword(kPolicyKey, kPolicyValue); }
    Status set_policy(std::uint32_t value) override { return write_dword(kPolicyKey, kPolicyValue, value); }
    Status delete_policy() override { return delete_value(kPolicyKey, kPolicyValue); }

    Result<std::optional<sas::PolicyRecord>> record() override {
        const auto recorded = read_dword(kRecordKey, kRecordedValue);
        if (!recorded) return std::unexpected(recorded.error());
        if (!*recorded) return std::optional<sas::PolicyRecord>{};
        const auto found = read_dword(kRecordKey, kFoundValue);
        if (!found) return std::unexpected(found.error());
        const auto written = read_dword(kRecordKey, kWrittenValue);
        if (!written) return std::unexpected(written.error());
        return std::optional<sas::PolicyRecord>{sas::PolicyRecord{*found, *written}};
    }

    // The marker last, so that a record is never taken as complete before
    // both of its values are in place.
    Status set_record(const sas::PolicyRecord& record) override {
        if (auto done = write_or_delete(kFoundValue, record.found); !done) return done;
        if (auto done = write_or_delete(kWrittenValue, record.written); !done) return done;
        return write_dword(kRecordKey, kRecordedValue, 1);
    }

    // The marker first, for the same reason. A key left empty is one this
    // program made (the installer's entry has values of its own): it goes
    // too.
    Status delete_record() override {
        if (auto done = delete_value(kRecordKey, kRecordedValue); !done) return done;
        if (auto done = delete_value(kRecordKey, kFoundValue); !done) return done;
        if (auto done = delete_value(kRecordKey, kWrittenValue); !done) return done;
        delete_key_if_empty(kRecordKey);
        return {};
    }

private:
    static void delete_key_if_empty(const wchar_t* key) {
        Key opened;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | kView, opened.out()) != ERROR_SUCCESS) return;
        DWORD subkeys = 0;
        DWORD values = 0;
        if (RegQueryInfoKeyW(opened.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                             nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
            subkeys != 0 || values != 0)
            return;
        (void)RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key, kView, 0);
    }
};

}  // namespace

std::unique_ptr<sas::PolicyRegistry> make_policy_registry() { return std::make_unique<Win32PolicyRegistry>(); }

}  // namespace hp::sas_service
