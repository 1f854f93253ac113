#include "pairing_flyout/flyout_layout.h"

#include <algorithm>

namespace hp::pairing_flyout {

int flyout_dpi(unsigned systemDpi) {
    // Capped far beyond any real screen so the arithmetic stays in range.
    return static_cast<int>(std::clamp(systemDpi, 96u, 96u * 64));
}

int scaled(int dpi, int value) { return dpi * value / 96; }

Point anchor_centre(const Rect& anchor) {
    return {(anchor.left + anchor.right) / 2, (anchor.top + anchor.bottom) / 2};
}

namespace {
// Into [low, high]; when high < low, low wins.
int clamp_low_wins(int value, int low, int high) { return std::max(low, std::min(value, high)); }
}  // namespace

Rect flyout_rect(int dpi, const Rect& anchor, const Rect& work) {
    const int width = scaled(dpi, kWidthUnits);
    const int height = scaled(dpi, kHeightUnits);
    int x = anchor_centre(anchor).x - dpi * kWidthUnits / 192;
    const bool anchorLow = (work.top + work.bottom) / 2 < anchor.top;
    int y = anchorLow ? anchor.top - height - kGap : anchor.bottom + kGap;
    x = clamp_low_wins(x, work.left + kMargin, work.right - width - kMargin);
    y = clamp_low_wins(y, work.top + kMargin, work.bottom - height - kMargin);
    return {x, y, x + width, y + height};
}

QrPlacement qr_placement(int dpi, int side) {
    QrPlacement p;
    const int box = scaled(dpi, kQrBoxUnits);
    p.modulePixels = side > 0 ? std::max(1, box / side) : 1;
    p.size = p.modulePixels * side;
    p.x = (scaled(dpi, kWidthUnits) - p.size) / 2;
    p.y = scaled(dpi, kQrTopUnits) + (box - p.size) / 2;
    return p;
}

std::string display_code(std::string_view code) {
    if (code.size() != 6) return std::string(code);
    return std::string(code.substr(0, 3)) + " " + std::string(code.substr(3));
}

std::string lan_line(std::string_view lan, const text_catalogue::Catalogue& texts) {
    return texts.tr("LAN: {0}", {lan.empty() ? std::string_view("-") : lan});
}

std::string tailscale_line(std::string_view tailscale, const text_catalogue::Catalogue& texts) {
    return texts.tr("Tailscale: {0}", {tailscale.empty() ? texts.tr("Not connected") : tailscale});
}

}  // namespace hp::pairing_flyout
