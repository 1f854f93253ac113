#pragma once
// Where the mapping window's controls go and what each one is, without a
// window: an 880 x 540 unit client area scaled by DPI / 96, the sixteen
// button rows on the left, output, preset and the two stick groups on the
// right, and Reset, Save and Close along the bottom. The window creates
// exactly these controls in this order (which is also the Tab order).
#include <string>
#include <string_view>
#include <vector>

namespace hp::pad_mapping_ui {

inline constexpr int kClientWidthUnits = 880, kClientHeightUnits = 540;
inline constexpr int kNoId = -1;  // labels and group boxes

struct LayoutRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    friend bool operator==(const LayoutRect&, const LayoutRect&) = default;
};

enum class ControlKind {
    GroupBox,
    Label,        // plain static text
    ValueBox,     // static text with a client edge
    Button,
    DefaultButton,
    DropDown,     // drop-down list; its rectangle is the closed box
    Trackbar,
    CheckBox,
};

struct ControlPlacement {
    int id = kNoId;
    ControlKind kind = ControlKind::Label;
    std::string text;
    LayoutRect rect;                      // pixels at the layout's DPI
    std::vector<std::string_view> items;  // DropDown entries
    int rangeMin = 0, rangeMax = 0, tick = 0;  // Trackbar
};

// `units` at `dpi` (truncated), as every length of the window is scaled.
int scale_units(int dpi, int units);
// The client area at `dpi` (at least 96 is assumed by the caller).
LayoutRect client_rect(int dpi);
// Every control, with ids, texts, entries and ranges; texts of controls the
// editor fills (values, labels of trackbars) start empty.
std::vector<ControlPlacement> mapping_controls(int dpi);

}  // namespace hp::pad_mapping_ui
