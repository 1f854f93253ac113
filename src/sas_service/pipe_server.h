#pragma once
// The service's end of \\.\pipe\HearthpadSas: one instance, one client at a
// time, each held to a deadline, the whole of it ended at once by the stop
// event. For each client: the request (one message), the client's session
// against the active console session (sas::answer_client decides), the
// status byte, and the disconnection once the client has taken the answer.
#include <windows.h>

#include <chrono>
#include <expected>
#include <functional>
#include <memory>
#include <string>

#include "base/result.h"

namespace hp::sas_service {

// How long a client has to send its request, and then to take the answer
// and close its end, before the service goes on to the next one.
inline constexpr std::chrono::milliseconds kRequestLimit{2000};
inline constexpr std::chrono::milliseconds kAnswerTakenLimit{2000};

// Generates the sequence for the client of the connected `pipe`; false when
// it could not be called.
using SendForClient = std::function<bool(HANDLE pipe)>;

// SendSAS(FALSE) from sas.dll in the system directory, called while
// impersonating the pipe's client: a service that impersonates its caller
// generates the sequence in the caller's session (see SendSAS). The thread
// reverts to the service's own token after the call, always.
bool send_sas_as_client(HANDLE pipe);

// The service's life from its start to its end, each state told through
// `report` (state, exit code): START_PENDING; RUNNING once the pipe exists;
// serving until `stop` is signalled; STOPPED last, with NO_ERROR, the
// system's code when the pipe could not be created, or
// ERROR_OPERATION_ABORTED when it could not go on.
using ReportState = std::function<void(DWORD state, DWORD exitCode)>;
void serve_until_stopped(const std::wstring& pipe, HANDLE stop, const SendForClient& send, const ReportState& report);

class PipeServer {
public:
    // Creates the pipe's first instance, with the security of
    // kPipeSecurity. FILE_FLAG_FIRST_PIPE_INSTANCE makes this fail when a
    // pipe of that name exists already (ERROR_ACCESS_DENIED): whoever made
    // it is not this service, and the service must not share a name with
    // it. Remote clients are rejected. The error is the system's code.
    static std::expected<PipeServer, DWORD> create(const std::wstring& name);

    PipeServer(PipeServer&&) noexcept;
    PipeServer& operator=(PipeServer&&) noexcept;
    ~PipeServer();

    // Serves one client after another until `stop` is signalled; returns
    // then, or with an error when the pipe cannot go on.
    Status run(HANDLE stop, const SendForClient& send);

private:
    struct Io;
    enum class Wait { Done, Stopped, TimedOut, Stranded };

    PipeServer(HANDLE pipe, HANDLE event);
    // Starts nothing; waits for the request started on io_ at most `limit`,
    // cancelling it when the limit or the stop comes first.
    Wait wait(HANDLE stop, std::chrono::milliseconds limit, DWORD& transferred, DWORD& error);
    Wait serve_one(HANDLE stop, const SendForClient& send);

    struct HandleCloser {
        void operator()(HANDLE h) const;
    };
    std::unique_ptr<void, HandleCloser> pipe_;
    std::unique_ptr<Io> io_;
};

}  // namespace hp::sas_service
