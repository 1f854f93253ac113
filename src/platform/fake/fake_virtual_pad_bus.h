#pragma once
// A virtual-pad bus for tests that plays the driver: it records every
// request as bytes and can be told to be absent, to refuse plug-in at given
// serial numbers, to fail every request with a given code, or to hold the
// requests with a given code until the test lets them go (as a driver does
// while Plug and Play sets a new target up).
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "platform/virtual_pad_bus.h"

namespace hp::fake {

struct PadRequest {
    std::uint32_t code = 0;
    Bytes input;
    friend bool operator==(const PadRequest&, const PadRequest&) = default;
};

class FakeVirtualPadBus : public platform::VirtualPadBus {
public:
    // The driver's code for "plug in target" and the error it gives for a
    // serial number that is already taken (ERROR_DEVICE_ALREADY_ATTACHED).
    static constexpr std::uint32_t kPlugInCode = 0x2AA004;
    static constexpr std::uint32_t kSerialTaken = 548;

    FakeVirtualPadBus();

    // Absent: open fails as without the driver.
    void setPresent(bool present);
    // Plug-in requests for this serial number fail.
    void refuseSerial(std::uint32_t serial);
    // Every request with this code fails with error (the probe included).
    void failRequest(std::uint32_t code, std::uint32_t error);

    // Requests with this code wait, once recorded, until released; a bound
    // does not cut the wait short.
    void holdRequests(std::uint32_t code);
    void releaseRequests(std::uint32_t code);
    // Waits until a request with this code is being held; false when none
    // is after `timeout`.
    bool waitHeld(std::uint32_t code, std::chrono::milliseconds timeout) const;

    Result<std::unique_ptr<platform::VirtualPadDevice>> open(std::uint32_t probeCode, ByteView probeInput) override;

    // Every request so far, in order, probes included.
    std::vector<PadRequest> requests() const;
    void clearRequests();
    // Devices opened and not yet closed.
    int openDevices() const;

    struct State;

private:
    std::shared_ptr<State> state_;
};

}  // namespace hp::fake
