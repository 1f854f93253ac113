#pragma once
// The pairing window's geometry and texts, without a window: its size from
// the system DPI, its place next to the notification-area icon inside the
// work area, where the QR code goes and how large its modules are, and the
// lines it shows. All lengths are pixels; a length of `value` units at DPI d
// is d * value / 96, truncated.
#include <string>
#include <string_view>

#include "text_catalogue/catalogue.h"

namespace hp::pairing_flyout {

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct Point {
    int x = 0, y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

// Units of the window's drawing (at 96 DPI).
inline constexpr int kWidthUnits = 320;
inline constexpr int kHeightUnits = 380;
inline constexpr int kGap = 8;      // between the icon and the window
inline constexpr int kMargin = 4;   // kept free inside the work area
inline constexpr int kQrBoxUnits = 200;
inline constexpr int kQrTopUnits = 116;

// The DPI the window is laid out for: the system DPI, at least 96.
int flyout_dpi(unsigned systemDpi);
// `value` units at `dpi`.
int scaled(int dpi, int value);

// The window's rectangle: centred on the anchor (the icon, or the cursor as
// an empty rectangle), above it when the anchor lies in the lower half of
// the work area and below it otherwise, then pulled inside the work area
// with kMargin to spare (the left or top edge wins when it cannot fit).
Rect flyout_rect(int dpi, const Rect& anchor, const Rect& workArea);

// The point MonitorFromPoint is asked about: the anchor's centre.
Point anchor_centre(const Rect& anchor);

// Where a QR code of `side` modules (quiet zone included) is drawn: an
// integer number of pixels per module (at least 1), centred in the
// kQrBoxUnits box below the code.
struct QrPlacement {
    int modulePixels = 1;
    int size = 0;  // modulePixels * side
    int x = 0, y = 0;
    friend bool operator==(const QrPlacement&, const QrPlacement&) = default;
};
QrPlacement qr_placement(int dpi, int side);

// "123 456" for a six-character code; any other code as it is.
std::string display_code(std::string_view code);
// The window's title, also drawn at its top.
inline constexpr std::string_view kTitle = text_catalogue::i18n("Pair New Device");

// "LAN: <endpoint>", or "LAN: -" without one (in the language of `texts`).
std::string lan_line(std::string_view lan, const text_catalogue::Catalogue& texts = {});
// "Tailscale: <endpoint>", or "Tailscale: Not connected" without one.
std::string tailscale_line(std::string_view tailscale, const text_catalogue::Catalogue& texts = {});

}  // namespace hp::pairing_flyout
