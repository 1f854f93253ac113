#include "pad_mapping_ui/mapping_editor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "input/keys.h"

namespace hp::pad_mapping_ui {

using pad_mapping::Direction;
using pad_mapping::Preset;

namespace {

std::string key_text(KeyCode key) {
    const std::string_view label = input::keyLabel(key);
    return label.empty() ? std::string("?") : std::string(label);
}

bool in_stick_block(int id, int base) { return id >= base && id <= base + kStickInvert; }

}  // namespace

std::array<std::string_view, 13> action_choices() {
    return {"Keyboard key",     "Left mouse button", "Right mouse button", "Middle mouse button", "Wheel up",
            "Wheel down",       "Wheel left",        "Wheel right",        "Move mouse up",       "Move mouse down",
            "Move mouse left",  "Move mouse right",  "Nothing"};
}

std::array<std::string_view, 2> output_choices() {
    return {"Virtual controller (ViGEmBus)", "Keyboard / mouse mapping"};
}

std::array<std::string_view, 4> stick_mode_choices() {
    return {pad_mapping::stickModeLabel(StickMode::Keys), pad_mapping::stickModeLabel(StickMode::Mouse),
            pad_mapping::stickModeLabel(StickMode::Scroll), pad_mapping::stickModeLabel(StickMode::Off)};
}

std::array<std::string_view, 5> preset_choices() {
    return {pad_mapping::presetLabel(Preset::Shooter), pad_mapping::presetLabel(Preset::Arrows),
            pad_mapping::presetLabel(Preset::MouseOnly), pad_mapping::presetLabel(Preset::TwinStick), "Custom"};
}

std::string binding_text(const Binding& b) {
    switch (b.kind) {
        case Binding::Kind::None: return "Nothing";
        case Binding::Kind::Key: {
            std::string text;
            if (b.mods & pad_mapping::kModCtrl) text += "Ctrl+";
            if (b.mods & pad_mapping::kModShift) text += "Shift+";
            if (b.mods & pad_mapping::kModAlt) text += "Alt+";
            if (b.mods & pad_mapping::kModWin) text += "Win+";
            return text + key_text(b.key);
        }
        case Binding::Kind::MouseButton:
            switch (b.button) {
                case pad_mapping::kMouseLeft: return "Left mouse";
                case pad_mapping::kMouseRight: return "Right mouse";
                case pad_mapping::kMouseMiddle: return "Middle mouse";
                default: return "Mouse ?";
            }
        case Binding::Kind::MouseMove: return "Move mouse " + std::string(pad_mapping::directionName(b.direction));
        case Binding::Kind::Wheel: {
            std::string text = "Wheel " + std::string(pad_mapping::directionName(b.direction));
            if (b.amount > 1) text += " x" + std::to_string(b.amount);
            return text;
        }
    }
    return "Nothing";
}

int action_choice(const Binding& b) {
    switch (b.kind) {
        case Binding::Kind::Key: return 0;
        case Binding::Kind::MouseButton: return (b.button >= 1 && b.button <= 3) ? b.button : 12;
        case Binding::Kind::Wheel: return 4 + static_cast<int>(b.direction);
        case Binding::Kind::MouseMove: return 8 + static_cast<int>(b.direction);
        case Binding::Kind::None: break;
    }
    return 12;
}

int stick_mode_choice(StickMode mode) {
    switch (mode) {
        case StickMode::Keys: return 0;
        case StickMode::Mouse: return 1;
        case StickMode::Scroll: return 2;
        case StickMode::Off: break;
    }
    return 3;
}

StickMode stick_mode_at(int choice) {
    switch (choice) {
        case 0: return StickMode::Keys;
        case 1: return StickMode::Mouse;
        case 2: return StickMode::Scroll;
        default: return StickMode::Off;
    }
}

std::string direction_text(int direction, KeyCode key, bool capturing) {
    static constexpr std::array<std::string_view, 4> kNames{"Up", "Down", "Left", "Right"};
    std::string text(kNames[static_cast<std::size_t>(std::clamp(direction, 0, 3))]);
    text += ": ";
    if (capturing) return text + std::string(kPressAKeyText);
    return text + (key == 0 ? std::string("-") : key_text(key));
}

int deadzone_position(float deadzone) { return static_cast<int>(std::lround(deadzone * 100.0f)); }
int sensitivity_position(float sensitivity) { return static_cast<int>(std::lround(sensitivity * 10.0f)); }
float deadzone_at(int position) { return std::min(0.9f, std::max(0.0f, static_cast<float>(position) / 100.0f)); }
float sensitivity_at(int position) { return std::min(5.0f, std::max(0.1f, static_cast<float>(position) / 10.0f)); }

std::string deadzone_label(float deadzone) { return std::to_string(deadzone_position(deadzone)) + " %"; }

std::string sensitivity_label(float sensitivity) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1fx", static_cast<double>(sensitivity));
    return text;
}

std::string_view output_explanation(bool useMapping, bool vigemFound) {
    if (useMapping) return "Controller input is turned into the keys and mouse actions below.";
    if (vigemFound)
        return "Games see a virtual Xbox 360-style controller. The mapping below is used only in keyboard / mouse "
               "mode.";
    return "ViGEmBus driver not installed, so the keyboard / mouse mapping below is used. See docs/GAMEPAD.md.";
}

// ------------------------------------------------------------------ editor

MappingEditor::MappingEditor(const PadMapping& current, bool vigemFound)
    : saved_(current), working_(current), vigemFound_(vigemFound) {}

EditorView MappingEditor::view() const {
    EditorView v;
    for (std::size_t i = 0; i < v.rows.size(); ++i) {
        const int row = static_cast<int>(i);
        v.rows[i].value = binding_text(working_.bindings[i]);
        v.rows[i].changeText = std::string(capture_ == CaptureTarget::for_row(row) ? kPressAKeyText : kChangeText);
        v.rows[i].action = action_choice(working_.bindings[i]);
    }
    for (int s = 0; s < 2; ++s) {
        const auto& c = s == 0 ? working_.leftStick : working_.rightStick;
        auto& out = v.sticks[static_cast<std::size_t>(s)];
        out.mode = stick_mode_choice(c.mode);
        const std::array<KeyCode, 4> keys{c.up, c.down, c.left, c.right};
        for (int d = 0; d < 4; ++d)
            out.directions[static_cast<std::size_t>(d)] =
                direction_text(d, keys[static_cast<std::size_t>(d)], capture_ == CaptureTarget::for_stick(s, d));
        out.directionsEnabled = c.mode == StickMode::Keys;
        out.deadzone = deadzone_position(c.deadzone);
        out.deadzoneLabel = deadzone_label(c.deadzone);
        out.deadzoneEnabled = c.mode != StickMode::Off;
        out.sensitivity = sensitivity_position(c.sensitivity);
        out.sensitivityLabel = sensitivity_label(c.sensitivity);
        out.sensitivityEnabled = c.mode == StickMode::Mouse || c.mode == StickMode::Scroll;
        out.invertY = c.invertY;
    }
    v.output = working_.useMapping ? 1 : 0;
    v.preset = std::min(static_cast<int>(working_.preset), kCustomPresetChoice);
    v.explanation = output_explanation(working_.useMapping, vigemFound_);
    v.saveEnabled = dirty();
    return v;
}

MappingEditor::Next MappingEditor::command(int id, int code, int value) {
    if (id == kCancelId || id == kCloseId) return code == kClicked ? Next::Close : Next::Refresh;
    if (id == kSaveId) return code == kClicked ? Next::Save : Next::Refresh;
    if (code == kClicked) {
        if (id == kResetId) {
            use_preset(static_cast<int>(Preset::Shooter));
        } else if (id >= row_value_id(0) && id < row_value_id(pad_mapping::kButtonCount) &&
                   (id - row_value_id(0)) % 4 == 1) {
            toggle_capture(CaptureTarget::for_row((id - row_value_id(0)) / 4));
        } else {
            for (int s = 0; s < 2; ++s) {
                const int base = stick_base(s);
                if (id >= base + kStickUp && id < base + kStickUp + 4)
                    toggle_capture(CaptureTarget::for_stick(s, id - base - kStickUp));
                else if (id == base + kStickInvert) {
                    stick(s).invertY = value != 0;
                    working_.preset = Preset::Custom;
                }
            }
        }
        return Next::Refresh;
    }
    if (code != kSelectionChanged) return Next::Refresh;
    if (id == kOutputId) {
        if (value == 0 || value == 1) working_.useMapping = value == 1;
    } else if (id == kPresetId) {
        if (value >= 0 && value < kCustomPresetChoice) use_preset(value);
    } else if (id >= row_value_id(0) && id < row_value_id(pad_mapping::kButtonCount) &&
               (id - row_value_id(0)) % 4 == 2) {
        choose_action((id - row_value_id(0)) / 4, value);
    } else {
        for (int s = 0; s < 2; ++s)
            if (id == stick_base(s) + kStickMode && value >= 0 && value < 4) {
                stick(s).mode = stick_mode_at(value);
                working_.preset = Preset::Custom;
            }
    }
    return Next::Refresh;
}

void MappingEditor::trackbar_moved(int id, int position) {
    for (int s = 0; s < 2; ++s) {
        if (!in_stick_block(id, stick_base(s))) continue;
        if (id == stick_base(s) + kStickDeadzone)
            stick(s).deadzone = deadzone_at(position);
        else if (id == stick_base(s) + kStickSensitivity)
            stick(s).sensitivity = sensitivity_at(position);
        else
            return;
        working_.preset = Preset::Custom;
    }
}

void MappingEditor::key_captured(KeyCode key, BindingMods mods) {
    const CaptureTarget target = capture_;
    if (!target.active()) return;
    capture_ = CaptureTarget::none();
    if (target.kind == CaptureTarget::Kind::Row) {
        working_.bindings[static_cast<std::size_t>(target.row)] = Binding::keyPress(key, mods);
    } else {
        auto& c = stick(target.stick);
        std::array<KeyCode*, 4> keys{&c.up, &c.down, &c.left, &c.right};
        *keys[static_cast<std::size_t>(target.direction)] = key;
    }
    working_.preset = Preset::Custom;
}

void MappingEditor::mapping_changed_elsewhere(const PadMapping& mapping) {
    if (!dirty()) working_ = mapping;
    saved_ = mapping;
}

void MappingEditor::toggle_capture(const CaptureTarget& target) {
    capture_ = capture_ == target ? CaptureTarget::none() : target;
}

void MappingEditor::choose_action(int row, int choice) {
    if (row < 0 || row >= static_cast<int>(pad_mapping::kButtonCount) || choice < 0 || choice > 12) return;
    Binding& current = working_.bindings[static_cast<std::size_t>(row)];
    Binding next;
    if (choice == 0) {
        // A key comes from the keyboard: wait for it unless the row has one.
        if (current.kind != Binding::Kind::Key) capture_ = CaptureTarget::for_row(row);
        return;
    }
    if (choice <= 3) {
        next = Binding::mouse(static_cast<std::uint8_t>(choice));
    } else if (choice <= 7) {
        next = Binding::wheel(static_cast<Direction>(choice - 4), 1);
    } else if (choice <= 11) {
        const float speed = current.kind == Binding::Kind::MouseMove ? current.speed : 1.0f;
        next = Binding::move(static_cast<Direction>(choice - 8), speed);
    } else {
        next = Binding::none();
    }
    if (next == current) return;
    current = next;
    working_.preset = Preset::Custom;
}

void MappingEditor::use_preset(int index) {
    capture_ = CaptureTarget::none();
    working_ = pad_mapping::applyPreset(working_, static_cast<std::uint8_t>(index));
}

}  // namespace hp::pad_mapping_ui
