#include "client/input.h"

namespace hp::client {

InputCommand mouse_move(float dx, float dy) { return protocol::encode_input_action(protocol::MouseMove{dx, dy}); }

InputCommand mouse_button(std::uint8_t button, bool down) {
    return protocol::encode_input_action(protocol::MouseButton{button, down, 0});
}

InputCommand scroll(float x, float y) { return protocol::encode_input_action(protocol::Scroll{x, y}); }

InputCommand key(std::uint16_t code, std::uint8_t action, std::uint8_t modifiers) {
    return protocol::encode_input_action(protocol::Key{code, action, modifiers});
}

InputCommand edit_shortcut(std::uint8_t code) {
    return protocol::encode_input_action(protocol::EditShortcut{code});
}

InputCommand media_key(std::uint8_t code) { return protocol::encode_input_action(protocol::MediaKey{code}); }

}  // namespace hp::client
