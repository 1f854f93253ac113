#pragma once
// The fixed 20-byte input record that clients send inside a session frame
// (type 0x34) or, with an encrypted payload, as a UDP datagram.
//
//   0  version (1)      4  seq, u64 little-endian
//   1  kind             12 payload, 8 bytes, meaning per kind
//   2  modifiers (low 4 bits: 1 Shift, 2 Ctrl, 4 Alt, 8 Win)
//   3  flags (bit 0 acknowledgement requested, bits 4-7 gesture phase)
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "base/bytes.h"

namespace hp::input {

inline constexpr std::size_t kInputCommandSize = 20;

enum class InputKind : std::uint8_t {
    MouseMove = 1,
    MouseButton = 2,
    Scroll = 3,
    Key = 4,
    PinchZoom = 6,
    DesktopShortcut = 7,
    EditShortcut = 8,
    ModifierSet = 9,
    MediaKey = 10,
    PadSticks = 11,
    PadButtons = 12,
    ReleaseAll = 15,
};

// True for the kinds above; every other kind is executed as nothing.
bool is_known_kind(std::uint8_t kind);

struct InputCommand {
    std::uint8_t version = 1;
    std::uint8_t kind = 0;
    std::uint8_t modifiers = 0;
    std::uint8_t flags = 0;
    std::uint64_t seq = 0;
    std::array<std::uint8_t, 8> payload{};

    // Typed payload reads; offsets count from the start of the payload.
    float f32(std::size_t offset) const;
    std::int16_t i16(std::size_t offset) const;
    std::uint16_t u16(std::size_t offset) const;
    std::uint8_t u8(std::size_t offset) const { return payload[offset]; }

    friend bool operator==(const InputCommand&, const InputCommand&) = default;
};

// Reads a record of exactly 20 bytes whose version byte is 1; nothing for
// any other length or version, so such records never reach the executor.
std::optional<InputCommand> decode_input_command(ByteView bytes);
std::array<std::uint8_t, kInputCommandSize> encode_input_command(const InputCommand& command);

}  // namespace hp::input
