#include "input/input_command.h"

#include <bit>
#include <cstring>

namespace hp::input {

bool is_known_kind(std::uint8_t kind) {
    switch (static_cast<InputKind>(kind)) {
        case InputKind::MouseMove:
        case InputKind::MouseButton:
        case InputKind::Scroll:
        case InputKind::Key:
        case InputKind::PinchZoom:
        case InputKind::DesktopShortcut:
        case InputKind::EditShortcut:
        case InputKind::ModifierSet:
        case InputKind::MediaKey:
        case InputKind::PadSticks:
        case InputKind::PadButtons:
        case InputKind::ReleaseAll: return true;
    }
    return false;
}

float InputCommand::f32(std::size_t offset) const {
    return std::bit_cast<float>(get_u32le(payload.data() + offset));
}

std::int16_t InputCommand::i16(std::size_t offset) const {
    return static_cast<std::int16_t>(u16(offset));
}

std::uint16_t InputCommand::u16(std::size_t offset) const {
    return static_cast<std::uint16_t>(payload[offset] | (payload[offset + 1] << 8));
}

std::optional<InputCommand> decode_input_command(ByteView bytes) {
    if (bytes.size() != kInputCommandSize || bytes[0] != 1) return std::nullopt;
    InputCommand c;
    c.version = bytes[0];
    c.kind = bytes[1];
    c.modifiers = bytes[2];
    c.flags = bytes[3];
    c.seq = get_u64le(bytes.data() + 4);
    std::memcpy(c.payload.data(), bytes.data() + 12, c.payload.size());
    return c;
}

std::array<std::uint8_t, kInputCommandSize> encode_input_command(const InputCommand& c) {
    std::array<std::uint8_t, kInputCommandSize> out{};
    out[0] = c.version;
    out[1] = c.kind;
    out[2] = c.modifiers;
    out[3] = c.flags;
    for (int i = 0; i < 8; ++i) out[4 + i] = static_cast<std::uint8_t>(c.seq >> (8 * i));
    std::memcpy(out.data() + 12, c.payload.data(), c.payload.size());
    return out;
}

}  // namespace hp::input
