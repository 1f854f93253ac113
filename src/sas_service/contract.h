#pragma once
// hearthpad-sas.exe: what the installer and the host rely on.
//
// Command line (exactly one argument; nothing is printed that anyone needs,
// a failure writes one line to standard error when there is one):
//   --install    sets the SoftwareSASGeneration policy so that services may
//                generate Ctrl+Alt+Del and records what it found (below),
//                creates the service kServiceName (or, when it exists,
//                configures it again: own process, automatic start,
//                LocalSystem, this program's full path quoted followed by
//                --service, started again 5 s after a failure, twice: see
//                set_failure_actions), and starts it (a running one is stopped and
//                started again, so that the configuration just written is
//                in force). Waits until it runs.
//   --uninstall  stops the service (waiting for it to stop), deletes it and
//                puts the policy back; 0 also when no service exists.
//   --stop       stops the service and waits for it to stop; 0 also when it
//                does not exist or is not running.
//   --start      starts the service and waits for it to run.
//   --service    the service process itself, for the service control
//                manager only.
// Each wait is bounded by kServiceWaitLimit.
#include <chrono>

namespace hp::sas_service {

inline constexpr wchar_t kServiceName[] = L"HearthpadSas";
inline constexpr wchar_t kDisplayName[] = L"Hearthpad Ctrl+Alt+Del helper";
inline constexpr wchar_t kDescription[] =
    L"Sends Ctrl+Alt+Del for Hearthpad when a paired phone asks for it. Windows lets only services and "
    L"accessibility programs send it.";

inline constexpr wchar_t kInstallArgument[] = L"--install";
inline constexpr wchar_t kUninstallArgument[] = L"--uninstall";
inline constexpr wchar_t kStopArgument[] = L"--stop";
inline constexpr wchar_t kStartArgument[] = L"--start";
inline constexpr wchar_t kServiceArgument[] = L"--service";

// Exit codes. When a step fails, the later steps that do not depend on it
// still run (--uninstall deletes the service and restores the policy even
// when the stop timed out) and the first failure's code is returned.
enum ExitCode : int {
    kExitOk = 0,
    kExitUsage = 1,              // no argument, more than one, or an unknown one
    kExitNoServiceManager = 2,   // the service control manager refused (not run as an administrator)
    kExitServiceSetup = 3,       // the service could not be created or configured
    kExitPolicy = 4,             // the policy or its record could not be read or written
    kExitStartFailed = 5,        // the service did not reach "running" in time, or stopped while starting
    kExitStopFailed = 6,         // the service did not reach "stopped" in time
    kExitDeleteFailed = 7,       // the service could not be deleted
    kExitNotInstalled = 8,       // --start: there is no such service
    kExitNotAService = 9,        // --service: not started by the service control manager
};

inline constexpr std::chrono::seconds kServiceWaitLimit{20};

// The record of the policy as --install found it (see sas::PolicyRecord),
// kept in the 64-bit view of HKLM beside the program's uninstall entry, so
// that --uninstall can put it back. An uninstaller must run --uninstall
// before it deletes that key. --install creates the key when it is missing;
// --uninstall deletes the values below, and the key too when nothing else
// is left in it.
inline constexpr wchar_t kRecordKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Hearthpad";
// REG_DWORD 1 while a record is kept.
inline constexpr wchar_t kRecordedValue[] = L"SasPolicyRecorded";
// REG_DWORD: the SoftwareSASGeneration value found at the first
// installation; missing when there was none.
inline constexpr wchar_t kFoundValue[] = L"SasPolicyFound";
// REG_DWORD: the value the installations wrote last; missing when they
// wrote none (the value found already allowed services).
inline constexpr wchar_t kWrittenValue[] = L"SasPolicyWritten";

inline constexpr wchar_t kPolicyKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
inline constexpr wchar_t kPolicyValue[] = L"SoftwareSASGeneration";

// The pipe's security: full control for LocalSystem (the service), and for
// interactive users read and write of data (FILE_GENERIC_READ |
// FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES = 0x12018b) but never
// FILE_CREATE_PIPE_INSTANCE, so no user can add an instance of their own to
// the service's pipe. Protected: nothing inherited.
inline constexpr wchar_t kPipeSecurity[] = L"D:P(A;;GA;;;SY)(A;;0x12018b;;;IU)";

}  // namespace hp::sas_service
