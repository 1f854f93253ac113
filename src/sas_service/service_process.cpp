// The service process: the service control manager's dispatcher on the main
// thread, ServiceMain serving the pipe on the thread the dispatcher gives
// it, and the control handler that ends it on STOP and SHUTDOWN.
#include <windows.h>

#include <memory>
#include <mutex>

#include "platform/win32/sas_helper.h"
#include "sas_service/diagnostics.h"
#include "sas_service/pipe_server.h"
#include "sas_service/service_control.h"

namespace hp::sas_service {

namespace {

// What ServiceMain and the control handler share.
class ServiceState {
public:
    ServiceState() : stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ServiceState(const ServiceState&) = delete;
    ServiceState& operator=(const ServiceState&) = delete;
    ~ServiceState() {
        if (stop_) CloseHandle(stop_);
    }

    bool register_handler(LPHANDLER_FUNCTION_EX handler) {
        handle_ = RegisterServiceCtrlHandlerExW(kServiceName, handler, this);
        return handle_ != nullptr;
    }
    HANDLE stop_event() const { return stop_; }

    // STOP and SHUTDOWN are taken only while running; the pending states
    // count their checkpoint up so the manager sees progress.
    void report(DWORD state, DWORD exitCode = NO_ERROR) {
        std::lock_guard lock(mutex_);
        SERVICE_STATUS status{};
        status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
        status.dwCurrentState = state;
        status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
        status.dwWin32ExitCode = exitCode;
        const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
        status.dwCheckPoint = pending ? ++checkpoint_ : 0;
        status.dwWaitHint = pending ? 3000 : 0;
        SetServiceStatus(handle_, &status);
    }

    void ask_to_stop() {
        report(SERVICE_STOP_PENDING);
        SetEvent(stop_);
    }

private:
    std::mutex mutex_;
    SERVICE_STATUS_HANDLE handle_ = nullptr;
    HANDLE stop_;
    DWORD checkpoint_ = 0;
};

DWORD WINAPI control_handler(DWORD control, DWORD, LPVOID, LPVOID context) {
    auto& state = *static_cast<ServiceState*>(context);
    switch (control) {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_SHUTDOWN:
            state.ask_to_stop();
            return NO_ERROR;
        case SERVICE_CONTROL_INTERROGATE: return NO_ERROR;
        default: return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

VOID WINAPI service_main(DWORD, LPWSTR*) {
    // The handler may still be called while this function returns, and the
    // process ends soon after the service has stopped: the state is left
    // to the process rather than freed under a late call.
    ServiceState& state = *std::make_unique<ServiceState>().release();
    if (!state.stop_event() || !state.register_handler(control_handler)) return;
    serve_until_stopped(platform::kSasHelperPipe, state.stop_event(), send_sas_as_client,
                        [&state](DWORD current, DWORD exitCode) { state.report(current, exitCode); });
}

}  // namespace

ExitCode run_service() {
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<LPWSTR>(kServiceName), service_main}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table)) {
        complain("not started as a service", GetLastError());
        return kExitNotAService;
    }
    return kExitOk;
}

}  // namespace hp::sas_service
