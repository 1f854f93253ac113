#pragma once
// The ViGEmBus client: opening the bus device, plugging a wired Xbox 360
// target in, feeding it reports, and unplugging it when the last reference
// to it goes away.
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>

#include "base/result.h"
#include "host/input_state.h"
#include "platform/virtual_pad_bus.h"

namespace hp::vigem {

using host::PadState;

// "Wait until ready" completes once Plug and Play has installed and started
// the new controller, which takes seconds the first time; every other
// request is bounded by platform::kPadRequestBound.
inline constexpr std::chrono::milliseconds kReadyBound{30000};

// Opens the bus device that accepts the version check.
Result<std::unique_ptr<platform::VirtualPadDevice>> openDevice(platform::VirtualPadBus& bus);

// A bus without a driver: opening always fails. Stands in when the host is
// given no bus at all.
std::shared_ptr<platform::VirtualPadBus> absent_bus();

// The start-up probe: true when the device opens (it is closed again at once).
bool probe(platform::VirtualPadBus& bus);

// One plugged-in target, shared by reference counting. Its requests are
// serialised by a lock of its own.
class VirtualPad {
    struct Passkey {
        explicit Passkey() = default;
    };

public:
    // Opens the device, plugs a target in at the first serial from 1 to
    // 65534 that the bus accepts and waits until it is ready (a bus that
    // answers ERROR_INVALID_PARAMETER to the wait counts as ready). Null when
    // any of this fails; nothing stays plugged in then.
    static std::shared_ptr<VirtualPad> plugIn(platform::VirtualPadBus& bus);

    VirtualPad(Passkey, std::unique_ptr<platform::VirtualPadDevice> device);
    VirtualPad(const VirtualPad&) = delete;
    VirtualPad& operator=(const VirtualPad&) = delete;
    // Unplugs the target (if plugged in) and closes the device.
    ~VirtualPad();

    // Sends the report for state; the outcome is not acted on.
    void submit(const PadState& state);
    // The same for the state numbered `order` by the caller: a state older
    // than one already sent is not sent, so a report that was overtaken
    // never replaces a newer one.
    void submit(const PadState& state, std::uint64_t order);

    std::uint32_t serial() const;

private:
    mutable std::mutex mutex_;
    std::unique_ptr<platform::VirtualPadDevice> device_;
    std::uint32_t serial_ = 0;  // 0: not plugged in
    std::uint64_t sent_ = 0;    // the order of the newest state sent
};

}  // namespace hp::vigem
