// hearthpad-sas.exe: the Ctrl+Alt+Del helper service and its set-up. See
// contract.h for the command line and the exit codes.
#include <windows.h>

#include <string_view>

#include "platform/win32/dll_search.h"
#include "sas_service/contract.h"
#include "sas_service/service_control.h"

int wmain(int argc, wchar_t** argv) {
    // First: no DLL from this program's folder or the current folder.
    (void)hp::platform::win32::restrict_dll_search();
    using namespace hp::sas_service;
    if (argc != 2) return kExitUsage;
    const std::wstring_view mode = argv[1];
    if (mode == kServiceArgument) return run_service();
    if (mode == kInstallArgument) return install_service();
    if (mode == kUninstallArgument) return uninstall_service();
    if (mode == kStopArgument) return stop_service();
    if (mode == kStartArgument) return start_service();
    return kExitUsage;
}
