#include "client/input.h"

#include <bit>

namespace hp::client {

namespace {

InputCommand command(InputKind kind) {
    InputCommand c;
    c.kind = static_cast<std::uint8_t>(kind);
    return c;
}

void put_f32(InputCommand& c, std::size_t offset, float v) {
    const auto bits = std::bit_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i) c.payload[offset + i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

}  // namespace

InputCommand mouse_move(float dx, float dy) {
    InputCommand c = command(InputKind::MouseMove);
    put_f32(c, 0, dx);
    put_f32(c, 4, dy);
    return c;
}

InputCommand mouse_button(std::uint8_t button, bool down) {
    InputCommand c = command(InputKind::MouseButton);
    c.payload[0] = button;
    c.payload[1] = down ? 1 : 0;
    return c;
}

InputCommand scroll(float x, float y) {
    InputCommand c = command(InputKind::Scroll);
    put_f32(c, 0, x);
    put_f32(c, 4, y);
    return c;
}

InputCommand key(std::uint16_t code, std::uint8_t action, std::uint8_t modifiers) {
    InputCommand c = command(InputKind::Key);
    c.modifiers = modifiers & 0x0F;
    c.payload[0] = static_cast<std::uint8_t>(code);
    c.payload[1] = static_cast<std::uint8_t>(code >> 8);
    c.payload[2] = action;
    return c;
}

InputCommand edit_shortcut(std::uint8_t code) {
    InputCommand c = command(InputKind::EditShortcut);
    c.payload[0] = code;
    return c;
}

InputCommand media_key(std::uint8_t code) {
    InputCommand c = command(InputKind::MediaKey);
    c.payload[0] = code;
    return c;
}

}  // namespace hp::client
