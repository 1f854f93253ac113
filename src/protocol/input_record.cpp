#include "protocol/input_record.h"

#include <bit>
#include <cstring>

namespace hp::protocol {

namespace {

void put_u16(InputRecord& r, std::size_t offset, std::uint16_t v) {
    r.payload[offset] = static_cast<std::uint8_t>(v);
    r.payload[offset + 1] = static_cast<std::uint8_t>(v >> 8);
}

void put_f32(InputRecord& r, std::size_t offset, float v) {
    const auto bits = std::bit_cast<std::uint32_t>(v);
    for (std::size_t i = 0; i < 4; ++i) r.payload[offset + i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

// One encoder per kind: its kind byte, payload, modifiers and flags.
struct Encoder {
    InputRecord& r;
    void operator()(const UnknownKind& a) const { r.kind = a.kind; }
    void operator()(const MouseMove& a) const {
        r.kind = static_cast<std::uint8_t>(InputKind::MouseMove);
        put_f32(r, 0, a.dx);
        put_f32(r, 4, a.dy);
    }
    void operator()(const MouseButton& a) const {
        r.kind = static_cast<std::uint8_t>(InputKind::MouseButton);
        r.modifiers = a.modifiers & kModifierMask;
        r.payload[0] = a.button;
        r.payload[1] = a.down ? 1 : 0;
    }
    void operator()(const Scroll& a) const {
        r.kind = static_cast<std::uint8_t>(InputKind::Scroll);
        put_f32(r, 0, a.x);
        put_f32(r, 4, a.y);
    }
    void operator()(const Key& a) const {
        r.kind = static_cast<std::uint8_t>(InputKind::Key);
        r.modifiers = a.modifiers & kModifierMask;
        put_u16(r, 0, a.code);
        r.payload[2] = a.action;
    }
    void operator()(const PinchZoom& a) const {
        r.kind = static_cast<std::uint8_t>(InputKind::PinchZoom);
        r.flags = static_cast<std::uint8_t>((a.phase & 0x0F) << 4);
        put_f32(r, 0, a.delta);
    }
    void operator()(const DesktopShortcut& a) const {
        r.kind = static_cast<std::uint8_t>(InputKind::DesktopShortcut);
        r.payload[0] = a.code;
    }
    void operator()(const EditShortcut& a) const {
        r.kind = static_cast<std::uint8_t>(InputKind::EditShortcut);
        r.payload[0] = a.code;
    }
    void operator()(const ModifierSet& a) const {
        r.kind = static_cast<std::uint8_t>(InputKind::ModifierSet);
        r.payload[0] = a.mask;
    }
    void operator()(const MediaKey& a) const {
        r.kind = static_cast<std::uint8_t>(InputKind::MediaKey);
        r.payload[0] = a.code;
    }
    void operator()(const PadSticks& a) const {
        r.kind = static_cast<std::uint8_t>(InputKind::PadSticks);
        put_u16(r, 0, static_cast<std::uint16_t>(a.leftX));
        put_u16(r, 2, static_cast<std::uint16_t>(a.leftY));
        put_u16(r, 4, static_cast<std::uint16_t>(a.rightX));
        put_u16(r, 6, static_cast<std::uint16_t>(a.rightY));
    }
    void operator()(const PadButtons& a) const {
        r.kind = static_cast<std::uint8_t>(InputKind::PadButtons);
        put_u16(r, 0, a.buttons);
        r.payload[4] = a.dpad;
        r.payload[5] = a.leftTrigger;
        r.payload[6] = a.rightTrigger;
    }
    void operator()(const ReleaseAll&) const { r.kind = static_cast<std::uint8_t>(InputKind::ReleaseAll); }
};

}  // namespace

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

float InputRecord::f32(std::size_t offset) const {
    return std::bit_cast<float>(get_u32le(payload.data() + offset));
}

std::int16_t InputRecord::i16(std::size_t offset) const { return static_cast<std::int16_t>(u16(offset)); }

std::uint16_t InputRecord::u16(std::size_t offset) const {
    return static_cast<std::uint16_t>(payload[offset] | (payload[offset + 1] << 8));
}

std::optional<InputRecord> decode_input_record(ByteView bytes) {
    if (bytes.size() != kInputRecordSize || bytes[0] != kInputRecordVersion) return std::nullopt;
    InputRecord r;
    r.version = bytes[0];
    r.kind = bytes[1];
    r.modifiers = bytes[2];
    r.flags = bytes[3];
    r.seq = get_u64le(bytes.data() + 4);
    std::memcpy(r.payload.data(), bytes.data() + 12, r.payload.size());
    return r;
}

ByteArray<kInputRecordSize> encode_input_record(const InputRecord& r) {
    ByteArray<kInputRecordSize> out{};
    out[0] = r.version;
    out[1] = r.kind;
    out[2] = r.modifiers;
    out[3] = r.flags;
    for (int i = 0; i < 8; ++i) out[4 + i] = static_cast<std::uint8_t>(r.seq >> (8 * i));
    std::memcpy(out.data() + 12, r.payload.data(), r.payload.size());
    return out;
}

InputAction decode_input_action(const InputRecord& r) {
    const std::uint8_t modifiers = r.modifiers & kModifierMask;
    switch (static_cast<InputKind>(r.kind)) {
        case InputKind::MouseMove: return MouseMove{r.f32(0), r.f32(4)};
        case InputKind::MouseButton: return MouseButton{r.u8(0), r.u8(1) != 0, modifiers};
        case InputKind::Scroll: return Scroll{r.f32(0), r.f32(4)};
        case InputKind::Key: return Key{r.u16(0), r.u8(2), modifiers};
        case InputKind::PinchZoom: return PinchZoom{r.f32(0), static_cast<std::uint8_t>(r.flags >> 4)};
        case InputKind::DesktopShortcut: return DesktopShortcut{r.u8(0)};
        case InputKind::EditShortcut: return EditShortcut{r.u8(0)};
        case InputKind::ModifierSet: return ModifierSet{r.u8(0)};
        case InputKind::MediaKey: return MediaKey{r.u8(0)};
        case InputKind::PadSticks: return PadSticks{r.i16(0), r.i16(2), r.i16(4), r.i16(6)};
        case InputKind::PadButtons: return PadButtons{r.u16(0), r.u8(4), r.u8(5), r.u8(6)};
        case InputKind::ReleaseAll: return ReleaseAll{};
    }
    return UnknownKind{r.kind};
}

InputRecord encode_input_action(const InputAction& action, std::uint64_t seq) {
    InputRecord r;
    r.seq = seq;
    std::visit(Encoder{r}, action);
    return r;
}

}  // namespace hp::protocol
