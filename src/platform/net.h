#pragma once
// Socket creation that differs between systems. Returns a native socket
// handle (SOCKET on Windows, a descriptor elsewhere) for the runtime to adopt.
#include <cstdint>

#include "common/result.h"

namespace hp::platform {

// An unbound, inheritable-by-nobody UDP socket for IPv4 or IPv6.
Result<std::uintptr_t> create_udp_socket(bool v6);

}  // namespace hp::platform
