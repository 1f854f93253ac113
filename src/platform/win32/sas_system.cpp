#include <windows.h>

#include <memory>
#include <type_traits>

#include "platform/win32/dll_search.h"
#include "platform/win32/win32_system.h"

namespace hp::platform {

namespace {

// SendSAS(BOOL AsUser) from sas.dll; FALSE asks for the sequence as a service.
using SendSasFunction = VOID(WINAPI*)(BOOL);

struct HandleCloser {
    void operator()(HANDLE h) const { CloseHandle(h); }
};
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

struct LibraryFreer {
    void operator()(HMODULE m) const { FreeLibrary(m); }
};
using UniqueLibrary = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryFreer>;

class Win32SasSystem final : public SasSystem {
public:
    std::optional<std::uint32_t> readPolicy() override {
        DWORD value = 0;
        DWORD size = sizeof value;
        const LSTATUS status =
            RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System",
                         L"SoftwareSASGeneration", RRF_RT_REG_DWORD, nullptr, &value, &size);
        if (status != ERROR_SUCCESS) return std::nullopt;
        return static_cast<std::uint32_t>(value);
    }

    bool isElevated() override {
        HANDLE raw = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
        const UniqueHandle token(raw);
        TOKEN_ELEVATION elevation{};
        DWORD returned = 0;
        if (!GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &returned)) return false;
        return elevation.TokenIsElevated != 0;
    }

    // The library (from the system directory only) stays loaded for the
    // rest of the process once found.
    bool sendSas() override {
        UniqueLibrary library(win32::load_system_library(L"sas.dll"));
        if (!library) return false;
        const FARPROC proc = GetProcAddress(library.get(), "SendSAS");
        if (!proc) return false;
        // Through void(*)() so the cast between function types is explicit.
        const auto send = reinterpret_cast<SendSasFunction>(reinterpret_cast<void (*)()>(proc));
        send(FALSE);
        static_cast<void>(library.release());
        return true;
    }
};

}  // namespace

std::shared_ptr<SasSystem> make_win32_sas_system() { return std::make_shared<Win32SasSystem>(); }

}  // namespace hp::platform
