// Ctrl+Alt+Del on Windows. SendSAS (sas.dll) generates the sequence only
// when called by a service or by a program whose token has uiAccess (see the
// SendSAS function's requirements); any other caller, elevated or not, gets
// no error and no sequence. So the sequence is sent:
// - in this process, when it runs as LocalSystem (SendSAS(FALSE), as a
//   service) or its token has TokenUIAccess (SendSAS(TRUE), as the user);
// - otherwise by the installer's helper, a LocalSystem service listening on
//   the named pipe of platform/win32/sas_helper.h, which answers whether it
//   sent it. Without that pipe no one can send it.
#include <windows.h>

#include <array>
#include <optional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/win32/dll_search.h"
#include "platform/win32/sas_helper.h"
#include "platform/win32/win32_system.h"

namespace hp::platform {

namespace {

// SendSAS(BOOL AsUser): FALSE for a service, TRUE for a program running as
// the current user.
using SendSasFunction = VOID(WINAPI*)(BOOL);

// Bounds each step of the exchange with the helper (connecting to a busy
// pipe, writing the request, reading the answer), so a helper that hangs
// cannot hold the caller for long.
constexpr DWORD kHelperStepLimitMs = 2000;

struct HandleCloser {
    void operator()(HANDLE h) const {
        if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

UniqueHandle process_token() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return nullptr;
    return UniqueHandle(raw);
}

bool runs_as_local_system(HANDLE token) {
    alignas(TOKEN_USER) std::array<BYTE, sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE> buffer{};
    DWORD size = 0;
    if (!GetTokenInformation(token, TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()), &size))
        return false;
    const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
    return IsWellKnownSid(user->User.Sid, WinLocalSystemSid) != 0;
}

bool has_ui_access(HANDLE token) {
    DWORD uiAccess = 0;
    DWORD size = 0;
    return GetTokenInformation(token, TokenUIAccess, &uiAccess, sizeof uiAccess, &size) && uiAccess != 0;
}

// SendSAS from sas.dll in the system directory; the library stays loaded
// for the rest of the process once found.
bool call_send_sas(BOOL asUser) {
    HMODULE library = win32::load_system_library(L"sas.dll");
    if (!library) return false;
    const FARPROC proc = GetProcAddress(library, "SendSAS");
    if (!proc) {
        FreeLibrary(library);
        return false;
    }
    // Through void(*)() so the cast between function types is explicit.
    const auto send = reinterpret_cast<SendSasFunction>(reinterpret_cast<void (*)()>(proc));
    send(asUser);
    return true;
}

// One overlapped read or write on the pipe, ended (CancelIoEx) when it is
// not done within the step limit. The bytes moved, or nothing.
std::optional<DWORD> transfer(HANDLE pipe, bool write, void* data, DWORD size) {
    const UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) return std::nullopt;
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.get();
    const BOOL started = write ? WriteFile(pipe, data, size, nullptr, &overlapped)
                               : ReadFile(pipe, data, size, nullptr, &overlapped);
    if (!started && GetLastError() != ERROR_IO_PENDING && GetLastError() != ERROR_MORE_DATA) return std::nullopt;
    DWORD done = 0;
    if (WaitForSingleObject(event.get(), kHelperStepLimitMs) != WAIT_OBJECT_0) {
        CancelIoEx(pipe, &overlapped);
        GetOverlappedResult(pipe, &overlapped, &done, TRUE);  // the buffer is ours again after this
        return std::nullopt;
    }
    // A message longer than the buffer still hands over what fits.
    if (!GetOverlappedResult(pipe, &overlapped, &done, FALSE) && GetLastError() != ERROR_MORE_DATA)
        return std::nullopt;
    return done;
}

class Win32SasSystem final : public SasSystem {
public:
    explicit Win32SasSystem(std::wstring helperPipe) : helperPipe_(std::move(helperPipe)) {}

    std::optional<std::uint32_t> readPolicy() override {
        DWORD value = 0;
        DWORD size = sizeof value;
        const LSTATUS status =
            RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System",
                         L"SoftwareSASGeneration", RRF_RT_REG_DWORD, nullptr, &value, &size);
        if (status != ERROR_SUCCESS) return std::nullopt;
        return static_cast<std::uint32_t>(value);
    }

    SasSender sender() override {
        if (const UniqueHandle token = process_token()) {
            if (runs_as_local_system(token.get())) return SasSender::Service;
            if (has_ui_access(token.get())) return SasSender::Accessibility;
        }
        return helper_listening() ? SasSender::Service : SasSender::None;
    }

    bool sendSas(SasSender through) override {
        switch (through) {
            case SasSender::None: return false;
            case SasSender::Accessibility: return call_send_sas(TRUE);
            case SasSender::Service: {
                const UniqueHandle token = process_token();
                if (token && runs_as_local_system(token.get())) return call_send_sas(FALSE);
                return ask_helper();
            }
        }
        return false;
    }

private:
    // WaitNamedPipeW fails with ERROR_FILE_NOT_FOUND when no server has
    // created the pipe; a pipe whose instances are all busy still has its
    // server.
    bool helper_listening() const {
        if (WaitNamedPipeW(helperPipe_.c_str(), 1)) return true;
        return GetLastError() == ERROR_SEM_TIMEOUT;
    }

    UniqueHandle connect() const {
        // SECURITY_IDENTIFICATION: the server may learn who asks but cannot
        // act as this (possibly elevated) process, whoever created the pipe.
        constexpr DWORD flags = FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;
        for (int attempt = 0; attempt < 2; ++attempt) {
            HANDLE pipe = CreateFileW(helperPipe_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      flags, nullptr);
            if (pipe != INVALID_HANDLE_VALUE) return UniqueHandle(pipe);
            if (GetLastError() != ERROR_PIPE_BUSY || !WaitNamedPipeW(helperPipe_.c_str(), kHelperStepLimitMs))
                return nullptr;
        }
        return nullptr;
    }

    // Writes the request and reads the answer: true only for the answer
    // that says the sequence was sent.
    bool ask_helper() const {
        const UniqueHandle pipe = connect();
        if (!pipe) return false;
        std::string request(kSasHelperRequest);
        const auto written = transfer(pipe.get(), true, request.data(), static_cast<DWORD>(request.size()));
        if (!written || *written != request.size()) return false;
        std::string answer;
        std::array<char, 16> chunk{};
        while (answer.size() < kSasHelperSent.size() && kSasHelperSent.starts_with(answer)) {
            const auto got = transfer(pipe.get(), false, chunk.data(), static_cast<DWORD>(chunk.size()));
            if (!got || *got == 0) break;
            answer.append(chunk.data(), *got);
        }
        return answer == kSasHelperSent;
    }

    std::wstring helperPipe_;
};

}  // namespace

std::shared_ptr<SasSystem> make_win32_sas_system() { return make_win32_sas_system(kSasHelperPipe); }

std::shared_ptr<SasSystem> make_win32_sas_system(std::wstring helperPipe) {
    return std::make_shared<Win32SasSystem>(std::move(helperPipe));
}

}  // namespace hp::platform
