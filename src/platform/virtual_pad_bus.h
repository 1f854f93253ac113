#pragma once
// The virtual-gamepad bus driver (ViGEmBus) as the host reaches it: a bus
// that can be opened, and an opened device that carries device requests as
// raw little-endian records. The records themselves are built and read by
// the core (src/vigem); this layer only moves bytes.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/bytes.h"
#include "base/result.h"

namespace hp::platform {

// How long a device request may stay pending before it is cancelled: the
// probe in open, and every request the core sends except "wait until ready"
// (which it bounds itself).
inline constexpr std::chrono::milliseconds kPadRequestBound{1000};

// The outcome of one device request.
struct PadReply {
    std::uint32_t error = 0;  // 0 on success, else the Windows error code
    Bytes output;             // what the device wrote, for a request with an output buffer
    bool ok() const { return error == 0; }
};

// One opened bus device. Destroying it closes the device and its event.
class VirtualPadDevice {
public:
    virtual ~VirtualPadDevice() = default;
    // Sends one request with input as its input buffer and, when outputSize
    // is not 0, an output buffer of that size; returns when the request has
    // completed. A request still pending after `bound` is cancelled and
    // answers with the cancelled request's outcome; a device that does not
    // complete even a cancelled request is closed, and every later request
    // on it fails at once. One request at a time: callers serialise.
    virtual PadReply request(std::uint32_t code, ByteView input, std::size_t outputSize,
                             std::chrono::milliseconds bound) = 0;
};

class VirtualPadBus {
public:
    virtual ~VirtualPadBus() = default;
    // Finds the bus's device interfaces and opens the first one that accepts
    // the probe request (the version check, bounded by kPadRequestBound).
    // The error says why none did: no bus, interface details unreadable,
    // opening refused, probe refused.
    virtual Result<std::unique_ptr<VirtualPadDevice>> open(std::uint32_t probeCode, ByteView probeInput) = 0;
};

}  // namespace hp::platform
