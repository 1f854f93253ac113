#include "connection_check/check_window_model.h"

#include <algorithm>

#include "connection_check/allow_firewall.h"

namespace hp::connection_check {

namespace {

// Lengths in units at 96 DPI. The dialog font (Segoe UI 9 pt) averages about
// 6 units a character and takes 15 a line; the estimate rounds both up.
constexpr int kCharUnits = 7;
constexpr int kLineUnits = 16;
constexpr int kMargin = 12;
constexpr int kStateLeft = kMargin, kStateWidth = 64;
constexpr int kButtonWidth = 100, kButtonHeight = 26;
constexpr int kFixLeft = kClientWidthUnits - kMargin - kButtonWidth;
constexpr int kTextLeft = kStateLeft + kStateWidth + 8;
constexpr int kTextWidth = kFixLeft - 8 - kTextLeft;
constexpr int kRowGap = 10;
constexpr int kStatusLines = 2;
constexpr int kStatusWidth = kClientWidthUnits - 2 * kMargin - 2 * kButtonWidth - 2 * 8;

std::size_t code_points(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// The text starts kTextInset below the row's top, level with the caption
// of the fix button beside it.
constexpr int kTextInset = 5;

int text_height_units(const std::string& text) { return text_lines(text, kTextWidth) * kLineUnits; }
int row_height_units(const std::string& text) { return std::max(kButtonHeight, kTextInset + text_height_units(text)); }

struct Geometry {
    std::vector<int> rowTops;  // units
    int statusTop = 0;
    int height = 0;
};

Geometry geometry(const std::vector<Finding>& findings) {
    Geometry g;
    int y = kMargin;
    for (int r = 0; r < kRowCount; ++r) {
        g.rowTops.push_back(y);
        const std::size_t i = static_cast<std::size_t>(r);
        y += row_height_units(i < findings.size() ? findings[i].text : std::string()) + kRowGap;
    }
    g.statusTop = y + 4;
    g.height = g.statusTop + std::max(kStatusLines * kLineUnits, kButtonHeight) + kMargin;
    return g;
}

}  // namespace

int scale_units(int dpi, int units) { return units * dpi / 96; }

int text_lines(std::string_view text, int widthUnits) {
    const std::size_t perLine = static_cast<std::size_t>(std::max(1, widthUnits / kCharUnits));
    int lines = 1;
    std::size_t used = 0;  // characters on the current line
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = std::min(text.find(' ', pos), text.size());
        std::size_t word = code_points(text.substr(pos, end - pos));
        const std::size_t needed = used == 0 ? word : used + 1 + word;
        if (needed <= perLine) {
            used = needed;
        } else {
            if (used != 0) ++lines;
            // A word longer than a line fills whole lines of its own.
            while (word > perLine) {
                word -= perLine;
                ++lines;
            }
            used = word;
        }
        pos = end + 1;
    }
    return lines;
}

std::string_view state_label(FindingState state) {
    switch (state) {
        case FindingState::Ok: return "OK";
        case FindingState::Problem: return "Problem";
        case FindingState::Unknown: break;
    }
    return "Unknown";
}

std::string_view fix_label(FindingFix fix) {
    switch (fix) {
        case FindingFix::AllowFirewall: return "Allow…";
        case FindingFix::OpenNetworkSettings: return "Open Settings";
        case FindingFix::None: break;
    }
    return {};
}

CheckWindowModel::CheckWindowModel() = default;

void CheckWindowModel::begin_check() {
    busy_ = true;
    status_ = std::string(kCheckingText);
}

void CheckWindowModel::show_findings(const std::vector<Finding>& findings) {
    findings_ = findings;
    busy_ = false;
    if (!afterCheck_.empty()) {
        status_ = std::move(afterCheck_);
        afterCheck_.clear();
        return;
    }
    const auto problems =
        std::count_if(findings.begin(), findings.end(), [](const Finding& f) { return f.state == FindingState::Problem; });
    status_ = problems == 0   ? "No problems found."
              : problems == 1 ? "1 problem found."
                              : std::to_string(problems) + " problems found.";
}

CheckAction CheckWindowModel::click(int controlId) {
    if (controlId == kCloseId) return CheckAction::Close;
    if (busy_) return CheckAction::None;
    if (controlId == kCheckAgainId) return CheckAction::RunCheck;
    for (int r = 0; r < kRowCount; ++r) {
        const std::size_t i = static_cast<std::size_t>(r);
        if (controlId != row_fix_id(r) || i >= findings_.size()) continue;
        const Finding& f = findings_[i];
        if (f.state != FindingState::Problem) return CheckAction::None;
        if (f.fix == FindingFix::AllowFirewall) {
            busy_ = true;
            status_ = std::string(kAskingText);
            return CheckAction::AllowFirewall;
        }
        if (f.fix == FindingFix::OpenNetworkSettings) return CheckAction::OpenNetworkSettings;
    }
    return CheckAction::None;
}

CheckAction CheckWindowModel::fix_finished(const Result<platform::ElevatedOutcome>& outcome) {
    busy_ = false;
    status_ = allow_firewall_outcome_text(outcome);
    if (!allow_firewall_succeeded(outcome)) return CheckAction::None;
    afterCheck_ = status_;
    return CheckAction::RunCheck;
}

LayoutRect CheckWindowModel::client_rect(int dpi) const {
    return {0, 0, scale_units(dpi, kClientWidthUnits), scale_units(dpi, geometry(findings_).height)};
}

std::vector<ControlPlacement> CheckWindowModel::controls(int dpi) const {
    const Geometry g = geometry(findings_);
    std::vector<ControlPlacement> out;
    const auto add = [&](int id, ControlKind kind, std::string text, int x, int y, int w, int h) -> ControlPlacement& {
        ControlPlacement c;
        c.id = id;
        c.kind = kind;
        c.text = std::move(text);
        c.rect = {scale_units(dpi, x), scale_units(dpi, y), scale_units(dpi, x + w), scale_units(dpi, y + h)};
        out.push_back(std::move(c));
        return out.back();
    };
    for (int r = 0; r < kRowCount; ++r) {
        const std::size_t i = static_cast<std::size_t>(r);
        const Finding* f = i < findings_.size() ? &findings_[i] : nullptr;
        const int top = g.rowTops[i];
        const std::string text = f ? f->text : std::string();
        add(row_state_id(r), ControlKind::Label, f ? std::string(state_label(f->state)) : std::string(), kStateLeft,
            top + kTextInset, kStateWidth, kLineUnits);
        add(row_text_id(r), ControlKind::Label, text, kTextLeft, top + kTextInset, kTextWidth, text_height_units(text));
        const bool fixable = f && f->state == FindingState::Problem && f->fix != FindingFix::None;
        ControlPlacement& fix = add(row_fix_id(r), ControlKind::Button, fixable ? std::string(fix_label(f->fix)) : "",
                                    kFixLeft, top, kButtonWidth, kButtonHeight);
        fix.visible = fixable;
        fix.enabled = fixable && !busy_;
    }
    add(kStatusId, ControlKind::Label, status_, kMargin, g.statusTop, kStatusWidth, kStatusLines * kLineUnits);
    const int buttonsLeft = kClientWidthUnits - kMargin - 2 * kButtonWidth - 8;
    add(kCheckAgainId, ControlKind::DefaultButton, "Check Again", buttonsLeft, g.statusTop, kButtonWidth,
        kButtonHeight)
        .enabled = !busy_;
    add(kCloseId, ControlKind::Button, "Close", buttonsLeft + kButtonWidth + 8, g.statusTop, kButtonWidth,
        kButtonHeight);
    return out;
}

}  // namespace hp::connection_check
