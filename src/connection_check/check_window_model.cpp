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

// Heights in pixels at one DPI: the measured height of a text at its
// column's width (never under `minLines` lines), or the estimate.
struct Heights {
    int dpi;
    const TextMeasure& measure;
    int text(const std::string& body, const LayoutRect& column, int widthUnits, int minLines) const {
        const int least = scale_units(dpi, minLines * kLineUnits);
        if (measure) return std::max(least, measure(body, column.width()));
        return std::max(least, scale_units(dpi, text_lines(body, widthUnits) * kLineUnits));
    }
    int row_text(const std::string& body) const { return text(body, row_text_column(dpi), kTextWidth, 1); }
    int status(const std::string& body) const { return text(body, status_text_column(dpi), kStatusWidth, kStatusLines); }
};

// Where things go, in pixels.
struct Geometry {
    std::vector<int> rowTops, textHeights;
    int statusTop = 0;
    int statusHeight = 0;
    int height = 0;
};

Geometry geometry(const std::vector<std::string>& texts, const std::string& status, const Heights& h) {
    const int dpi = h.dpi;
    Geometry g;
    int y = scale_units(dpi, kMargin);
    for (int r = 0; r < kRowCount; ++r) {
        const std::size_t i = static_cast<std::size_t>(r);
        const int textHeight = h.row_text(i < texts.size() ? texts[i] : std::string());
        g.rowTops.push_back(y);
        g.textHeights.push_back(textHeight);
        y += std::max(scale_units(dpi, kButtonHeight), scale_units(dpi, kTextInset) + textHeight) +
             scale_units(dpi, kRowGap);
    }
    g.statusTop = y + scale_units(dpi, 4);
    g.statusHeight = h.status(status);
    g.height = g.statusTop + std::max(g.statusHeight, scale_units(dpi, kButtonHeight)) + scale_units(dpi, kMargin);
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

std::string_view state_label(FindingState state, const text_catalogue::Catalogue& texts) {
    switch (state) {
        case FindingState::Ok: return texts.tr("OK");
        case FindingState::Problem: return texts.tr("Problem");
        case FindingState::Unknown: break;
    }
    return texts.tr("Unknown");
}

std::string_view fix_label(FindingFix fix, const text_catalogue::Catalogue& texts) {
    switch (fix) {
        case FindingFix::AllowFirewall: return texts.tr("Allow…");
        case FindingFix::OpenNetworkSettings: return texts.tr("Open Settings");
        case FindingFix::None: break;
    }
    return {};
}

CheckWindowModel::CheckWindowModel(text_catalogue::Catalogue texts, CheckSystem system)
    : texts_(texts), system_(system) {}

std::vector<std::string> CheckWindowModel::shown_texts() const {
    std::vector<std::string> out;
    for (const Finding& f : findings_) out.push_back(f.message.source.empty() ? f.text : texts_.format(f.message));
    return out;
}

void CheckWindowModel::begin_check() {
    busy_ = true;
    status_ = std::string(texts_.tr(kCheckingText));
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
    const auto count = static_cast<unsigned long>(problems);
    status_ = problems == 0 ? std::string(texts_.tr("No problems found."))
                            : text_catalogue::fill_placeholders(
                                  texts_.tr_plural("{0} problem found.", "{0} problems found.", count),
                                  {std::to_string(count)});
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
            status_ = system_ == CheckSystem::Linux ? std::string(kAskingLinuxText) : std::string(texts_.tr(kAskingText));
            return CheckAction::AllowFirewall;
        }
        if (f.fix == FindingFix::OpenNetworkSettings) return CheckAction::OpenNetworkSettings;
    }
    return CheckAction::None;
}

CheckAction CheckWindowModel::fix_finished(const Result<platform::ElevatedOutcome>& outcome) {
    busy_ = false;
    status_ = allow_firewall_outcome_text(outcome, texts_, system_);
    if (!allow_firewall_succeeded(outcome)) return CheckAction::None;
    afterCheck_ = status_;
    return CheckAction::RunCheck;
}

LayoutRect row_text_column(int dpi) { return {scale_units(dpi, kTextLeft), 0, scale_units(dpi, kTextLeft + kTextWidth), 0}; }
LayoutRect status_text_column(int dpi) { return {scale_units(dpi, kMargin), 0, scale_units(dpi, kMargin + kStatusWidth), 0}; }

LayoutRect CheckWindowModel::client_rect(int dpi, const TextMeasure& measure) const {
    return {0, 0, scale_units(dpi, kClientWidthUnits), geometry(shown_texts(), status_, Heights{dpi, measure}).height};
}

std::vector<ControlPlacement> CheckWindowModel::controls(int dpi, const TextMeasure& measure) const {
    const std::vector<std::string> texts = shown_texts();
    const Geometry g = geometry(texts, status_, Heights{dpi, measure});
    std::vector<ControlPlacement> out;
    const auto add = [&](int id, ControlKind kind, std::string text, LayoutRect rect) -> ControlPlacement& {
        ControlPlacement c;
        c.id = id;
        c.kind = kind;
        c.text = std::move(text);
        c.rect = rect;
        out.push_back(std::move(c));
        return out.back();
    };
    // x and width in units; y and height in pixels.
    const auto at = [&](int x, int w, int y, int h) {
        return LayoutRect{scale_units(dpi, x), y, scale_units(dpi, x + w), y + h};
    };
    const int inset = scale_units(dpi, kTextInset);
    for (int r = 0; r < kRowCount; ++r) {
        const std::size_t i = static_cast<std::size_t>(r);
        const Finding* f = i < findings_.size() ? &findings_[i] : nullptr;
        const int top = g.rowTops[i];
        add(row_state_id(r), ControlKind::Label, f ? std::string(state_label(f->state, texts_)) : std::string(),
            at(kStateLeft, kStateWidth, top + inset, scale_units(dpi, kLineUnits)));
        LayoutRect column = row_text_column(dpi);
        column.top = top + inset;
        column.bottom = column.top + g.textHeights[i];
        add(row_text_id(r), ControlKind::Label, f ? texts[i] : std::string(), column);
        const bool fixable = f && f->state == FindingState::Problem && f->fix != FindingFix::None;
        ControlPlacement& fix = add(row_fix_id(r), ControlKind::Button, fixable ? std::string(fix_label(f->fix, texts_)) : "",
                                    at(kFixLeft, kButtonWidth, top, scale_units(dpi, kButtonHeight)));
        fix.visible = fixable;
        fix.enabled = fixable && !busy_;
    }
    LayoutRect status = status_text_column(dpi);
    status.top = g.statusTop;
    status.bottom = g.statusTop + g.statusHeight;
    add(kStatusId, ControlKind::Label, status_, status);
    const int buttonsLeft = kClientWidthUnits - kMargin - 2 * kButtonWidth - 8;
    const int buttonHeight = scale_units(dpi, kButtonHeight);
    add(kCheckAgainId, ControlKind::DefaultButton, std::string(texts_.tr("Check Again")), at(buttonsLeft, kButtonWidth, g.statusTop, buttonHeight))
        .enabled = !busy_;
    add(kCloseId, ControlKind::Button, std::string(texts_.tr("Close")), at(buttonsLeft + kButtonWidth + 8, kButtonWidth, g.statusTop, buttonHeight));
    return out;
}

}  // namespace hp::connection_check
