#pragma once
// What hearthpad-sas.exe does for the installer: each function is one
// command-line mode of contract.h and returns its exit code.
#include <windows.h>

#include <functional>

#include "sas_service/contract.h"

namespace hp::sas_service {

// ChangeServiceConfig2W, or a stand-in that records what it is given.
using ServiceConfigChange = std::function<BOOL(SC_HANDLE service, DWORD level, void* info)>;

// Tells the service control manager to start the service again 5 s after
// it fails, twice (a third failure within a day leaves it stopped), where a
// failure is the process ending without reporting SERVICE_STOPPED or
// reporting it with an exit code other than NO_ERROR (the failure-actions
// flag). `service` needs SERVICE_CHANGE_CONFIG and, for the restart action,
// SERVICE_START. False, with the reason on standard error, when either
// setting is refused.
bool set_failure_actions(SC_HANDLE service, const ServiceConfigChange& change = ChangeServiceConfig2W);

ExitCode install_service();
ExitCode uninstall_service();
ExitCode start_service();
ExitCode stop_service();

// The service process: hands the main thread to the service control
// manager until the service has stopped.
ExitCode run_service();

}  // namespace hp::sas_service
