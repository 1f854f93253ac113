#pragma once
// What hearthpad-sas.exe does for the installer: each function is one
// command-line mode of contract.h and returns its exit code.
#include "sas_service/contract.h"

namespace hp::sas_service {

ExitCode install_service();
ExitCode uninstall_service();
ExitCode start_service();
ExitCode stop_service();

// The service process: hands the main thread to the service control
// manager until the service has stopped.
ExitCode run_service();

}  // namespace hp::sas_service
