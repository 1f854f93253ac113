#pragma once
// The console host's virtual-pad bus (option --virtual-pad): it behaves like
// an installed driver and prints each device request as one line,
//   platform: padRequest 0x2AA004 1000000001000000000000005e048e02
// with the request code as six upper-case hex digits and the input record in
// lower-case hex. Every request succeeds, except plug-in at the serial
// numbers below firstFreeSerial, which other programs are taken to hold.
#include <cstdint>
#include <memory>
#include <ostream>

#include "platform/virtual_pad_bus.h"

namespace hp::platform {

struct ConsolePadBusOptions {
    std::uint32_t firstFreeSerial = 1;
};

// The stream must outlive the returned object.
std::shared_ptr<VirtualPadBus> make_console_virtual_pad_bus(std::ostream& out, ConsolePadBusOptions options = {});

}  // namespace hp::platform
