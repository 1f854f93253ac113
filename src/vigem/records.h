#pragma once
// What the host sends the ViGEmBus driver: the five device requests with
// their little-endian input records, and the Xbox 360 input report made
// from a client's PadState.
#include <array>
#include <cstdint>

#include "host/input_state.h"

namespace hp::vigem {

using host::PadState;

// Request codes (DeviceIoControl control codes).
inline constexpr std::uint32_t kCheckVersion = 0x2AA00C;
inline constexpr std::uint32_t kPlugInTarget = 0x2AA004;
inline constexpr std::uint32_t kWaitUntilReady = 0x2AA010;
inline constexpr std::uint32_t kUnplugTarget = 0x2AA008;
inline constexpr std::uint32_t kSubmitXbox360Report = 0x2AA808;

inline constexpr std::uint32_t kBusVersion = 1;
inline constexpr std::uint32_t kTargetXbox360Wired = 0;
inline constexpr std::uint16_t kVendorId = 0x045E;   // Microsoft
inline constexpr std::uint16_t kProductId = 0x028E;  // Xbox 360 controller
inline constexpr std::uint32_t kFirstSerial = 1, kLastSerial = 65534;

// ERROR_INVALID_PARAMETER: what drivers that do not know "wait until ready"
// answer to it.
inline constexpr std::uint32_t kErrorInvalidParameter = 87;

// The 12-byte Xbox 360 report.
struct Xbox360Report {
    std::uint16_t buttons = 0;
    std::uint8_t leftTrigger = 0, rightTrigger = 0;
    std::int16_t thumbLX = 0, thumbLY = 0, thumbRX = 0, thumbRY = 0;
    friend bool operator==(const Xbox360Report&, const Xbox360Report&) = default;
};

// The report's button bits for a d-pad value (0 for anything but 1-8).
std::uint16_t dpad_bits(std::uint8_t dpad);
// D-pad and button bits; triggers and sticks unchanged.
Xbox360Report to_report(const PadState& state);

std::array<std::uint8_t, 8> check_version_record();
std::array<std::uint8_t, 16> plug_in_record(std::uint32_t serial);
std::array<std::uint8_t, 8> wait_until_ready_record(std::uint32_t serial);
std::array<std::uint8_t, 8> unplug_record(std::uint32_t serial);
std::array<std::uint8_t, 20> submit_record(std::uint32_t serial, const Xbox360Report& report);

}  // namespace hp::vigem
