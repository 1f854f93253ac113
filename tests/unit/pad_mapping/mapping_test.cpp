// The mapping record: the four presets binding by binding, the default
// mapping, applying a preset, and the names read from files.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <string_view>

#include "input/keys.h"
#include "pad_mapping/mapping.h"

namespace hp::pad_mapping {
namespace {

// A binding in the words of the preset table: "key space", "key left alt",
// "mouse right", "nothing".
Binding cell(std::string_view text) {
    if (text == "nothing") return Binding::none();
    if (text.starts_with("mouse ")) return Binding::mouse(*parseMouseButton(text.substr(6)));
    std::string_view name = text.substr(4);
    BindingMods mods = 0;
    if (name.ends_with(" alt")) {
        name.remove_suffix(4);
        mods = kModAlt;
    }
    const auto code = input::parseKeyName(name);
    EXPECT_TRUE(code) << name;
    return Binding::keyPress(code.value_or(0), mods);
}

StickConfig stick_cell(StickMode mode, std::string_view keys, float deadzone) {
    const bool wasd = keys == "wasd";
    auto k = [](std::string_view n) { return *input::parseKeyName(n); };
    return StickConfig{mode,      wasd ? k("w") : k("up"),   wasd ? k("s") : k("down"),
                       wasd ? k("a") : k("left"), wasd ? k("d") : k("right"), deadzone, 1.0f, false};
}

struct PresetColumn {
    Preset preset;
    std::array<std::string_view, kButtonCount> bindings;
    StickConfig left, right;
};

const PresetColumn kTable[] = {
    {Preset::Shooter,
     {"key space", "key leftCtrl", "key r", "key q", "key g", "key e", "mouse right", "mouse left",
      "key tab", "key escape", "key leftShift", "key v", "key up", "key down", "key left",
      "key right"},
     stick_cell(StickMode::Keys, "wasd", 0.25f), stick_cell(StickMode::Mouse, "wasd", 0.12f)},
    {Preset::Arrows,
     {"key enter", "key escape", "key space", "key tab", "key z", "key x", "key leftShift",
      "key leftCtrl", "key backspace", "key p", "key e", "key q", "key up", "key down", "key left",
      "key right"},
     stick_cell(StickMode::Keys, "arrows", 0.3f), stick_cell(StickMode::Keys, "wasd", 0.3f)},
    {Preset::MouseOnly,
     {"mouse left", "mouse right", "mouse middle", "key enter", "key left alt", "key right alt",
      "key leftCtrl", "mouse left", "key escape", "key leftWin", "nothing", "mouse middle",
      "key up", "key down", "key left", "key right"},
     stick_cell(StickMode::Mouse, "wasd", 0.15f), stick_cell(StickMode::Scroll, "arrows", 0.2f)},
    {Preset::TwinStick,
     {"key space", "key e", "key q", "key r", "key leftShift", "key leftCtrl", "key z", "key x",
      "key escape", "key enter", "key c", "key v", "key 1", "key 3", "key 4", "key 2"},
     stick_cell(StickMode::Keys, "wasd", 0.25f), stick_cell(StickMode::Keys, "arrows", 0.25f)},
};

TEST(Presets, HoldEveryBindingAndStickOfTheTable) {
    for (const PresetColumn& column : kTable) {
        SCOPED_TRACE(std::string(presetName(column.preset)));
        const PadMapping m = presetMapping(column.preset);
        for (std::size_t i = 0; i < kButtonCount; ++i)
            EXPECT_EQ(m.bindings[i], cell(column.bindings[i])) << buttonName(i);
        EXPECT_EQ(m.leftStick, column.left);
        EXPECT_EQ(m.rightStick, column.right);
        EXPECT_EQ(m.preset, column.preset);
        EXPECT_FALSE(m.useMapping);
    }
}

TEST(Presets, DefaultIsShooterOnTheVirtualPadAndCustomHasShooterContents) {
    const PadMapping def = defaultMapping();
    EXPECT_EQ(def, presetMapping(Preset::Shooter));
    EXPECT_EQ(def.preset, Preset::Shooter);
    EXPECT_FALSE(def.useMapping);

    PadMapping custom = presetMapping(Preset::Custom);
    EXPECT_EQ(custom.preset, Preset::Custom);
    custom.preset = Preset::Shooter;
    EXPECT_EQ(custom, def);
}

TEST(Presets, ApplyingOneKeepsTheOutputChoice) {
    PadMapping current = presetMapping(Preset::Arrows);
    current.useMapping = true;
    current.bindings[kA] = Binding::wheel(Direction::Down, 3);

    const PadMapping twin = applyPreset(current, 3);
    PadMapping expected = presetMapping(Preset::TwinStick);
    expected.useMapping = true;
    EXPECT_EQ(twin, expected);

    const PadMapping fromCustom = applyPreset(current, 4);
    expected = presetMapping(Preset::Shooter);
    expected.useMapping = true;
    EXPECT_EQ(fromCustom, expected);
    EXPECT_EQ(fromCustom.preset, Preset::Shooter);
}

TEST(Names, ButtonsWithTheirLabelsAndAliases) {
    EXPECT_EQ(buttonName(kDpadRight), "dpadRight");
    EXPECT_EQ(buttonLabel(kBack), "Back / Select");
    EXPECT_EQ(buttonLabel(kR3), "R3 (right stick click)");
    for (std::size_t i = 0; i < kButtonCount; ++i) EXPECT_EQ(parseButtonName(buttonName(i)), i);
    const std::pair<std::string_view, std::size_t> aliases[] = {
        {"select", kBack}, {"View", kBack}, {"MENU", kStart}, {"options", kStart},
        {"up", kDpadUp}, {"down", kDpadDown}, {"left", kDpadLeft}, {"right", kDpadRight},
        {" dpad_up ", kDpadUp}, {"D-Pad Left", kDpadLeft}, {"L3", kL3}};
    for (auto [text, index] : aliases) EXPECT_EQ(parseButtonName(text), index) << text;
    EXPECT_FALSE(parseButtonName("guide"));
    EXPECT_FALSE(parseButtonName(""));
}

TEST(Names, StickModesPresetsOutputsModifiersAndBindingTypes) {
    const std::pair<std::string_view, StickMode> modes[] = {
        {"off", StickMode::Off}, {"None", StickMode::Off}, {"disabled", StickMode::Off},
        {"KEYS", StickMode::Keys}, {"mouse", StickMode::Mouse}, {"look", StickMode::Mouse},
        {"Mouse-Look", StickMode::Mouse}, {"scroll", StickMode::Scroll}, {"wheel", StickMode::Scroll}};
    for (auto [text, mode] : modes) EXPECT_EQ(parseStickMode(text), mode) << text;
    EXPECT_FALSE(parseStickMode("keyboard"));
    EXPECT_EQ(stickModeLabel(StickMode::Keys), "Keys (4 directions)");

    const std::pair<std::string_view, Preset> presets[] = {
        {"shooter", Preset::Shooter}, {"WASD_mouse", Preset::Shooter}, {"FPS", Preset::Shooter},
        {"default", Preset::Shooter}, {"arrows", Preset::Arrows}, {"emulator", Preset::Arrows},
        {"mouse only", Preset::MouseOnly}, {"mouse", Preset::MouseOnly},
        {"desktop", Preset::MouseOnly}, {"twin-stick", Preset::TwinStick}, {"twin", Preset::TwinStick},
        {"dualKeys", Preset::TwinStick}, {"Custom", Preset::Custom}};
    for (auto [text, preset] : presets) EXPECT_EQ(parsePresetName(text), preset) << text;
    EXPECT_EQ(presetLabel(Preset::TwinStick), "Twin stick (WASD + arrow keys)");

    for (std::string_view text : {"virtual", "ViGEm", "controller", "xinput"})
        EXPECT_EQ(parseOutputName(text), false) << text;
    for (std::string_view text : {"keyboardMouse", "keyboard_mouse", "keyboard", "keys", "mapping"})
        EXPECT_EQ(parseOutputName(text), true) << text;
    EXPECT_EQ(outputName(false), "virtual");
    EXPECT_EQ(outputName(true), "keyboardMouse");

    const std::pair<std::string_view, BindingMods> mods[] = {
        {"ctrl", kModCtrl}, {"Control", kModCtrl}, {"shift", kModShift}, {"alt", kModAlt},
        {"option", kModAlt}, {"win", kModWin}, {"cmd", kModWin}, {"meta", kModWin},
        {"super", kModWin}, {"command", kModWin}};
    for (auto [text, bit] : mods) EXPECT_EQ(parseModifierName(text), bit) << text;
    EXPECT_FALSE(parseModifierName("hyper"));

    const std::pair<std::string_view, Binding::Kind> types[] = {
        {"off", Binding::Kind::None}, {"none", Binding::Kind::None}, {"nothing", Binding::Kind::None},
        {"key", Binding::Kind::Key}, {"mouse", Binding::Kind::MouseButton},
        {"mouse_button", Binding::Kind::MouseButton}, {"move", Binding::Kind::MouseMove},
        {"pointer", Binding::Kind::MouseMove}, {"mouseMove", Binding::Kind::MouseMove},
        {"wheel", Binding::Kind::Wheel}, {"scroll", Binding::Kind::Wheel}};
    for (auto [text, kind] : types) EXPECT_EQ(parseBindingType(text), kind) << text;
}

TEST(Names, BindingModifiersConvertToTheProtocolOrder) {
    EXPECT_EQ(protocol_modifiers(kModCtrl), 2);
    EXPECT_EQ(protocol_modifiers(kModShift), 1);
    EXPECT_EQ(protocol_modifiers(kModAlt), 4);
    EXPECT_EQ(protocol_modifiers(kModWin), 8);
    EXPECT_EQ(protocol_modifiers(kModCtrl | kModShift | kModWin), 11);
}

}  // namespace
}  // namespace hp::pad_mapping
