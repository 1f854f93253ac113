#pragma once
// Operations the desktop front ends run against the shared host state.
#include <string>
#include <vector>

#include "server/host_state.h"

namespace hp::server {

// Deletes the device from the store (saving and announcing the change when it
// was there) and ends its open sessions; if one of them had control, held
// input is released and the controller switched off at once.
// `state` must be locked by the caller.
void remove_paired_device(HostState& state, const std::string& clientId);

struct DeviceView {
    std::string clientId;
    std::string deviceName;
    bool online = false;
};
// The paired devices in store order, with whether a session is open.
std::vector<DeviceView> list_devices(const HostState& state);

// The device name of the session in control, if any.
std::optional<std::string> controlling_device(const HostState& state);

}  // namespace hp::server
