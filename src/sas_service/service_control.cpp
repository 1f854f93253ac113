#include "sas_service/service_control.h"

#include <windows.h>

#include <chrono>
#include <iterator>
#include <memory>
#include <string>
#include <type_traits>

#include "base/atomic_file.h"
#include "sas/helper_protocol.h"
#include "sas_service/diagnostics.h"
#include "sas_service/policy_registry.h"

namespace hp::sas_service {

namespace {

using Clock = std::chrono::steady_clock;

struct ServiceHandleCloser {
    void operator()(SC_HANDLE h) const {
        if (h) CloseServiceHandle(h);
    }
};
using ServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ServiceHandleCloser>;

// How often a wait for a state asks the service control manager again.
constexpr DWORD kPollMs = 100;

ExitCode first_failure(ExitCode so_far, ExitCode next) { return so_far != kExitOk ? so_far : next; }

std::optional<SERVICE_STATUS_PROCESS> query(SC_HANDLE service) {
    SERVICE_STATUS_PROCESS status{};
    DWORD size = 0;
    if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                              &size))
        return std::nullopt;
    return status;
}

// Asks the service to stop (again while it cannot take the request yet,
// during its start) and waits for SERVICE_STOPPED at most the limit.
bool stop_and_wait(SC_HANDLE service) {
    const auto deadline = Clock::now() + kServiceWaitLimit;
    for (;;) {
        const auto status = query(service);
        if (!status) {
            complain("cannot ask for the service's state", GetLastError());
            return false;
        }
        if (status->dwCurrentState == SERVICE_STOPPED) return true;
        if (status->dwCurrentState != SERVICE_STOP_PENDING) {
            SERVICE_STATUS ignored{};
            if (!ControlService(service, SERVICE_CONTROL_STOP, &ignored)) {
                const DWORD error = GetLastError();
                if (error == ERROR_SERVICE_NOT_ACTIVE) return true;
                if (error != ERROR_SERVICE_CANNOT_ACCEPT_CTRL) {
                    complain("cannot stop the service", error);
                    return false;
                }
            }
        }
        if (Clock::now() >= deadline) {
            complain("the service did not stop in time", ERROR_TIMEOUT);
            return false;
        }
        Sleep(kPollMs);
    }
}

// Starts the service and waits for SERVICE_RUNNING at most the limit; a
// service that stops on the way has failed to start.
bool start_and_wait(SC_HANDLE service) {
    if (!StartServiceW(service, 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
        complain("cannot start the service", GetLastError());
        return false;
    }
    const auto deadline = Clock::now() + kServiceWaitLimit;
    for (;;) {
        const auto status = query(service);
        if (!status) {
            complain("cannot ask for the service's state", GetLastError());
            return false;
        }
        if (status->dwCurrentState == SERVICE_RUNNING) return true;
        if (status->dwCurrentState == SERVICE_STOPPED) {
            complain("the service stopped while starting",
                     status->dwWin32ExitCode == ERROR_SERVICE_SPECIFIC_ERROR ? status->dwServiceSpecificExitCode
                                                                             : status->dwWin32ExitCode);
            return false;
        }
        if (Clock::now() >= deadline) {
            complain("the service did not start in time", ERROR_TIMEOUT);
            return false;
        }
        Sleep(kPollMs);
    }
}

// This program's full path; nothing when the system cannot tell it.
std::optional<std::wstring> own_path() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return std::nullopt;
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        if (path.size() >= 32768) return std::nullopt;
        path.resize(path.size() * 2);
    }
}

// Creates the service, or configures the existing one the same way.
ServiceHandle create_or_configure(SC_HANDLE manager, const std::wstring& command) {
    constexpr DWORD kAccess = SERVICE_CHANGE_CONFIG | SERVICE_QUERY_STATUS | SERVICE_START | SERVICE_STOP;
    ServiceHandle service(OpenServiceW(manager, kServiceName, kAccess));
    if (service) {
        // LocalSystem takes an empty password.
        if (!ChangeServiceConfigW(service.get(), SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                  SERVICE_ERROR_NORMAL, command.c_str(), nullptr, nullptr, L"\0", L"LocalSystem",
                                  L"", kDisplayName)) {
            complain("cannot configure the service", GetLastError());
            return nullptr;
        }
    } else if (GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) {
        // No account name: LocalSystem.
        service.reset(CreateServiceW(manager, kServiceName, kDisplayName, kAccess, SERVICE_WIN32_OWN_PROCESS,
                                     SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, command.c_str(), nullptr, nullptr,
                                     nullptr, nullptr, nullptr));
        if (!service) {
            complain("cannot create the service", GetLastError());
            return nullptr;
        }
    } else {
        complain("cannot open the service", GetLastError());
        return nullptr;
    }
    SERVICE_DESCRIPTIONW description{const_cast<LPWSTR>(kDescription)};
    if (!ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, &description)) {
        complain("cannot describe the service", GetLastError());
        return nullptr;
    }
    // Without them the helper works until its first failure; the install
    // goes on (the reason is on standard error).
    (void)set_failure_actions(service.get());
    return service;
}

}  // namespace

bool set_failure_actions(SC_HANDLE service, const ServiceConfigChange& change) {
    // The Nth failure takes the Nth action, and any later one the last
    // (SERVICE_FAILURE_ACTIONS): two restarts, then nothing. The count goes
    // back to zero after a day without failure.
    SC_ACTION actions[] = {{SC_ACTION_RESTART, 5000}, {SC_ACTION_RESTART, 5000}, {SC_ACTION_NONE, 0}};
    SERVICE_FAILURE_ACTIONSW failure{};
    failure.dwResetPeriod = 24 * 60 * 60;
    failure.lpRebootMsg = nullptr;  // unchanged: no reboot action
    failure.lpCommand = nullptr;    // unchanged: no command action
    failure.cActions = static_cast<DWORD>(std::size(actions));
    failure.lpsaActions = actions;
    if (!change(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure)) {
        complain("cannot set the service's failure actions", GetLastError());
        return false;
    }
    // Also when the service reports SERVICE_STOPPED with an error (its pipe
    // could not be made), not only when its process ends unannounced.
    SERVICE_FAILURE_ACTIONS_FLAG flag{TRUE};
    if (!change(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &flag)) {
        complain("cannot set the service's failure-actions flag", GetLastError());
        return false;
    }
    return true;
}

ExitCode install_service() {
    const ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
    if (!manager) {
        complain("cannot open the service control manager", GetLastError());
        return kExitNoServiceManager;
    }
    // The policy first: a service that runs while Windows would ignore it
    // helps no one, and the record covers the value written before any
    // later step can fail.
    if (const Status policy = sas::install_policy(*make_policy_registry()); !policy) {
        complain("the SoftwareSASGeneration policy: " + policy.error().text);
        return kExitPolicy;
    }
    const auto path = own_path();
    if (!path) {
        complain("cannot tell this program's path", GetLastError());
        return kExitServiceSetup;
    }
    const ServiceHandle service = create_or_configure(manager.get(), L"\"" + *path + L"\" " + kServiceArgument);
    if (!service) return kExitServiceSetup;
    // A running service goes on with the configuration it started with:
    // it is started again so that the one just written is in force.
    if (const auto status = query(service.get()); status && status->dwCurrentState != SERVICE_STOPPED) {
        if (!stop_and_wait(service.get())) return kExitStopFailed;
    }
    return start_and_wait(service.get()) ? kExitOk : kExitStartFailed;
}

ExitCode uninstall_service() {
    const ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        complain("cannot open the service control manager", GetLastError());
        return kExitNoServiceManager;
    }
    ExitCode code = kExitOk;
    const ServiceHandle service(OpenServiceW(manager.get(), kServiceName, DELETE | SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (service) {
        // Deleted even when it would not stop: the service control manager
        // then removes it once it has stopped.
        if (!stop_and_wait(service.get())) code = kExitStopFailed;
        if (!DeleteService(service.get()) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE) {
            complain("cannot delete the service", GetLastError());
            code = first_failure(code, kExitDeleteFailed);
        }
    } else if (GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST) {
        complain("cannot open the service", GetLastError());
        code = kExitDeleteFailed;
    }
    if (const Status policy = sas::uninstall_policy(*make_policy_registry()); !policy) {
        complain("the SoftwareSASGeneration policy: " + policy.error().text);
        code = first_failure(code, kExitPolicy);
    }
    return code;
}

namespace {

// The service opened for `access`, or the exit code to end with: `missing`
// when it does not exist, `failed` when it cannot be opened.
struct OpenedService {
    ServiceHandle manager, service;
    ExitCode code = kExitOk;
};

OpenedService open_service(DWORD access, ExitCode missing, ExitCode failed) {
    OpenedService out;
    out.manager.reset(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!out.manager) {
        complain("cannot open the service control manager", GetLastError());
        out.code = kExitNoServiceManager;
        return out;
    }
    out.service.reset(OpenServiceW(out.manager.get(), kServiceName, access));
    if (!out.service) {
        if (GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) {
            out.code = missing;
        } else {
            complain("cannot open the service", GetLastError());
            out.code = failed;
        }
    }
    return out;
}

}  // namespace

ExitCode stop_service() {
    const OpenedService opened = open_service(SERVICE_STOP | SERVICE_QUERY_STATUS, kExitOk, kExitStopFailed);
    if (!opened.service) return opened.code;
    return stop_and_wait(opened.service.get()) ? kExitOk : kExitStopFailed;
}

ExitCode start_service() {
    const OpenedService opened = open_service(SERVICE_START | SERVICE_QUERY_STATUS, kExitNotInstalled, kExitStartFailed);
    if (!opened.service) return opened.code;
    return start_and_wait(opened.service.get()) ? kExitOk : kExitStartFailed;
}

}  // namespace hp::sas_service
