#pragma once
// Input commands as the client builds them: the 20-byte record with its kind,
// modifiers and payload, written by the protocol's typed encoder. The
// sequence number is set when the command is sent.
#include <cstdint>

#include "protocol/input_record.h"

namespace hp::client {

using InputCommand = protocol::InputRecord;
using protocol::InputKind;

// Key actions of the Key kind.
inline constexpr std::uint8_t kKeyUp = 0, kKeyDown = 1;
// Buttons of the MouseButton kind.
inline constexpr std::uint8_t kLeftButton = 1, kRightButton = 2, kMiddleButton = 3;
// EditShortcut codes the client uses.
inline constexpr std::uint8_t kEditLock = 8, kEditCtrlAltDel = 9;

InputCommand mouse_move(float dx, float dy);
InputCommand mouse_button(std::uint8_t button, bool down);
InputCommand scroll(float x, float y);
InputCommand key(std::uint16_t code, std::uint8_t action, std::uint8_t modifiers);
InputCommand edit_shortcut(std::uint8_t code);
InputCommand media_key(std::uint8_t code);

}  // namespace hp::client
