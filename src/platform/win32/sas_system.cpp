// Ctrl+Alt+Del on Windows. SendSAS (sas.dll) generates the sequence only
// when called by a service or by a program whose token has uiAccess (see the
// SendSAS function's requirements); any other caller, elevated or not, gets
// no error and no sequence. So the sequence is sent:
// - in this process, when it runs as LocalSystem (SendSAS(FALSE), as a
//   service) or its token has TokenUIAccess (SendSAS(TRUE), as the user);
// - otherwise by the installer's helper, a LocalSystem service listening on
//   the named pipe of platform/win32/sas_helper.h, which answers whether it
//   sent it, and whose answer counts only when the pipe is served by the
//   service's own process. Without that pipe no one can send it.
#include <windows.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <type_traits>
#include <utility>

#include "platform/win32/dll_search.h"
#include "platform/win32/overlapped_wait.h"
#include "platform/win32/sas_helper.h"
#include "platform/win32/win32_system.h"

namespace hp::platform {

namespace {

// SendSAS(BOOL AsUser): FALSE for a service, TRUE for a program running as
// the current user.
using SendSasFunction = VOID(WINAPI*)(BOOL);

// Bounds the whole exchange with the helper (connecting to a busy pipe,
// writing the request, reading the answer), so a helper that hangs cannot
// hold the caller for long; the service itself answers at once.
constexpr std::chrono::milliseconds kHelperExchangeLimit{1000};

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

using Clock = std::chrono::steady_clock;

std::chrono::milliseconds left_until(Clock::time_point deadline) {
    return std::max(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()),
                    std::chrono::milliseconds{0});
}

struct ServiceHandleCloser {
    void operator()(SC_HANDLE h) const {
        if (h) CloseServiceHandle(h);
    }
};
using UniqueServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ServiceHandleCloser>;

// One exchange with the helper: the pipe, and the block the system writes
// while a request on it is pending (the OVERLAPPED, its event and the
// buffer), which must outlive every request started with it.
class HelperExchange {
public:
    HelperExchange() : io_(std::make_unique<Io>()) { io_->event.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr)); }
    HelperExchange(const HelperExchange&) = delete;
    HelperExchange& operator=(const HelperExchange&) = delete;
    ~HelperExchange() {
        // A request that did not complete even once cancelled: closing the
        // pipe ends it on any real pipe; should even that not happen, the
        // block is left to the process rather than freed under the
        // system's hands.
        if (!pending_) return;
        pipe_.reset();
        if (!wait_completed(io_->overlapped, kCancelGrace)) static_cast<void>(io_.release());
    }

    // Opens the pipe, retrying while every instance is busy, until the
    // deadline.
    bool open(const std::wstring& name, Clock::time_point deadline) {
        if (!io_->event) return false;
        // FILE_WRITE_DATA rather than GENERIC_WRITE: the pipe's security
        // grants users read and write of data, not the right to create
        // pipe instances that GENERIC_WRITE includes
        // (FILE_CREATE_PIPE_INSTANCE), so GENERIC_WRITE would be denied.
        // SECURITY_IMPERSONATION: the service impersonates the caller
        // around SendSAS so that the sequence goes to the caller's session
        // (see SendSAS); the server may only impersonate once it has read a
        // message from the pipe, and nothing is written before the server
        // is known to be the service.
        constexpr DWORD access = GENERIC_READ | FILE_WRITE_DATA;
        constexpr DWORD flags = FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IMPERSONATION;
        for (;;) {
            HANDLE pipe = CreateFileW(name.c_str(), access, 0, nullptr, OPEN_EXISTING, flags, nullptr);
            if (pipe != INVALID_HANDLE_VALUE) {
                pipe_.reset(pipe);
                return true;
            }
            if (GetLastError() != ERROR_PIPE_BUSY) return false;
            // WaitNamedPipeW would take 0 for the pipe's default time-out.
            const auto left = left_until(deadline);
            if (left.count() == 0 || !WaitNamedPipeW(name.c_str(), static_cast<DWORD>(left.count()))) return false;
        }
    }

    // The process serving the pipe (GetNamedPipeServerProcessId).
    std::optional<std::uint32_t> server_process() const {
        ULONG pid = 0;
        if (!GetNamedPipeServerProcessId(pipe_.get(), &pid) || pid == 0) return std::nullopt;
        return static_cast<std::uint32_t>(pid);
    }

    bool write_request(Clock::time_point deadline) {
        io_->buffer[0] = kSasHelperRequest;
        const auto moved = transfer(true, 1, deadline);
        return moved && *moved == 1;
    }

    // The status bytes, read once: the one byte the service sends, or what
    // else the server sent (room for one byte more than a status, so that a
    // longer answer is seen as one). Nothing on a failure or at the
    // deadline.
    std::optional<std::span<const std::uint8_t>> read_answer(Clock::time_point deadline) {
        const auto moved = transfer(false, static_cast<DWORD>(io_->buffer.size()), deadline);
        if (!moved) return std::nullopt;
        return std::span<const std::uint8_t>(io_->buffer.data(), *moved);
    }

private:
    struct Io {
        OVERLAPPED overlapped{};
        UniqueHandle event;
        std::array<std::uint8_t, 2> buffer{};
    };

    std::optional<DWORD> transfer(bool write, DWORD size, Clock::time_point deadline) {
        Io& io = *io_;
        io.overlapped = OVERLAPPED{};
        io.overlapped.hEvent = io.event.get();
        ResetEvent(io.event.get());
        const BOOL started = write ? WriteFile(pipe_.get(), io.buffer.data(), size, nullptr, &io.overlapped)
                                   : ReadFile(pipe_.get(), io.buffer.data(), size, nullptr, &io.overlapped);
        if (!started) {
            const DWORD error = GetLastError();
            // ERROR_MORE_DATA: a message longer than the buffer, which is
            // handed over as far as it fits.
            if (error != ERROR_IO_PENDING && error != ERROR_MORE_DATA) return std::nullopt;
        }
        const OverlappedOutcome outcome = wait_overlapped(pipe_.get(), io.overlapped, left_until(deadline));
        if (!outcome.completed) {
            pending_ = true;
            return std::nullopt;
        }
        if (outcome.error != 0 && outcome.error != ERROR_MORE_DATA) return std::nullopt;
        return outcome.transferred;
    }

    UniqueHandle pipe_;
    std::unique_ptr<Io> io_;
    bool pending_ = false;
};

class Win32SasSystem final : public SasSystem {
public:
    explicit Win32SasSystem(SasHelperEndpoint endpoint) : endpoint_(std::move(endpoint)) {}

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
        if (WaitNamedPipeW(endpoint_.pipe.c_str(), 1)) return true;
        return GetLastError() == ERROR_SEM_TIMEOUT;
    }

    // The whole exchange within kHelperExchangeLimit: true only when the
    // service's own process answered "sent".
    bool ask_helper() const {
        const auto deadline = Clock::now() + kHelperExchangeLimit;
        HelperExchange exchange;
        if (!exchange.open(endpoint_.pipe, deadline)) return false;
        // Asked after connecting: a service that restarted in between has a
        // new process, and the answer is then not trusted, never the other
        // way round.
        const auto server = exchange.server_process();
        const auto trusted = endpoint_.trustedServer ? endpoint_.trustedServer() : std::nullopt;
        if (!server || !trusted || *server != *trusted) return false;
        if (!exchange.write_request(deadline)) return false;
        const auto answer = exchange.read_answer(deadline);
        return answer && sas_helper_answer_is_sent(*answer);
    }

    SasHelperEndpoint endpoint_;
};

}  // namespace

std::optional<std::uint32_t> service_process_id(const wchar_t* name) {
    const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return std::nullopt;
    const UniqueServiceHandle service(OpenServiceW(manager.get(), name, SERVICE_QUERY_STATUS));
    if (!service) return std::nullopt;
    SERVICE_STATUS_PROCESS status{};
    DWORD size = 0;
    if (!QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                              &size))
        return std::nullopt;
    // dwProcessId is 0 while the service has no process (stopped).
    if (status.dwCurrentState == SERVICE_STOPPED || status.dwProcessId == 0) return std::nullopt;
    return static_cast<std::uint32_t>(status.dwProcessId);
}

std::shared_ptr<SasSystem> make_win32_sas_system() { return make_win32_sas_system(SasHelperEndpoint{}); }

std::shared_ptr<SasSystem> make_win32_sas_system(std::wstring helperPipe) {
    SasHelperEndpoint endpoint;
    endpoint.pipe = std::move(helperPipe);
    return make_win32_sas_system(std::move(endpoint));
}

std::shared_ptr<SasSystem> make_win32_sas_system(SasHelperEndpoint endpoint) {
    return std::make_shared<Win32SasSystem>(std::move(endpoint));
}

}  // namespace hp::platform
