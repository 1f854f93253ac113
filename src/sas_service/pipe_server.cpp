#include "sas_service/pipe_server.h"

#include <sddl.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <exception>
#include <optional>
#include <span>

#include "base/atomic_file.h"
#include "platform/sas_system.h"
#include "platform/win32/dll_search.h"
#include "platform/win32/overlapped_wait.h"
#include "sas/helper_protocol.h"
#include "sas_service/contract.h"
#include "sas_service/diagnostics.h"

namespace hp::sas_service {

namespace {

using SendSasFunction = VOID(WINAPI*)(BOOL);

struct LibraryFree {
    void operator()(HMODULE m) const {
        if (m) FreeLibrary(m);
    }
};

struct LocalFreer {
    void operator()(void* p) const {
        if (p) LocalFree(p);
    }
};

// Ends the impersonation when it goes out of scope. A thread that cannot
// revert would go on acting as the client inside a LocalSystem process
// (see RevertToSelf): the process ends instead.
class Impersonation {
public:
    explicit Impersonation(HANDLE pipe) : active_(ImpersonateNamedPipeClient(pipe) != 0) {}
    Impersonation(const Impersonation&) = delete;
    Impersonation& operator=(const Impersonation&) = delete;
    ~Impersonation() {
        if (active_ && !RevertToSelf()) std::terminate();
    }
    bool active() const { return active_; }

private:
    bool active_;
};

std::optional<std::uint32_t> client_session(HANDLE pipe) {
    ULONG id = 0;
    if (!GetNamedPipeClientSessionId(pipe, &id)) return std::nullopt;
    return static_cast<std::uint32_t>(id);
}

DWORD to_timeout(std::chrono::milliseconds limit) {
    return static_cast<DWORD>(std::clamp<std::chrono::milliseconds::rep>(limit.count(), 0, INFINITE - 1));
}

}  // namespace

bool send_sas_as_client(HANDLE pipe) {
    // Loaded with the service's own token, before impersonating: the file
    // is the system's, whoever the client is.
    const std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryFree> library(
        platform::win32::load_system_library(L"sas.dll"));
    if (!library) return false;
    const FARPROC proc = GetProcAddress(library.get(), "SendSAS");
    if (!proc) return false;
    // Through void(*)() so the cast between function types is explicit.
    const auto send = reinterpret_cast<SendSasFunction>(reinterpret_cast<void (*)()>(proc));
    // The client's identity is taken from the message just read (see
    // ImpersonateNamedPipeClient); when impersonating fails, nothing is
    // sent in the service's own name.
    const Impersonation as_client(pipe);
    if (!as_client.active()) return false;
    send(FALSE);
    return true;
}

// What the system writes while a request on the pipe is pending.
struct PipeServer::Io {
    OVERLAPPED overlapped{};
    HANDLE event = nullptr;
    std::array<std::uint8_t, 2> buffer{};
    bool stranded = false;
    ~Io() {
        if (event) CloseHandle(event);
    }
};

void PipeServer::HandleCloser::operator()(HANDLE h) const {
    if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

PipeServer::PipeServer(HANDLE pipe, HANDLE event) : pipe_(pipe), io_(std::make_unique<Io>()) { io_->event = event; }

PipeServer::PipeServer(PipeServer&&) noexcept = default;
PipeServer& PipeServer::operator=(PipeServer&&) noexcept = default;

PipeServer::~PipeServer() {
    // A request that did not end even once cancelled: closing the pipe ends
    // it on any real pipe; should even that fail, the block stays with the
    // process rather than being freed under the system's hands.
    if (!io_ || !io_->stranded) return;
    pipe_.reset();
    if (!platform::wait_completed(io_->overlapped, platform::kCancelGrace)) static_cast<void>(io_.release());
}

std::expected<PipeServer, DWORD> PipeServer::create(const std::wstring& name) {
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kPipeSecurity, SDDL_REVISION_1, &raw, nullptr))
        return std::unexpected(GetLastError());
    const std::unique_ptr<void, LocalFreer> descriptor(raw);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    std::unique_ptr<void, HandleCloser> event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) return std::unexpected(GetLastError());
    constexpr DWORD kOpen = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE;
    constexpr DWORD kMode = PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS;
    // One instance: a second one could only be made by this process.
    const HANDLE pipe = CreateNamedPipeW(name.c_str(), kOpen, kMode, 1, 16, 16, 0, &attributes);
    if (pipe == INVALID_HANDLE_VALUE) return std::unexpected(GetLastError());
    return PipeServer(pipe, event.release());
}

PipeServer::Wait PipeServer::wait(HANDLE stop, std::chrono::milliseconds limit, DWORD& transferred, DWORD& error) {
    Io& io = *io_;
    const HANDLE handles[] = {stop, io.event};
    const DWORD waited = WaitForMultipleObjects(2, handles, FALSE, to_timeout(limit));
    // A wait that fails cannot tell a stop either: the server ends rather
    // than going round without waiting.
    const bool stopping = waited == WAIT_OBJECT_0 || waited == WAIT_FAILED;
    Wait result = Wait::Done;
    if (!HasOverlappedIoCompleted(&io.overlapped)) {
        result = stopping ? Wait::Stopped : Wait::TimedOut;
        // The request completes once cancelled, and only then may its
        // OVERLAPPED and buffer be used again.
        CancelIoEx(pipe_.get(), &io.overlapped);
        if (!platform::wait_completed(io.overlapped, platform::kCancelGrace)) {
            io.stranded = true;
            return Wait::Stranded;
        }
    } else if (stopping) {
        result = Wait::Stopped;
    }
    transferred = 0;
    error = GetOverlappedResult(pipe_.get(), &io.overlapped, &transferred, FALSE) ? 0 : GetLastError();
    return result;
}

PipeServer::Wait PipeServer::serve_one(HANDLE stop, const SendForClient& send) {
    Io& io = *io_;
    DWORD transferred = 0;
    DWORD error = 0;
    auto start = [&](bool write, DWORD size) {
        io.overlapped = OVERLAPPED{};
        io.overlapped.hEvent = io.event;
        ResetEvent(io.event);
        const BOOL done = write ? WriteFile(pipe_.get(), io.buffer.data(), size, nullptr, &io.overlapped)
                                : ReadFile(pipe_.get(), io.buffer.data(), size, nullptr, &io.overlapped);
        // A request that failed at once has not started: nothing to wait for.
        return done || GetLastError() == ERROR_IO_PENDING || GetLastError() == ERROR_MORE_DATA;
    };

    // The request: one message, read into room for one byte more than a
    // request so that a longer message shows (ERROR_MORE_DATA).
    std::size_t got = 0;
    if (start(false, static_cast<DWORD>(io.buffer.size()))) {
        const Wait w = wait(stop, kRequestLimit, transferred, error);
        if (w == Wait::Stopped || w == Wait::Stranded) return w;
        if (w == Wait::Done && (error == 0 || error == ERROR_MORE_DATA)) got = transferred;
    }
    const platform::SasHelperStatus status = sas::answer_client(
        std::span<const std::uint8_t>(io.buffer.data(), got), client_session(pipe_.get()),
        static_cast<std::uint32_t>(WTSGetActiveConsoleSessionId()), [&] { return send(pipe_.get()); });

    io.buffer[0] = static_cast<std::uint8_t>(status);
    if (!start(true, 1)) return Wait::Done;
    if (const Wait w = wait(stop, kAnswerTakenLimit, transferred, error); w != Wait::Done) return w;
    // Disconnecting drops whatever the client has not read yet, so the
    // answer is left until the client closes its end (the read ends with
    // ERROR_BROKEN_PIPE) or its time is up.
    if (!start(false, static_cast<DWORD>(io.buffer.size()))) return Wait::Done;
    const Wait w = wait(stop, kAnswerTakenLimit, transferred, error);
    return w == Wait::TimedOut ? Wait::Done : w;
}

Status PipeServer::run(HANDLE stop, const SendForClient& send) {
    Io& io = *io_;
    for (;;) {
        if (WaitForSingleObject(stop, 0) == WAIT_OBJECT_0) return {};
        io.overlapped = OVERLAPPED{};
        io.overlapped.hEvent = io.event;
        ResetEvent(io.event);
        bool connected = ConnectNamedPipe(pipe_.get(), &io.overlapped) != 0;
        if (!connected) {
            const DWORD error = GetLastError();
            if (error == ERROR_PIPE_CONNECTED) {
                connected = true;  // the client came between the instance's creation and this call
            } else if (error == ERROR_IO_PENDING) {
                DWORD transferred = 0;
                DWORD result = 0;
                const Wait w = wait(stop, std::chrono::milliseconds(INFINITE - 1), transferred, result);
                if (w == Wait::Stopped) return {};
                if (w == Wait::Stranded) return fail("a connection on the pipe did not end when cancelled");
                connected = w == Wait::Done && result == 0;
            } else if (error != ERROR_NO_DATA) {
                // ERROR_NO_DATA: a client that came and went; anything else
                // is a broken pipe, which is not waited on in a tight loop.
                if (WaitForSingleObject(stop, 1000) == WAIT_OBJECT_0) return {};
            }
        }
        if (connected) {
            const Wait w = serve_one(stop, send);
            if (w == Wait::Stopped) return {};
            if (w == Wait::Stranded) return fail("a request on the pipe did not end when cancelled");
        }
        DisconnectNamedPipe(pipe_.get());
    }
}

void serve_until_stopped(const std::wstring& pipe, HANDLE stop, const SendForClient& send, const ReportState& report) {
    report(SERVICE_START_PENDING, NO_ERROR);
    DWORD exitCode = NO_ERROR;
    {
        auto server = PipeServer::create(pipe);
        if (server) {
            report(SERVICE_RUNNING, NO_ERROR);
            const Status served = server->run(stop, send);
            if (!served) {
                complain(served.error().text);
                exitCode = ERROR_OPERATION_ABORTED;
            }
        } else {
            // ERROR_ACCESS_DENIED when another process holds the pipe's name.
            complain("cannot create the pipe", server.error());
            exitCode = server.error();
        }
    }
    // The pipe is closed by now. Once "stopped" is reported the service may
    // be started again at once (by the service control manager's restart,
    // or setup's --start), and the new process's first pipe instance must
    // not find this one still there.
    report(SERVICE_STOPPED, exitCode);
}

}  // namespace hp::sas_service
