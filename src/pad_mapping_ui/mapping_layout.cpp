#include "pad_mapping_ui/mapping_layout.h"

#include <array>

#include "pad_mapping_ui/mapping_editor.h"

namespace hp::pad_mapping_ui {

namespace {

// Positions in units at 96 DPI.
constexpr int kRowTop = 32, kRowStep = 27, kRowHeight = 23;
constexpr int kLeftEnd = 520;
constexpr int kRightColumn = 530, kRightEnd = 870;
constexpr int kStickGroupTop[2] = {112, 306};
constexpr int kStickGroupHeight = 190;

class Builder {
public:
    explicit Builder(int dpi) : dpi_(dpi) {}

    ControlPlacement& add(int id, ControlKind kind, std::string_view text, int x, int y, int w, int h) {
        ControlPlacement placed;
        placed.id = id;
        placed.kind = kind;
        placed.text = std::string(text);
        placed.rect = {scale_units(dpi_, x), scale_units(dpi_, y), scale_units(dpi_, x + w), scale_units(dpi_, y + h)};
        controls_.push_back(std::move(placed));
        return controls_.back();
    }
    template <std::size_t N>
    void drop_down(int id, const std::array<std::string_view, N>& items, int x, int y, int w) {
        add(id, ControlKind::DropDown, "", x, y, w, 23).items.assign(items.begin(), items.end());
    }
    void trackbar(int id, int min, int max, int tick, int x, int y, int w) {
        ControlPlacement& placed = add(id, ControlKind::Trackbar, "", x, y, w, 26);
        placed.rangeMin = min;
        placed.rangeMax = max;
        placed.tick = tick;
    }
    std::vector<ControlPlacement> take() { return std::move(controls_); }

private:
    int dpi_;
    std::vector<ControlPlacement> controls_;
};

void add_stick(Builder& b, int stick) {
    const int base = stick_base(stick);
    const int top = kStickGroupTop[stick];
    const int x = kRightColumn + 10;
    b.add(kNoId, ControlKind::GroupBox, stick == 0 ? "Left stick" : "Right stick", kRightColumn, top,
          kRightEnd - kRightColumn, kStickGroupHeight);
    b.add(kNoId, ControlKind::Label, "Mode:", x, top + 24, 72, 18);
    b.drop_down(base + kStickMode, stick_mode_choices(), x + 76, top + 20, 200);
    for (int d = 0; d < 4; ++d)
        b.add(base + kStickUp + d, ControlKind::Button, "", x + (d % 2) * 162, top + 48 + (d / 2) * 26, 156, 24);
    b.add(kNoId, ControlKind::Label, "Deadzone:", x, top + 108, 72, 18);
    b.trackbar(base + kStickDeadzone, kDeadzoneMin, kDeadzoneMax, kDeadzoneTick, x + 76, top + 104, 180);
    b.add(base + kStickDeadzoneLabel, ControlKind::Label, "", x + 262, top + 108, 56, 18);
    b.add(kNoId, ControlKind::Label, "Sensitivity:", x, top + 136, 72, 18);
    b.trackbar(base + kStickSensitivity, kSensitivityMin, kSensitivityMax, kSensitivityTick, x + 76, top + 132, 180);
    b.add(base + kStickSensitivityLabel, ControlKind::Label, "", x + 262, top + 136, 56, 18);
    b.add(base + kStickInvert, ControlKind::CheckBox, kInvertText, x, top + 164, 250, 20);
}

}  // namespace

int scale_units(int dpi, int units) { return units * dpi / 96; }

LayoutRect client_rect(int dpi) {
    return {0, 0, scale_units(dpi, kClientWidthUnits), scale_units(dpi, kClientHeightUnits)};
}

std::vector<ControlPlacement> mapping_controls(int dpi) {
    Builder b(dpi);
    b.add(kNoId, ControlKind::GroupBox, "Buttons", 10, 10, kLeftEnd - 10, 470);
    for (int i = 0; i < static_cast<int>(pad_mapping::kButtonCount); ++i) {
        const int y = kRowTop + i * kRowStep;
        b.add(kNoId, ControlKind::Label, pad_mapping::buttonLabel(static_cast<std::size_t>(i)), 20, y + 3, 128, 18);
        b.add(row_value_id(i), ControlKind::ValueBox, "", 150, y, 130, kRowHeight);
        b.add(row_change_id(i), ControlKind::Button, kChangeText, 286, y, 76, kRowHeight);
        b.drop_down(row_action_id(i), action_choices(), 368, y, 144);
    }
    b.add(kNoId, ControlKind::Label, kHintText, 10, 486, kLeftEnd - 10, 18);

    b.add(kNoId, ControlKind::Label, "Output:", kRightColumn, 14, 56, 18);
    b.drop_down(kOutputId, output_choices(), kRightColumn + 60, 10, kRightEnd - kRightColumn - 60);
    b.add(kExplanationId, ControlKind::Label, "", kRightColumn, 38, kRightEnd - kRightColumn, 44);
    b.add(kNoId, ControlKind::Label, "Preset:", kRightColumn, 88, 56, 18);
    b.drop_down(kPresetId, preset_choices(), kRightColumn + 60, 84, kRightEnd - kRightColumn - 60);
    add_stick(b, 0);
    add_stick(b, 1);

    b.add(kResetId, ControlKind::Button, "Reset to defaults", 10, 508, 140, 26);
    b.add(kSaveId, ControlKind::DefaultButton, "Save", 690, 508, 86, 26);
    b.add(kCloseId, ControlKind::Button, "Close", 784, 508, 86, 26);
    return b.take();
}

}  // namespace hp::pad_mapping_ui
