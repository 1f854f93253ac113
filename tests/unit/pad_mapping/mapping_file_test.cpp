// The mapping file: lenient reading (each edge case against the preset it
// names), the written layout, the round trip, the legacy file and the files
// in the data directory.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>

#include "input/keys.h"
#include "pad_mapping/mapping_file.h"

namespace hp::pad_mapping {
namespace {

namespace fs = std::filesystem;

KeyCode key(std::string_view name) { return *input::parseKeyName(name); }

using namespace std::string_view_literals;

struct FileCase {
    const char* label;
    std::string_view text;
    std::function<PadMapping()> expected;
};

// The preset's contents with one change.
PadMapping with(Preset preset, const std::function<void(PadMapping&)>& change) {
    PadMapping m = presetMapping(preset);
    change(m);
    return m;
}

class ReadingAFile : public ::testing::TestWithParam<FileCase> {};

TEST_P(ReadingAFile, GivesThePresetWithTheUsableFields) {
    EXPECT_EQ(loadMapping(GetParam().text), GetParam().expected()) << GetParam().text;
}

const FileCase kFiles[] = {
    // Presets, in any case and by alias.
    {"preset_alias_in_capitals", R"({"preset": "FPS"})", [] { return presetMapping(Preset::Shooter); }},
    {"custom_capitalised", R"({"preset": "Custom"})", [] { return presetMapping(Preset::Custom); }},
    {"preset_alias_emulator", R"({"preset": "emulator"})", [] { return presetMapping(Preset::Arrows); }},
    {"preset_spelled_loosely", R"({"preset": " Twin_Stick "})",
     [] { return presetMapping(Preset::TwinStick); }},
    {"unknown_preset_is_custom", R"({"preset": "racing"})", [] { return presetMapping(Preset::Custom); }},
    {"no_preset_is_custom", R"({"mode": "virtual"})", [] { return presetMapping(Preset::Custom); }},
    {"preset_not_a_string", R"({"preset": 1})", [] { return presetMapping(Preset::Custom); }},
    // Version and whole-file failures.
    {"version_2_ignored_entirely", R"({"version": 2, "preset": "arrows", "mode": "keyboardMouse"})",
     [] { return defaultMapping(); }},
    {"version_1_read", R"({"version": 1, "preset": "arrows"})", [] { return presetMapping(Preset::Arrows); }},
    {"version_not_unsigned_read", R"({"version": "2", "preset": "arrows"})",
     [] { return presetMapping(Preset::Arrows); }},
    {"not_json", R"({"preset": "arrows")", [] { return defaultMapping(); }},
    {"not_an_object", R"(["arrows"])", [] { return defaultMapping(); }},
    {"empty_file", "", [] { return defaultMapping(); }},
    {"zero_byte_after_the_object", "{\"preset\": \"arrows\"}\0"sv, [] { return defaultMapping(); }},
    // Output.
    {"mode_keyboard", R"({"preset": "arrows", "mode": "Keyboard"})",
     [] { return with(Preset::Arrows, [](PadMapping& m) { m.useMapping = true; }); }},
    {"mode_vigem", R"({"preset": "arrows", "mode": "vigem"})", [] { return presetMapping(Preset::Arrows); }},
    {"mode_unknown_is_virtual", R"({"preset": "arrows", "mode": "both"})",
     [] { return presetMapping(Preset::Arrows); }},
    // Bindings.
    {"view_as_key_name", R"({"preset": "arrows", "bindings": {"View": "Esc"}})",
     [] { return with(Preset::Arrows, [](PadMapping& m) { m.bindings[kBack] = Binding::keyPress(41); }); }},
    {"select_primary_click",
     R"({"preset": "shooter", "bindings": {"select": {"type": "mouse", "button": "primary"}}})",
     [] { return with(Preset::Shooter, [](PadMapping& m) { m.bindings[kBack] = Binding::mouse(1); }); }},
    {"empty_string_and_none_are_nothing", R"({"preset": "shooter", "bindings": {"a": "", "b": "None"}})",
     [] {
         return with(Preset::Shooter, [](PadMapping& m) {
             m.bindings[kA] = Binding::none();
             m.bindings[kB] = Binding::none();
         });
     }},
    {"unreadable_values_keep_the_preset",
     R"({"preset": "shooter", "bindings": {"a": "f13", "b": 5, "x": {"type": "key", "key": "nope"},
         "y": {"type": "mouse", "button": "fourth"}, "lb": {"type": "scroll", "amount": 3},
         "rb": {"type": "teleport"}, "lt": {"key": "a"}, "guide": "a"}})",
     [] { return presetMapping(Preset::Shooter); }},
    {"wheel_amount_25_and_half",
     R"({"preset": "shooter", "bindings": {"lb": {"type": "wheel", "direction": "up", "amount": 25},
         "rb": {"type": "scroll", "dir": "down", "amount": 0.5},
         "x": {"type": "scroll", "direction": "right", "amount": 3.9},
         "y": {"type": "scroll", "direction": "left", "amount": "lots"}}})",
     [] {
         return with(Preset::Shooter, [](PadMapping& m) {
             m.bindings[kLb] = Binding::wheel(Direction::Up, 10);
             m.bindings[kRb] = Binding::wheel(Direction::Down, 1);
             m.bindings[kX] = Binding::wheel(Direction::Right, 3);
             m.bindings[kY] = Binding::wheel(Direction::Left, 1);
         });
     }},
    {"mouse_move_speeds",
     R"({"preset": "shooter", "bindings": {"dpadUp": {"type": "mouseMove", "direction": "up", "speed": 9},
         "dpadDown": {"type": "pointer", "dir": "down"},
         "dpadLeft": {"type": "move", "direction": "left", "speed": 0.01},
         "dpadRight": {"type": "move", "direction": "sideways", "speed": 2}}})",
     [] {
         return with(Preset::Shooter, [](PadMapping& m) {
             m.bindings[kDpadUp] = Binding::move(Direction::Up, 5.0f);
             m.bindings[kDpadDown] = Binding::move(Direction::Down, 1.0f);
             m.bindings[kDpadLeft] = Binding::move(Direction::Left, 0.1f);
         });
     }},
    {"modifier_words_with_an_unknown_one",
     R"({"preset": "shooter", "bindings": {"a": {"type": "key", "key": "c", "mods": ["CONTROL", "cmd", "hyper"]},
         "b": {"type": "key", "key": "v", "modifiers": ["shift", "Option"]},
         "x": {"type": "key", "key": "x", "mods": "ctrl", "modifiers": ["alt"]}}})",
     [] {
         return with(Preset::Shooter, [](PadMapping& m) {
             m.bindings[kA] = Binding::keyPress(key("c"), kModCtrl | kModWin);
             m.bindings[kB] = Binding::keyPress(key("v"), kModShift | kModAlt);
             m.bindings[kX] = Binding::keyPress(key("x"), 0);
         });
     }},
    {"explicit_nothing_types", R"({"preset": "arrows", "bindings": {"a": {"type": "off"}, "b": {"type": "Nothing"}}})",
     [] {
         return with(Preset::Arrows, [](PadMapping& m) {
             m.bindings[kA] = Binding::none();
             m.bindings[kB] = Binding::none();
         });
     }},
    // Sticks.
    {"deadzone_1_5_and_minus_1",
     R"({"preset": "shooter", "leftStick": {"deadzone": 1.5}, "rightStick": {"deadzone": -1}})",
     [] {
         return with(Preset::Shooter, [](PadMapping& m) {
             m.leftStick.deadzone = 0.9f;
             m.rightStick.deadzone = 0.0f;
         });
     }},
    {"sensitivity_clamped",
     R"({"preset": "shooter", "leftStick": {"sensitivity": 9}, "rightStick": {"sensitivity": 0}})",
     [] {
         return with(Preset::Shooter, [](PadMapping& m) {
             m.leftStick.sensitivity = 5.0f;
             m.rightStick.sensitivity = 0.1f;
         });
     }},
    {"stick_fields_kept_or_replaced",
     R"({"preset": "arrows", "rightStick": {"mode": "mouselook", "up": "none", "down": "bogus",
         "left": "Arrow_Left", "right": 7, "deadzone": "wide", "invertY": true},
         "leftStick": {"mode": "sideways", "invertY": "yes"}})",
     [] {
         return with(Preset::Arrows, [](PadMapping& m) {
             m.rightStick.mode = StickMode::Mouse;
             m.rightStick.up = 0;
             m.rightStick.left = key("left");
             m.rightStick.invertY = true;
         });
     }},
    {"stick_not_an_object", R"({"preset": "arrows", "leftStick": "mouse"})",
     [] { return presetMapping(Preset::Arrows); }},
};

INSTANTIATE_TEST_SUITE_P(Files, ReadingAFile, ::testing::ValuesIn(kFiles),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(LegacyFile, NamesThreePresetsByItsWholeText) {
    EXPECT_EQ(loadLegacyOutput("wasdMouse"), presetMapping(Preset::Shooter));
    EXPECT_EQ(loadLegacyOutput("arrows"), presetMapping(Preset::Arrows));
    EXPECT_EQ(loadLegacyOutput("dualKeys"), presetMapping(Preset::TwinStick));
    EXPECT_FALSE(loadLegacyOutput("arrows\n"));
    EXPECT_FALSE(loadLegacyOutput("mouseOnly"));
    EXPECT_FALSE(loadLegacyOutput(""));
}

// A mapping touching every kind of value the file can hold.
PadMapping edited() {
    PadMapping m = presetMapping(Preset::Custom);
    m.useMapping = true;
    m.bindings[kA] = Binding::keyPress(key("c"), kModCtrl | kModShift | kModAlt | kModWin);
    m.bindings[kB] = Binding::mouse(kMouseMiddle);
    m.bindings[kX] = Binding::move(Direction::Left, 0.3f);
    m.bindings[kY] = Binding::wheel(Direction::Right, 7);
    m.bindings[kL3] = Binding::none();
    m.bindings[kR3] = Binding::keyPress(key("numpadDivide"));
    m.leftStick = StickConfig{StickMode::Scroll, 0, key("down"), key("f12"), 0, 0.123f, 4.5f, true};
    m.rightStick.mode = StickMode::Off;
    return m;
}

TEST(SavedText, ReadsBackAsTheSameMapping) {
    for (const PadMapping& m : {edited(), presetMapping(Preset::Shooter), presetMapping(Preset::Arrows),
                                presetMapping(Preset::MouseOnly), presetMapping(Preset::TwinStick)}) {
        const std::string text = saveMapping(m);
        EXPECT_EQ(loadMapping(text), m) << text;
    }
}

TEST(SavedText, RoundsDeadzoneAndSensitivityToThreeDecimals) {
    PadMapping m = edited();
    m.leftStick.deadzone = 0.12345f;
    m.leftStick.sensitivity = 1.23456f;
    const std::string text = saveMapping(m);
    EXPECT_NE(text.find("\"deadzone\": 0.123,"), std::string::npos) << text;
    EXPECT_NE(text.find("\"sensitivity\": 1.235,"), std::string::npos) << text;
    m.leftStick.deadzone = 0.123f;
    m.leftStick.sensitivity = 1.235f;
    EXPECT_EQ(loadMapping(text), m);
}

TEST(SavedText, HasTheFileLayout) {
    PadMapping m = presetMapping(Preset::MouseOnly);
    m.useMapping = true;
    m.bindings[kA] = Binding::keyPress(key("c"), kModCtrl | kModShift);
    m.bindings[kX] = Binding::move(Direction::Left, 0.3f);
    m.bindings[kY] = Binding::wheel(Direction::Down, 2);
    EXPECT_EQ(saveMapping(m), R"({
  "version": 1,
  "mode": "keyboardMouse",
  "preset": "mouseOnly",
  "leftStick": {
    "mode": "mouse",
    "up": "w",
    "down": "s",
    "left": "a",
    "right": "d",
    "deadzone": 0.15,
    "sensitivity": 1.0,
    "invertY": false
  },
  "rightStick": {
    "mode": "scroll",
    "up": "up",
    "down": "down",
    "left": "left",
    "right": "right",
    "deadzone": 0.2,
    "sensitivity": 1.0,
    "invertY": false
  },
  "bindings": {
    "a": {
      "type": "key",
      "key": "c",
      "mods": [
        "ctrl",
        "shift"
      ]
    },
    "b": {
      "type": "mouse",
      "button": "right"
    },
    "x": {
      "type": "mouseMove",
      "direction": "left",
      "speed": 0.3
    },
    "y": {
      "type": "scroll",
      "direction": "down",
      "amount": 2
    },
    "lb": {
      "type": "key",
      "key": "left",
      "mods": [
        "alt"
      ]
    },
    "rb": {
      "type": "key",
      "key": "right",
      "mods": [
        "alt"
      ]
    },
    "lt": {
      "type": "key",
      "key": "leftCtrl",
      "mods": []
    },
    "rt": {
      "type": "mouse",
      "button": "left"
    },
    "back": {
      "type": "key",
      "key": "escape",
      "mods": []
    },
    "start": {
      "type": "key",
      "key": "leftWin",
      "mods": []
    },
    "l3": {
      "type": "none"
    },
    "r3": {
      "type": "mouse",
      "button": "middle"
    },
    "dpadUp": {
      "type": "key",
      "key": "up",
      "mods": []
    },
    "dpadDown": {
      "type": "key",
      "key": "down",
      "mods": []
    },
    "dpadLeft": {
      "type": "key",
      "key": "left",
      "mods": []
    },
    "dpadRight": {
      "type": "key",
      "key": "right",
      "mods": []
    }
  }
})");
}

// ----------------------------------------------------------- data directory

class MappingFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::path(HP_BINARY_DIR) / "test_tmp" /
               (std::string("pad_mapping_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    void write(std::string_view name, std::string_view text) {
        std::ofstream out(dir_ / name, std::ios::binary);
        out << text;
    }
    fs::path dir_;
};

TEST_F(MappingFiles, SaveWritesThroughATemporaryFileAndLoadReadsItBack) {
    const fs::path nested = dir_ / "new" / "data";
    ASSERT_TRUE(save_mapping(nested, edited()));
    EXPECT_TRUE(fs::exists(nested / "gamepad_mapping.json"));
    EXPECT_FALSE(fs::exists(nested / "gamepad_mapping.json.tmp"));
    EXPECT_EQ(load_mapping(nested), edited());

    ASSERT_TRUE(save_mapping(nested, presetMapping(Preset::Arrows)));
    EXPECT_EQ(load_mapping(nested), presetMapping(Preset::Arrows));
}

TEST_F(MappingFiles, SaveReportsAnUnusableDirectory) {
    write("occupied", "a file, not a directory");
    const auto saved = save_mapping(dir_ / "occupied", defaultMapping());
    ASSERT_FALSE(saved);
    EXPECT_FALSE(saved.error().text.empty());
}

TEST_F(MappingFiles, LegacyFileIsReadOnlyWhenTheMappingFileIsMissing) {
    EXPECT_EQ(load_mapping(dir_), defaultMapping());
    write("pad_output", "dualKeys");
    EXPECT_EQ(load_mapping(dir_), presetMapping(Preset::TwinStick));
    write("pad_output", "something else");
    EXPECT_EQ(load_mapping(dir_), defaultMapping());

    write("pad_output", "arrows");
    write("gamepad_mapping.json", R"({"preset": "mouseOnly"})");
    EXPECT_EQ(load_mapping(dir_), presetMapping(Preset::MouseOnly));
    // A corrupt mapping file is not the same as a missing one.
    write("gamepad_mapping.json", "{ not json");
    EXPECT_EQ(load_mapping(dir_), defaultMapping());
    EXPECT_TRUE(fs::exists(dir_ / "pad_output"));
}

TEST_F(MappingFiles, AnOversizedMappingFileGivesTheDefault) {
    std::string text = R"({"preset": "arrows", "padding": ")";
    text.append(kMaxMappingFileSize, 'x');
    text += "\"}";
    write("gamepad_mapping.json", text);
    write("pad_output", "arrows");
    EXPECT_EQ(load_mapping(dir_), defaultMapping());
}

}  // namespace
}  // namespace hp::pad_mapping
