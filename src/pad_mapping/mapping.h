#pragma once
// The gamepad mapping: what each of the 16 mappable pad inputs and the two
// sticks do on the keyboard and mouse, which preset it came from, and which
// output (virtual Xbox 360 pad or keyboard/mouse) pad states go to.
//
// Also the name vocabulary the mapping file and the mapping window use
// (buttons, stick modes, presets, outputs, modifiers, binding types, mouse
// buttons, directions) with every alias accepted when reading, and the four
// built-in presets.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "host/input_state.h"

namespace hp::pad_mapping {

using host::KeyCode;
using host::ModifierMask;
using host::PadState;

// Modifiers of a key binding. Deliberately a different bit order from the
// protocol's ModifierMask: 1 Ctrl, 2 Shift, 4 Alt, 8 Win. Bit b is pressed
// as the key 224 + b (left Ctrl, left Shift, left Alt, left Win).
using BindingMods = std::uint8_t;
inline constexpr BindingMods kModCtrl = 1, kModShift = 2, kModAlt = 4, kModWin = 8;
inline constexpr KeyCode kFirstModifierKey = 224;

// The same modifiers in the protocol's order (1 Shift, 2 Ctrl, 4 Alt, 8 Win).
constexpr ModifierMask protocol_modifiers(BindingMods mods) {
    return static_cast<ModifierMask>(((mods & kModCtrl) ? 2 : 0) | ((mods & kModShift) ? 1 : 0) |
                                     (mods & kModAlt) | (mods & kModWin));
}

// Mouse buttons as the input layer numbers them.
inline constexpr std::uint8_t kMouseLeft = 1, kMouseRight = 2, kMouseMiddle = 3;

enum class Direction : std::uint8_t { Up = 0, Down = 1, Left = 2, Right = 3 };

// One mappable pad input's action. Build it with the factories so that the
// members a kind does not use keep their defaults (equality compares all).
struct Binding {
    enum class Kind : std::uint8_t { None, Key, MouseButton, MouseMove, Wheel };
    Kind kind = Kind::None;
    KeyCode key = 0;              // Key
    BindingMods mods = 0;         // Key
    std::uint8_t button = 0;      // MouseButton: 1 left, 2 right, 3 middle
    Direction direction = Direction::Up;  // MouseMove, Wheel
    float speed = 0;              // MouseMove: 0.1-5.0
    std::uint8_t amount = 0;      // Wheel: notches per press, 1-10

    static constexpr Binding none() { return {}; }
    static constexpr Binding keyPress(KeyCode code, BindingMods m = 0) {
        Binding b;
        b.kind = Kind::Key;
        b.key = code;
        b.mods = m;
        return b;
    }
    static constexpr Binding mouse(std::uint8_t which) {
        Binding b;
        b.kind = Kind::MouseButton;
        b.button = which;
        return b;
    }
    static constexpr Binding move(Direction d, float s) {
        Binding b;
        b.kind = Kind::MouseMove;
        b.direction = d;
        b.speed = s;
        return b;
    }
    static constexpr Binding wheel(Direction d, std::uint8_t n) {
        Binding b;
        b.kind = Kind::Wheel;
        b.direction = d;
        b.amount = n;
        return b;
    }
    friend bool operator==(const Binding&, const Binding&) = default;
};

enum class StickMode : std::uint8_t { Off = 0, Keys = 1, Mouse = 2, Scroll = 3 };

struct StickConfig {
    StickMode mode = StickMode::Off;
    KeyCode up = 0, down = 0, left = 0, right = 0;  // 0 = none; kept whatever the mode
    float deadzone = 0.2f;     // 0-0.9
    float sensitivity = 1.0f;  // 0.1-5.0
    bool invertY = false;
    friend bool operator==(const StickConfig&, const StickConfig&) = default;
};

enum class Preset : std::uint8_t { Shooter = 0, Arrows = 1, MouseOnly = 2, TwinStick = 3, Custom = 4 };

// Binding indices, also the bit numbers of the engine's pressed mask.
enum ButtonIndex : std::size_t {
    kA, kB, kX, kY, kLb, kRb, kLt, kRt, kBack, kStart, kL3, kR3,
    kDpadUp, kDpadDown, kDpadLeft, kDpadRight,
    kButtonCount
};

struct PadMapping {
    std::array<Binding, kButtonCount> bindings{};
    StickConfig leftStick, rightStick;
    Preset preset = Preset::Shooter;
    bool useMapping = false;  // false: virtual Xbox 360 pad; true: keyboard/mouse mapping
    friend bool operator==(const PadMapping&, const PadMapping&) = default;
};

// ---------------------------------------------------------------- presets

// The preset's bindings and sticks with that preset and useMapping false.
// Custom gives the shooter contents with preset Custom.
PadMapping presetMapping(Preset preset);

// No usable file: the shooter preset, preset shooter, virtual pad output.
PadMapping defaultMapping();

// current with bindings, sticks and preset replaced by preset index's;
// useMapping is kept. Index 4 (custom) and anything larger yield the shooter
// contents with preset shooter.
PadMapping applyPreset(const PadMapping& current, std::uint8_t index);

// -------------------------------------------------------------- vocabulary
// Every parse* function applies input::normalizeName to its text and tries
// the names first, then the aliases; nothing when neither matches.

// Button: name as written in the file ("dpadUp") and the label people see
// ("D-pad up"). Aliases: select, view → back; menu, options → start; up,
// down, left, right → the d-pad.
std::string_view buttonName(std::size_t index);
std::string_view buttonLabel(std::size_t index);
std::optional<std::size_t> parseButtonName(std::string_view text);

// Aliases: none, disabled → off; look, mouselook → mouse; wheel → scroll.
std::string_view stickModeName(StickMode mode);
std::string_view stickModeLabel(StickMode mode);
std::optional<StickMode> parseStickMode(std::string_view text);

// Aliases: wasdmouse, fps, default → shooter; emulator → arrows; mouse,
// desktop → mouseOnly; twin, dualkeys → twinStick.
std::string_view presetName(Preset preset);
std::string_view presetLabel(Preset preset);
std::optional<Preset> parsePresetName(std::string_view text);

// Output: written "virtual" or "keyboardMouse". Read: virtual, vigem,
// controller, xinput → false (virtual pad); keyboardmouse, keyboard, keys,
// mapping → true (mapping). The value is useMapping.
std::string_view outputName(bool useMapping);
std::optional<bool> parseOutputName(std::string_view text);

// Modifier: written ctrl, shift, alt, win. Read: ctrl, control; shift; alt,
// option; win, cmd, meta, super, command. The value is one BindingMods bit.
std::string_view modifierName(BindingMods bit);
std::optional<BindingMods> parseModifierName(std::string_view text);

// Binding type: written none, key, mouse, mouseMove, scroll. Read: off, none,
// nothing; key; mouse, mousebutton; move, pointer, mousemove; wheel, scroll.
std::string_view bindingTypeName(Binding::Kind kind);
std::optional<Binding::Kind> parseBindingType(std::string_view text);

// Mouse button: written left, right, middle; read also primary, secondary.
std::string_view mouseButtonName(std::uint8_t button);
std::optional<std::uint8_t> parseMouseButton(std::string_view text);

// Direction: up, down, left, right.
std::string_view directionName(Direction direction);
std::optional<Direction> parseDirection(std::string_view text);

}  // namespace hp::pad_mapping
