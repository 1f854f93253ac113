#pragma once
// Every address of every network interface, as the system reports them.
#include <optional>
#include <vector>

#include "common/ip_address.h"

namespace hp::platform {

// Nothing when the enumeration itself fails.
std::optional<std::vector<IpAddress>> interface_addresses();

}  // namespace hp::platform
