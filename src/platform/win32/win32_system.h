#pragma once
// The Windows implementations of the platform seams.
#include <memory>
#include <string>

#include "platform/data_protection.h"
#include "platform/sas_system.h"
#include "platform/system.h"
#include "platform/virtual_pad_bus.h"

namespace hp::platform {

// Environment, clock, sockets, interfaces, DPAPI and the Ctrl+Alt+Del checks
// of this Windows system.
std::shared_ptr<System> make_win32_system();

// DPAPI in user scope.
std::unique_ptr<DataProtection> make_dpapi_protection();

// The SoftwareSASGeneration policy, and the sequence sent in this process
// (LocalSystem or uiAccess) or by the Ctrl+Alt+Del helper service.
std::shared_ptr<SasSystem> make_win32_sas_system();
// The same, asking the helper on another pipe (tests).
std::shared_ptr<SasSystem> make_win32_sas_system(std::wstring helperPipe);

// The ViGEmBus bus: SetupAPI enumeration and overlapped DeviceIoControl.
std::shared_ptr<VirtualPadBus> make_virtual_pad_bus();

// Makes libsodium draw its random bytes from the system's preferred source:
// ProcessPrng from bcryptprimitives.dll where it exists (looked up at run
// time; never imported), else BCryptGenRandom with the system-preferred RNG.
// Call once, before any other cryptographic call.
void use_system_random();

}  // namespace hp::platform
