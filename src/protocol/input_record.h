#pragma once
// The fixed 20-byte input record that clients send inside a session frame
// (type 0x34) or, with an encrypted payload, as a UDP datagram.
//
//   0  version (1)      4  seq, u64 little-endian
//   1  kind             12 payload, 8 bytes, meaning per kind
//   2  modifiers (low 4 bits: 1 Shift, 2 Ctrl, 4 Alt, 8 Win)
//   3  flags (bit 0 acknowledgement requested, bits 4-7 gesture phase)
//
// Two levels: InputRecord is the record as bytes in fields (what the replay
// check and the transports need), and InputAction is what its kind and
// payload say, one type per kind, so that nothing past this header reads a
// payload offset. Encoding an action and decoding it again gives the same
// action; decoding is total (an unknown kind is UnknownKind).
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <variant>

#include "base/bytes.h"

namespace hp::protocol {

inline constexpr std::size_t kInputRecordSize = 20;
inline constexpr std::uint8_t kInputRecordVersion = 1;
// Modifier bits (byte 2), read by MouseButton and Key.
inline constexpr std::uint8_t kModifierMask = 0x0F;

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

struct InputRecord {
    std::uint8_t version = kInputRecordVersion;
    std::uint8_t kind = 0;
    std::uint8_t modifiers = 0;
    std::uint8_t flags = 0;
    std::uint64_t seq = 0;
    std::array<std::uint8_t, 8> payload{};

    // Payload reads; offsets count from the start of the payload.
    float f32(std::size_t offset) const;
    std::int16_t i16(std::size_t offset) const;
    std::uint16_t u16(std::size_t offset) const;
    std::uint8_t u8(std::size_t offset) const { return payload[offset]; }

    friend bool operator==(const InputRecord&, const InputRecord&) = default;
};

// Reads a record of exactly 20 bytes whose version byte is 1; nothing for
// any other length or version, so such records are never executed.
std::optional<InputRecord> decode_input_record(ByteView bytes);
ByteArray<kInputRecordSize> encode_input_record(const InputRecord& record);

// ------------------------------------------------------------ the kinds

// Pixels, relative.
struct MouseMove {
    float dx = 0, dy = 0;
    friend bool operator==(const MouseMove&, const MouseMove&) = default;
};
// Button 1 left, 2 right, 3 middle; the record's modifiers go with a press.
struct MouseButton {
    std::uint8_t button = 0;
    bool down = false;
    std::uint8_t modifiers = 0;
    friend bool operator==(const MouseButton&, const MouseButton&) = default;
};
struct Scroll {
    float x = 0, y = 0;
    friend bool operator==(const Scroll&, const Scroll&) = default;
};
// A USB HID usage id; action 0 up, 1 down, 2 down again. The record's
// modifiers go with a press.
struct Key {
    std::uint16_t code = 0;
    std::uint8_t action = 0;
    std::uint8_t modifiers = 0;
    friend bool operator==(const Key&, const Key&) = default;
};
// Phase 1 begins, 2 zooms by `delta`, 3 and 5 end (the flags' high bits).
struct PinchZoom {
    float delta = 0;
    std::uint8_t phase = 0;
    friend bool operator==(const PinchZoom&, const PinchZoom&) = default;
};
struct DesktopShortcut {
    std::uint8_t code = 0;
    friend bool operator==(const DesktopShortcut&, const DesktopShortcut&) = default;
};
struct EditShortcut {
    std::uint8_t code = 0;
    friend bool operator==(const EditShortcut&, const EditShortcut&) = default;
};
// Exactly these modifiers held (low 4 bits).
struct ModifierSet {
    std::uint8_t mask = 0;
    friend bool operator==(const ModifierSet&, const ModifierSet&) = default;
};
struct MediaKey {
    std::uint8_t code = 0;
    friend bool operator==(const MediaKey&, const MediaKey&) = default;
};
// Full i16 range, Y positive up.
struct PadSticks {
    std::int16_t leftX = 0, leftY = 0, rightX = 0, rightY = 0;
    friend bool operator==(const PadSticks&, const PadSticks&) = default;
};
struct PadButtons {
    std::uint16_t buttons = 0;
    std::uint8_t dpad = 0, leftTrigger = 0, rightTrigger = 0;
    friend bool operator==(const PadButtons&, const PadButtons&) = default;
};
struct ReleaseAll {
    friend bool operator==(const ReleaseAll&, const ReleaseAll&) = default;
};
// A kind this host does not know: executed as nothing.
struct UnknownKind {
    std::uint8_t kind = 0;
    friend bool operator==(const UnknownKind&, const UnknownKind&) = default;
};

using InputAction = std::variant<UnknownKind, MouseMove, MouseButton, Scroll, Key, PinchZoom, DesktopShortcut,
                                 EditShortcut, ModifierSet, MediaKey, PadSticks, PadButtons, ReleaseAll>;

// What the record asks for, read by its kind.
InputAction decode_input_action(const InputRecord& record);

// The record for an action, version 1 and sequence number `seq`: the kind,
// the payload, the modifiers (MouseButton, Key; low 4 bits) and the phase in
// the flags (PinchZoom). Unused payload bytes are 0.
InputRecord encode_input_action(const InputAction& action, std::uint64_t seq = 0);

}  // namespace hp::protocol
