#pragma once
// The gamepad mapping window without a window: the control ids, the texts
// and positions its controls show, and what each command does to the copy
// being edited. The window procedure only mirrors this: it reads the
// controls' values, hands them to MappingEditor and shows view() again.
//
// The editor holds two mappings: `saved` (as last loaded or saved) and
// `working` (being edited); Save is offered exactly when they differ. It
// also holds the capture target, the control whose key is awaited; the
// window keeps its keyboard hook installed while there is one.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "pad_mapping/mapping.h"

namespace hp::pad_mapping_ui {

using pad_mapping::Binding;
using pad_mapping::BindingMods;
using pad_mapping::KeyCode;
using pad_mapping::PadMapping;
using pad_mapping::StickMode;

// ------------------------------------------------------------ control ids
inline constexpr int kCancelId = 2;  // Escape through IsDialogMessageW
constexpr int row_value_id(int row) { return 100 + 4 * row; }
constexpr int row_change_id(int row) { return 101 + 4 * row; }
constexpr int row_action_id(int row) { return 102 + 4 * row; }
inline constexpr int kLeftStickBase = 200, kRightStickBase = 220;
constexpr int stick_base(int stick) { return stick == 0 ? kLeftStickBase : kRightStickBase; }
// Offsets from a stick's base.
inline constexpr int kStickMode = 0, kStickUp = 1, kStickDeadzone = 5, kStickDeadzoneLabel = 6,
                     kStickSensitivity = 7, kStickSensitivityLabel = 8, kStickInvert = 9;
inline constexpr int kOutputId = 300, kPresetId = 301, kResetId = 302, kSaveId = 303, kCloseId = 304,
                     kExplanationId = 305;

// Notification codes of WM_COMMAND (BN_CLICKED, CBN_SELCHANGE).
inline constexpr int kClicked = 0, kSelectionChanged = 1;

// -------------------------------------------------------------- texts
inline constexpr std::string_view kWindowTitle = "Hearthpad - Gamepad Mapping";
inline constexpr std::string_view kChangeText = "Change...";
inline constexpr std::string_view kPressAKeyText = "Press a key";
inline constexpr std::string_view kHintText =
    "Change... then press a key (hold Ctrl / Shift / Alt for a combination).";
inline constexpr std::string_view kInvertText = "Invert Y (up/down)";
inline constexpr std::string_view kSaveWarning =
    "The mapping is active now but could not be written to %APPDATA%\\Hearthpad\\gamepad_mapping.json.";
inline constexpr std::string_view kSaveQuestion = "Save the changes to the gamepad mapping?";

// The entries of a row's drop-down (13), the output drop-down (2), the
// stick mode drop-down (4, stick modes 1, 2, 3, 0) and the preset drop-down
// (the four presets, then "Custom").
std::array<std::string_view, 13> action_choices();
std::array<std::string_view, 2> output_choices();
std::array<std::string_view, 4> stick_mode_choices();
std::array<std::string_view, 5> preset_choices();
inline constexpr int kCustomPresetChoice = 4;

// A binding as its row shows it: "Nothing"; "Ctrl+Shift+Alt+Win+" prefixes
// (those held) then the key's label ("?" for a code without one); "Left
// mouse", "Right mouse", "Middle mouse" ("Mouse ?" otherwise); "Move mouse
// up"; "Wheel up", with " x3" for three notches.
std::string binding_text(const Binding& binding);
// The row drop-down's position for a binding: key 0, mouse button n at n,
// wheel direction d at 4 + d, mouse move direction d at 8 + d, nothing 12.
int action_choice(const Binding& binding);
// Position of a stick mode in its drop-down, and back (outside 0-3: Off).
int stick_mode_choice(StickMode mode);
StickMode stick_mode_at(int choice);

// The direction button text: "Up: " then the key's label, "-" for none,
// "?" for a code without a label; "Press a key" while capturing it.
std::string direction_text(int direction, KeyCode key, bool capturing);

// Trackbars: deadzone 0-60 (percent), sensitivity 1-50 (tenths).
inline constexpr int kDeadzoneMin = 0, kDeadzoneMax = 60, kDeadzoneTick = 10;
inline constexpr int kSensitivityMin = 1, kSensitivityMax = 50, kSensitivityTick = 5;
int deadzone_position(float deadzone);
int sensitivity_position(float sensitivity);
float deadzone_at(int position);     // clamped to 0-0.9
float sensitivity_at(int position);  // clamped to 0.1-5.0
std::string deadzone_label(float deadzone);        // "25 %"
std::string sensitivity_label(float sensitivity);  // "1.5x"

// Control 305.
std::string_view output_explanation(bool useMapping, bool vigemFound);

// What is awaited from the keyboard: nothing, a button row (0-15), or a
// stick's (0 left, 1 right) direction key (0 up, 1 down, 2 left, 3 right).
struct CaptureTarget {
    enum class Kind : std::uint8_t { None, Row, StickDirection };
    Kind kind = Kind::None;
    int row = 0;
    int stick = 0, direction = 0;

    static CaptureTarget none() { return {}; }
    static CaptureTarget for_row(int i) { return {Kind::Row, i, 0, 0}; }
    static CaptureTarget for_stick(int s, int d) { return {Kind::StickDirection, 0, s, d}; }
    bool active() const { return kind != Kind::None; }
    friend bool operator==(const CaptureTarget&, const CaptureTarget&) = default;
};

// Everything the controls show.
struct RowView {
    std::string value;       // binding_text
    std::string changeText;  // "Change..." or "Press a key"
    int action = 12;         // action_choice
};
struct StickView {
    int mode = 3;  // stick_mode_choice
    std::array<std::string, 4> directions;
    bool directionsEnabled = false;
    int deadzone = 0;
    std::string deadzoneLabel;
    bool deadzoneEnabled = false;
    int sensitivity = 10;
    std::string sensitivityLabel;
    bool sensitivityEnabled = false;  // also the invert box
    bool invertY = false;
};
struct EditorView {
    std::array<RowView, pad_mapping::kButtonCount> rows;
    std::array<StickView, 2> sticks;
    int output = 0;  // 0 virtual pad, 1 mapping
    int preset = 0;  // 0-3, 4 custom
    std::string_view explanation;
    bool saveEnabled = false;
};

class MappingEditor {
public:
    MappingEditor(const PadMapping& current, bool vigemFound);

    const PadMapping& saved() const { return saved_; }
    const PadMapping& working() const { return working_; }
    const CaptureTarget& capture() const { return capture_; }
    bool dirty() const { return working_ != saved_; }
    EditorView view() const;

    // What the window does after a command besides showing view() again.
    enum class Next : std::uint8_t { Refresh, Close, Save };

    // WM_COMMAND from control `id` with notification `code`; `value` is the
    // drop-down's selection or the check box's state, as read from it.
    Next command(int id, int code, int value);
    // WM_HSCROLL from a trackbar, at `position`; nothing for other ids.
    void trackbar_moved(int id, int position);
    // A key the hook caught: for a row it becomes the binding (with its
    // modifiers), for a stick direction the key (modifiers dropped). Ends
    // the capture; nothing without a target.
    void key_captured(KeyCode key, BindingMods mods);
    void stop_capture() { capture_ = CaptureTarget::none(); }

    // The tray installed `mapping`: taken as both copies when nothing is
    // being edited; otherwise only as the saved copy, and the edits stay.
    void mapping_changed_elsewhere(const PadMapping& mapping);
    // `mapping` is now the host's and on disk (or at least the host's).
    void saved_as(const PadMapping& mapping) { saved_ = mapping; }

private:
    void toggle_capture(const CaptureTarget& target);
    void choose_action(int row, int choice);
    void use_preset(int index);
    pad_mapping::StickConfig& stick(int s) { return s == 0 ? working_.leftStick : working_.rightStick; }

    PadMapping saved_, working_;
    bool vigemFound_;
    CaptureTarget capture_;
};

}  // namespace hp::pad_mapping_ui
