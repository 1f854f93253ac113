#pragma once
// Recording stand-ins (tests/stubs/schtasks_stub.cpp) for the programs the
// host starts, put where the host looks for them: the system directory of
// the Wine prefix (the real schtasks.exe and powershell.exe live there) or a
// Program Files folder. Wine prefers its built-in programs to a file of the
// same name in the system directory unless a DLL override says "native".
// WINEDLLOVERRIDES is read from the Unix environment Wine started with, so
// a change made from inside this process would not reach its children; the
// same override in the prefix's registry (HKCU\Software\Wine\DllOverrides)
// is read by every process started after it is set. Each placement and
// override is undone by its destructor, restoring the prefix's own state.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/dll_search.h"

namespace hp::testing_win32 {

namespace fs = std::filesystem;

inline fs::path stub_program() { return fs::path(HP_STUB_DIR) / "schtasks.exe"; }

// The directory of this test program (where a planted file sits "beside the
// program").
inline fs::path program_directory() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return fs::path(std::wstring(path, n < MAX_PATH ? n : 0)).parent_path();
}

inline fs::path system_directory() { return fs::path(platform::win32::system_directory().value_or(L"")); }

inline std::optional<std::wstring> env_var(const wchar_t* name) {
    wchar_t buffer[32768];
    const DWORD n = GetEnvironmentVariableW(name, buffer, 32768);
    if (n == 0 || n >= 32768) return std::nullopt;
    return std::wstring(buffer, n);
}

// Sets an environment variable for the test's duration.
class ScopedEnv {
public:
    ScopedEnv(const wchar_t* name, const std::wstring& value) : name_(name), old_(env_var(name)) {
        SetEnvironmentVariableW(name, value.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    ~ScopedEnv() { SetEnvironmentVariableW(name_.c_str(), old_ ? old_->c_str() : nullptr); }

private:
    std::wstring name_;
    std::optional<std::wstring> old_;
};

// A copy of the stand-in at `where`; an earlier file there is kept aside
// and put back afterwards.
class PlacedStandIn {
public:
    explicit PlacedStandIn(fs::path where) : where_(std::move(where)), kept_(where_.wstring() + L".hp-kept") {
        std::error_code ec;
        fs::create_directories(where_.parent_path(), ec);
        if (fs::exists(where_) && !fs::exists(kept_)) fs::rename(where_, kept_, ec);
        ok_ = fs::copy_file(stub_program(), where_, fs::copy_options::overwrite_existing, ec);
    }
    PlacedStandIn(const PlacedStandIn&) = delete;
    PlacedStandIn& operator=(const PlacedStandIn&) = delete;
    ~PlacedStandIn() {
        std::error_code ec;
        fs::remove(where_, ec);
        if (fs::exists(kept_)) fs::rename(kept_, where_, ec);
    }
    bool ok() const { return ok_; }
    const fs::path& path() const { return where_; }

private:
    fs::path where_, kept_;
    bool ok_ = false;
};

// Wine runs the file named `program` ("schtasks.exe") rather than its
// built-in program of that name, for the processes started while this
// lives.
class NativeOverride {
public:
    explicit NativeOverride(std::wstring program) : program_(std::move(program)) {
        if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\DllOverrides", 0, nullptr, 0,
                            KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, &key_, nullptr) != ERROR_SUCCESS) {
            key_ = nullptr;
            return;
        }
        static constexpr wchar_t kNative[] = L"native";
        ok_ = RegSetValueExW(key_, program_.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(kNative),
                             sizeof kNative) == ERROR_SUCCESS;
    }
    NativeOverride(const NativeOverride&) = delete;
    NativeOverride& operator=(const NativeOverride&) = delete;
    ~NativeOverride() {
        if (!key_) return;
        RegDeleteValueW(key_, program_.c_str());
        RegCloseKey(key_);
    }
    bool ok() const { return ok_; }

private:
    std::wstring program_;
    HKEY key_ = nullptr;
    bool ok_ = false;
};

// Lines of a text file the stand-ins wrote (none when it does not exist).
inline std::vector<std::string> read_lines(const fs::path& file) {
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

inline std::string utf8_path(const fs::path& p) {
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}

}  // namespace hp::testing_win32
