#pragma once
// The connection check window without a window: one row per finding (its
// state, its text and, for a problem with a fix, the fix's button), a status
// line, Check Again and Close. The model says what each control shows and
// where it goes at a DPI; the window creates exactly these controls in this
// order (which is also the Tab order) and mirrors the model after every
// change. Rows are as tall as their text needs, so the window takes the
// client size the layout gives after each check.
//
// Texts wrap within their column, which ends left of the fix buttons (and of
// Check Again for the status line); how tall a wrapped text is comes from
// the window, which measures it in its own font at the column's width. The
// model's own estimate stands in where nothing measures.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "connection_check/allow_firewall.h"
#include "connection_check/findings.h"
#include "platform/elevation.h"
#include "text_catalogue/catalogue.h"

namespace hp::connection_check {

inline constexpr std::string_view kWindowTitle = text_catalogue::i18n("Connection Check");
inline constexpr int kClientWidthUnits = 600;
inline constexpr int kRowCount = static_cast<int>(kFindingIds.size());

// Control ids: row r (0 to kRowCount - 1, in the order of kFindingIds) has
// its state, text and fix button; then the status line and the buttons.
constexpr int row_state_id(int row) { return 100 + 10 * row; }
constexpr int row_text_id(int row) { return 101 + 10 * row; }
constexpr int row_fix_id(int row) { return 102 + 10 * row; }
inline constexpr int kStatusId = 200;
inline constexpr int kCheckAgainId = 201;
inline constexpr int kCloseId = 202;

inline constexpr std::string_view kCheckingText = text_catalogue::i18n("Checking…");
inline constexpr std::string_view kAskingText = text_catalogue::i18n("Asking Windows for permission…");
inline constexpr std::string_view kAskingLinuxText = "Asking for permission…";

struct LayoutRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    friend bool operator==(const LayoutRect&, const LayoutRect&) = default;
};

enum class ControlKind {
    Label,          // static text, wrapped over as many lines as its rectangle holds
    Button,
    DefaultButton,
};

struct ControlPlacement {
    int id = 0;
    ControlKind kind = ControlKind::Label;
    std::string text;  // UTF-8
    LayoutRect rect;   // pixels at the layout's DPI
    bool visible = true;
    bool enabled = true;
};

// `units` at `dpi` (truncated).
int scale_units(int dpi, int units);

// The height in pixels of `text` wrapped to `widthPx` pixels, at the DPI of
// the layout asked for (the window: DrawText with DT_CALCRECT and
// DT_WORDBREAK in the labels' font).
using TextMeasure = std::function<int(std::string_view text, int widthPx)>;

// The pixel columns texts wrap within at `dpi`: a row's text (left of its
// fix button) and the status line (left of Check Again). Only left and
// right are set.
LayoutRect row_text_column(int dpi);
LayoutRect status_text_column(int dpi);
// How many lines a label `widthUnits` wide needs for `text`, wrapped at
// spaces (a word longer than a line is broken), estimating each character at
// a generous average width of the dialog font. At least 1.
int text_lines(std::string_view text, int widthUnits);

// What the window should do after a click or a finished fix.
enum class CheckAction { None, RunCheck, AllowFirewall, OpenNetworkSettings, Close };

class CheckWindowModel {
public:
    // Every text in the language of `texts`; `system` picks the words of the
    // permission prompt's texts.
    explicit CheckWindowModel(text_catalogue::Catalogue texts = {}, CheckSystem system = CheckSystem::Windows);
    explicit CheckWindowModel(CheckSystem system) : CheckWindowModel(text_catalogue::Catalogue{}, system) {}

    // A check starts (on opening, after Check Again, after a fix): the rows
    // stay as they are until its findings come.
    void begin_check();
    // The check's findings (one per id of kFindingIds, in that order).
    void show_findings(const std::vector<Finding>& findings);
    // A click on a control; busy windows ignore Check Again and the fixes.
    CheckAction click(int controlId);
    // The elevated --allow-firewall run is over. RunCheck when it changed the
    // firewall, so that the rows show the new state.
    CheckAction fix_finished(const Result<platform::ElevatedOutcome>& outcome);

    bool busy() const { return busy_; }
    const std::string& status() const { return status_; }
    const std::vector<Finding>& findings() const { return findings_; }

    // The client area and every control, texts, visibility and enabled state
    // included, at `dpi` (96 or more); labels are as tall as `measure` says
    // their text is at their column's width (at least one line; the status
    // line at least two), or as the estimate says without one.
    LayoutRect client_rect(int dpi, const TextMeasure& measure = {}) const;
    std::vector<ControlPlacement> controls(int dpi, const TextMeasure& measure = {}) const;

private:
    std::vector<Finding> findings_;
    std::string status_;
    std::string afterCheck_;  // the fix's outcome, shown again once the check after it is done
    text_catalogue::Catalogue texts_;
    // The findings' texts as the rows show them.
    std::vector<std::string> shown_texts() const;
    bool busy_ = false;
    CheckSystem system_ = CheckSystem::Windows;
};

// "OK", "Problem" or "Unknown" (in the language of `texts`).
std::string_view state_label(FindingState state, const text_catalogue::Catalogue& texts = {});
// "Allow…", "Open Settings", or empty for none.
std::string_view fix_label(FindingFix fix, const text_catalogue::Catalogue& texts = {});

}  // namespace hp::connection_check
