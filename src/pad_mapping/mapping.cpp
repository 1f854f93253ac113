#include "pad_mapping/mapping.h"

#include <span>
#include <string>

#include "input/keys.h"
#include "text_catalogue/catalogue.h"

namespace hp::pad_mapping {

namespace {

// ------------------------------------------------------------------- names

struct Name {
    std::string_view text;  // as written, or an alias (already lower case)
    std::uint8_t value;
};

// Table names contain only letters and digits, so their normalised form is
// their ASCII lower case.
bool same_normalized(std::string_view normalized, std::string_view name) {
    if (normalized.size() != name.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (normalized[i] != c) return false;
    }
    return true;
}

std::optional<std::uint8_t> lookup(std::string_view text, std::span<const Name> names,
                                   std::span<const Name> aliases) {
    const std::string n = input::normalizeName(text);
    for (const Name& entry : names)
        if (same_normalized(n, entry.text)) return entry.value;
    for (const Name& entry : aliases)
        if (same_normalized(n, entry.text)) return entry.value;
    return std::nullopt;
}

std::string_view name_of(std::span<const Name> names, std::uint8_t value) {
    for (const Name& entry : names)
        if (entry.value == value) return entry.text;
    return {};
}

constexpr Name kButtonNames[] = {
    {"a", kA}, {"b", kB}, {"x", kX}, {"y", kY}, {"lb", kLb}, {"rb", kRb}, {"lt", kLt}, {"rt", kRt},
    {"back", kBack}, {"start", kStart}, {"l3", kL3}, {"r3", kR3}, {"dpadUp", kDpadUp},
    {"dpadDown", kDpadDown}, {"dpadLeft", kDpadLeft}, {"dpadRight", kDpadRight},
};
constexpr Name kButtonAliases[] = {
    {"select", kBack}, {"view", kBack}, {"menu", kStart}, {"options", kStart},
    {"up", kDpadUp}, {"down", kDpadDown}, {"left", kDpadLeft}, {"right", kDpadRight},
};
constexpr std::string_view kButtonLabels[kButtonCount] = {
    "A", "B", "X", "Y", "LB (left bumper)", "RB (right bumper)", "LT (left trigger)",
    "RT (right trigger)", "Back / Select", "Start", "L3 (left stick click)",
    "R3 (right stick click)", "D-pad up", "D-pad down", "D-pad left", "D-pad right",
};

constexpr auto u8(StickMode m) { return static_cast<std::uint8_t>(m); }
constexpr Name kStickModeNames[] = {
    {"off", u8(StickMode::Off)}, {"keys", u8(StickMode::Keys)},
    {"mouse", u8(StickMode::Mouse)}, {"scroll", u8(StickMode::Scroll)},
};
constexpr Name kStickModeAliases[] = {
    {"none", u8(StickMode::Off)}, {"disabled", u8(StickMode::Off)},
    {"look", u8(StickMode::Mouse)}, {"mouselook", u8(StickMode::Mouse)},
    {"wheel", u8(StickMode::Scroll)},
};
constexpr std::string_view kStickModeLabels[] = {"Off", "Keys (4 directions)", "Mouse movement",
                                                 "Scroll wheel"};

constexpr auto u8(Preset p) { return static_cast<std::uint8_t>(p); }
constexpr Name kPresetNames[] = {
    {"shooter", u8(Preset::Shooter)}, {"arrows", u8(Preset::Arrows)},
    {"mouseOnly", u8(Preset::MouseOnly)}, {"twinStick", u8(Preset::TwinStick)},
    {"custom", u8(Preset::Custom)},
};
constexpr Name kPresetAliases[] = {
    {"wasdmouse", u8(Preset::Shooter)}, {"fps", u8(Preset::Shooter)},
    {"default", u8(Preset::Shooter)}, {"emulator", u8(Preset::Arrows)},
    {"mouse", u8(Preset::MouseOnly)}, {"desktop", u8(Preset::MouseOnly)},
    {"twin", u8(Preset::TwinStick)}, {"dualkeys", u8(Preset::TwinStick)},
};
// In English; the menus show them translated (text_catalogue).
using text_catalogue::i18n;
constexpr std::string_view kPresetLabels[] = {
    i18n("Shooter (WASD + mouse look)"), i18n("Arrow keys / emulator"), i18n("Mouse only (desktop)"),
    i18n("Twin stick (WASD + arrow keys)"), i18n("Custom"),
};

constexpr Name kOutputNames[] = {{"virtual", 0}, {"keyboardMouse", 1}};
constexpr Name kOutputAliases[] = {
    {"vigem", 0}, {"controller", 0}, {"xinput", 0},
    {"keyboard", 1}, {"keys", 1}, {"mapping", 1},
};

constexpr Name kModifierNames[] = {
    {"ctrl", kModCtrl}, {"shift", kModShift}, {"alt", kModAlt}, {"win", kModWin},
};
constexpr Name kModifierAliases[] = {
    {"control", kModCtrl}, {"option", kModAlt}, {"cmd", kModWin},
    {"meta", kModWin}, {"super", kModWin}, {"command", kModWin},
};

constexpr auto u8(Binding::Kind k) { return static_cast<std::uint8_t>(k); }
constexpr Name kBindingTypeNames[] = {
    {"none", u8(Binding::Kind::None)}, {"key", u8(Binding::Kind::Key)},
    {"mouse", u8(Binding::Kind::MouseButton)}, {"mouseMove", u8(Binding::Kind::MouseMove)},
    {"scroll", u8(Binding::Kind::Wheel)},
};
constexpr Name kBindingTypeAliases[] = {
    {"off", u8(Binding::Kind::None)}, {"nothing", u8(Binding::Kind::None)},
    {"mousebutton", u8(Binding::Kind::MouseButton)}, {"move", u8(Binding::Kind::MouseMove)},
    {"pointer", u8(Binding::Kind::MouseMove)}, {"wheel", u8(Binding::Kind::Wheel)},
};

constexpr Name kMouseButtonNames[] = {{"left", kMouseLeft}, {"right", kMouseRight},
                                      {"middle", kMouseMiddle}};
constexpr Name kMouseButtonAliases[] = {{"primary", kMouseLeft}, {"secondary", kMouseRight}};

constexpr auto u8(Direction d) { return static_cast<std::uint8_t>(d); }
constexpr Name kDirectionNames[] = {
    {"up", u8(Direction::Up)}, {"down", u8(Direction::Down)},
    {"left", u8(Direction::Left)}, {"right", u8(Direction::Right)},
};

// ----------------------------------------------------------------- presets

// Key codes of the keys the presets name.
constexpr KeyCode letter(char c) { return static_cast<KeyCode>(4 + (c - 'a')); }
constexpr KeyCode digit(char c) { return c == '0' ? 39 : static_cast<KeyCode>(30 + (c - '1')); }
constexpr KeyCode kEnter = 40, kEscape = 41, kBackspace = 42, kTab = 43, kSpace = 44;
constexpr KeyCode kRight = 79, kLeft = 80, kDown = 81, kUp = 82;
constexpr KeyCode kLeftCtrl = 224, kLeftShift = 225, kLeftWin = 227;

constexpr Binding key(KeyCode code, BindingMods mods = 0) { return Binding::keyPress(code, mods); }
constexpr Binding mouse(std::uint8_t b) { return Binding::mouse(b); }

constexpr StickConfig stick(StickMode mode, KeyCode up, KeyCode down, KeyCode left, KeyCode right,
                            float deadzone) {
    return StickConfig{mode, up, down, left, right, deadzone, 1.0f, false};
}
constexpr StickConfig wasd(StickMode mode, float deadzone) {
    return stick(mode, letter('w'), letter('s'), letter('a'), letter('d'), deadzone);
}
constexpr StickConfig arrows(StickMode mode, float deadzone) {
    return stick(mode, kUp, kDown, kLeft, kRight, deadzone);
}

constexpr PadMapping make(Preset preset, std::array<Binding, kButtonCount> bindings,
                          StickConfig left, StickConfig right) {
    PadMapping m;
    m.bindings = bindings;
    m.leftStick = left;
    m.rightStick = right;
    m.preset = preset;
    m.useMapping = false;
    return m;
}

// Bindings in the order a, b, x, y, lb, rb, lt, rt, back, start, l3, r3,
// d-pad up, down, left, right.
constexpr PadMapping kPresets[] = {
    make(Preset::Shooter,
         {key(kSpace), key(kLeftCtrl), key(letter('r')), key(letter('q')), key(letter('g')),
          key(letter('e')), mouse(kMouseRight), mouse(kMouseLeft), key(kTab), key(kEscape),
          key(kLeftShift), key(letter('v')), key(kUp), key(kDown), key(kLeft), key(kRight)},
         wasd(StickMode::Keys, 0.25f), wasd(StickMode::Mouse, 0.12f)),
    make(Preset::Arrows,
         {key(kEnter), key(kEscape), key(kSpace), key(kTab), key(letter('z')), key(letter('x')),
          key(kLeftShift), key(kLeftCtrl), key(kBackspace), key(letter('p')), key(letter('e')),
          key(letter('q')), key(kUp), key(kDown), key(kLeft), key(kRight)},
         arrows(StickMode::Keys, 0.3f), wasd(StickMode::Keys, 0.3f)),
    make(Preset::MouseOnly,
         {mouse(kMouseLeft), mouse(kMouseRight), mouse(kMouseMiddle), key(kEnter),
          key(kLeft, kModAlt), key(kRight, kModAlt), key(kLeftCtrl), mouse(kMouseLeft),
          key(kEscape), key(kLeftWin), Binding::none(), mouse(kMouseMiddle), key(kUp), key(kDown),
          key(kLeft), key(kRight)},
         wasd(StickMode::Mouse, 0.15f), arrows(StickMode::Scroll, 0.2f)),
    make(Preset::TwinStick,
         {key(kSpace), key(letter('e')), key(letter('q')), key(letter('r')), key(kLeftShift),
          key(kLeftCtrl), key(letter('z')), key(letter('x')), key(kEscape), key(kEnter),
          key(letter('c')), key(letter('v')), key(digit('1')), key(digit('3')), key(digit('4')),
          key(digit('2'))},
         wasd(StickMode::Keys, 0.25f), arrows(StickMode::Keys, 0.25f)),
};

}  // namespace

PadMapping presetMapping(Preset preset) {
    if (preset == Preset::Custom) {
        PadMapping m = kPresets[0];
        m.preset = Preset::Custom;
        return m;
    }
    const auto i = static_cast<std::size_t>(preset);
    return i < std::size(kPresets) ? kPresets[i] : kPresets[0];
}

PadMapping defaultMapping() { return kPresets[0]; }

PadMapping applyPreset(const PadMapping& current, std::uint8_t index) {
    const PadMapping& source = index < std::size(kPresets) ? kPresets[index] : kPresets[0];
    PadMapping m = current;
    m.bindings = source.bindings;
    m.leftStick = source.leftStick;
    m.rightStick = source.rightStick;
    m.preset = source.preset;
    return m;
}

std::string_view buttonName(std::size_t index) {
    return index < kButtonCount ? kButtonNames[index].text : std::string_view{};
}
std::string_view buttonLabel(std::size_t index) {
    return index < kButtonCount ? kButtonLabels[index] : std::string_view{};
}
std::optional<std::size_t> parseButtonName(std::string_view text) {
    return lookup(text, kButtonNames, kButtonAliases);
}

std::string_view stickModeName(StickMode mode) { return name_of(kStickModeNames, u8(mode)); }
std::string_view stickModeLabel(StickMode mode) {
    const auto i = static_cast<std::size_t>(mode);
    return i < std::size(kStickModeLabels) ? kStickModeLabels[i] : std::string_view{};
}
std::optional<StickMode> parseStickMode(std::string_view text) {
    if (auto v = lookup(text, kStickModeNames, kStickModeAliases)) return static_cast<StickMode>(*v);
    return std::nullopt;
}

std::string_view presetName(Preset preset) { return name_of(kPresetNames, u8(preset)); }
std::string_view presetLabel(Preset preset) {
    const auto i = static_cast<std::size_t>(preset);
    return i < std::size(kPresetLabels) ? kPresetLabels[i] : std::string_view{};
}
std::optional<Preset> parsePresetName(std::string_view text) {
    if (auto v = lookup(text, kPresetNames, kPresetAliases)) return static_cast<Preset>(*v);
    return std::nullopt;
}

std::string_view outputName(bool useMapping) { return kOutputNames[useMapping ? 1 : 0].text; }
std::optional<bool> parseOutputName(std::string_view text) {
    if (auto v = lookup(text, kOutputNames, kOutputAliases)) return *v != 0;
    return std::nullopt;
}

std::string_view modifierName(BindingMods bit) { return name_of(kModifierNames, bit); }
std::optional<BindingMods> parseModifierName(std::string_view text) {
    return lookup(text, kModifierNames, kModifierAliases);
}

std::string_view bindingTypeName(Binding::Kind kind) { return name_of(kBindingTypeNames, u8(kind)); }
std::optional<Binding::Kind> parseBindingType(std::string_view text) {
    if (auto v = lookup(text, kBindingTypeNames, kBindingTypeAliases))
        return static_cast<Binding::Kind>(*v);
    return std::nullopt;
}

std::string_view mouseButtonName(std::uint8_t button) { return name_of(kMouseButtonNames, button); }
std::optional<std::uint8_t> parseMouseButton(std::string_view text) {
    return lookup(text, kMouseButtonNames, kMouseButtonAliases);
}

std::string_view directionName(Direction direction) {
    return name_of(kDirectionNames, u8(direction));
}
std::optional<Direction> parseDirection(std::string_view text) {
    if (auto v = lookup(text, kDirectionNames, {})) return static_cast<Direction>(*v);
    return std::nullopt;
}

}  // namespace hp::pad_mapping
