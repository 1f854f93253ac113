// The pairing window's size, place, QR code placement and lines.
#include <gtest/gtest.h>

#include "pairing_flyout/flyout_layout.h"

namespace hp::pairing_flyout {
namespace {

TEST(FlyoutSize, FollowsTheSystemDpiAndNeverGoesBelow96) {
    EXPECT_EQ(flyout_dpi(0), 96);
    EXPECT_EQ(flyout_dpi(72), 96);
    EXPECT_EQ(flyout_dpi(144), 144);
    const Rect r = flyout_rect(144, {1000, 1000, 1000, 1000}, {0, 0, 4000, 3000});
    EXPECT_EQ(r.width(), 480);
    EXPECT_EQ(r.height(), 570);
    const Rect odd = flyout_rect(120, {1000, 1000, 1000, 1000}, {0, 0, 4000, 3000});
    EXPECT_EQ(odd.width(), 400);
    EXPECT_EQ(odd.height(), 475);
}

TEST(FlyoutPlace, AboveABottomTaskbarIconCentredOnItInsideTheWorkArea) {
    // 1920 x 1080 at 144 DPI, taskbar 60 px at the bottom, icon 24 px: 8 px
    // above the icon would reach into the taskbar, so the window stops 4 px
    // above the work area's bottom.
    const Rect work{0, 0, 1920, 1020};
    const Rect icon{1500, 1038, 1524, 1062};
    EXPECT_EQ(flyout_rect(144, icon, work), (Rect{1512 - 240, 1020 - 4 - 570, 1512 + 240, 1020 - 4}));
    // An icon standing higher (a tall taskbar) gets the 8 px gap.
    const Rect high{1500, 900, 1524, 924};
    EXPECT_EQ(flyout_rect(144, high, work), (Rect{1272, 900 - 8 - 570, 1752, 900 - 8}));
}

TEST(FlyoutPlace, BelowATopTaskbarIcon) {
    const Rect work{0, 48, 1920, 1080};
    const Rect icon{800, 8, 824, 48};
    const Rect r = flyout_rect(96, icon, work);
    EXPECT_EQ(r, (Rect{812 - 160, 48 + 8, 812 + 160, 48 + 8 + 380}));
    // Below an icon inside a taskbar above the work area: 4 px inside it.
    EXPECT_EQ(flyout_rect(96, {800, 0, 824, 30}, {0, 40, 1920, 1080}).top, 44);
}

TEST(FlyoutPlace, PulledFourPixelsInsideTheWorkArea) {
    const Rect work{0, 0, 1920, 1020};
    // An icon in the far right corner: the window would stick out.
    const Rect right = flyout_rect(144, {1900, 1040, 1916, 1056}, work);
    EXPECT_EQ(right.right, 1920 - 4);
    EXPECT_EQ(right.bottom, 1020 - 4);
    // A cursor anchor at the top left corner of a work area moved by a left taskbar.
    const Rect left = flyout_rect(96, {70, 2, 70, 2}, {64, 0, 1920, 1080});
    EXPECT_EQ(left.left, 64 + 4);
    EXPECT_EQ(left.top, 2 + 8);
    // Near the bottom of the work area, below the middle only by its top: above.
    const Rect low = flyout_rect(96, {900, 600, 900, 600}, {0, 0, 1920, 1080});
    EXPECT_EQ(low.bottom, 600 - 8);
}

TEST(FlyoutPlace, AWorkAreaTooSmallKeepsTheLeftAndTopEdges) {
    const Rect r = flyout_rect(144, {100, 100, 110, 110}, {10, 20, 300, 200});
    EXPECT_EQ(r.left, 14);
    EXPECT_EQ(r.top, 24);
}

TEST(FlyoutQr, IntegerModulesCentredInTheBox) {
    // 45 modules and the 4-module border: 53 modules of 3 px, 159 px.
    EXPECT_EQ(qr_placement(96, 53), (QrPlacement{3, 159, (320 - 159) / 2, 116 + (200 - 159) / 2}));
    // At 144 DPI the box is 300 px: 5 px per module.
    EXPECT_EQ(qr_placement(144, 53), (QrPlacement{5, 265, (480 - 265) / 2, 174 + (300 - 265) / 2}));
    // A symbol wider than the box is drawn at one pixel per module.
    EXPECT_EQ(qr_placement(96, 211), (QrPlacement{1, 211, (320 - 211) / 2, 116 + (200 - 211) / 2}));
    EXPECT_EQ(qr_placement(96, 65).modulePixels, 3);
}

TEST(FlyoutText, CodeAndAddressLines) {
    EXPECT_EQ(display_code("012345"), "012 345");
    EXPECT_EQ(display_code("000000"), "000 000");
    EXPECT_EQ(display_code("12345"), "12345");
    EXPECT_EQ(lan_line("192.168.1.5:49182"), "LAN: 192.168.1.5:49182");
    EXPECT_EQ(lan_line(""), "LAN: -");
    EXPECT_EQ(tailscale_line("100.64.0.7:49182"), "Tailscale: 100.64.0.7:49182");
    EXPECT_EQ(tailscale_line(""), "Tailscale: Not connected");
}

}  // namespace
}  // namespace hp::pairing_flyout
