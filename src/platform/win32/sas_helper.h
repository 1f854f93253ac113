#pragma once
// The Ctrl+Alt+Del helper: the service "HearthpadSas" (hearthpad-sas.exe,
// set up by the installer), running as LocalSystem, the one kind of process
// for which SendSAS works without uiAccess. It serves the named pipe below;
// the bytes spoken on it are in platform/sas_system.h. A client connects,
// writes the request byte and reads one status byte; only "sent" means the
// service called SendSAS(FALSE) for the client's session.
//
// The pipe's name is not proof of anything: while the service is stopped
// any local user may create a pipe of that name. So the host trusts an
// answer only from a pipe served by the process the service control
// manager says the service runs in.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/sas_system.h"

namespace hp::platform {

inline constexpr wchar_t kSasHelperPipe[] = L"\\\\.\\pipe\\HearthpadSas";
inline constexpr wchar_t kSasServiceName[] = L"HearthpadSas";

// The process the service `name` runs in now (QueryServiceStatusEx through
// a handle opened with SERVICE_QUERY_STATUS only, which the service's
// default security grants interactive users); nothing when it is not
// installed, not running, or cannot be asked.
std::optional<std::uint32_t> service_process_id(const wchar_t* name);

// Where the host asks for the sequence: the pipe, and the process that must
// serve it for its answer to count (asked anew for every request).
struct SasHelperEndpoint {
    std::wstring pipe = kSasHelperPipe;
    std::function<std::optional<std::uint32_t>()> trustedServer = [] { return service_process_id(kSasServiceName); };
};

// The Ctrl+Alt+Del system asking the helper at `endpoint` (tests serve a
// pipe of their own and name their own process as the trusted server).
std::shared_ptr<SasSystem> make_win32_sas_system(SasHelperEndpoint endpoint);

}  // namespace hp::platform
