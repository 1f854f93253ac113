// The pairing window's texts in every language, and that each fits the
// window's width on one line at 96, 144 and 192 DPI, measured with a simple
// model of each script's width in the window's fonts.
#include <gtest/gtest.h>

#include <string>

#include "base/utf8.h"
#include "pairing_flyout/flyout_layout.h"

namespace hp::pairing_flyout {
namespace {

using text_catalogue::Catalogue;
using text_catalogue::Language;

// The width of a text in pixels in a font of `size` units at `dpi`: Latin
// and Cyrillic letters at most 0.6 em on average (bold included), CJK a
// full em.
int text_width(std::string_view text, int size, int dpi) {
    int tenths = 0;  // of an em
    for (const char16_t unit : utf8_to_utf16(text)) tenths += unit >= 0x1100 && unit <= 0xFFDC ? 10 : 6;
    return scaled(dpi, (tenths * size + 9) / 10);
}

TEST(FlyoutLanguages, LinesInTheCatalogues) {
    const Catalogue french(Language::French), japanese(Language::Japanese);
    EXPECT_EQ(lan_line("192.168.1.20:49152", french), "R\u00e9seau local\u00a0: 192.168.1.20:49152");
    EXPECT_EQ(tailscale_line("", french), "Tailscale\u00a0: Non connect\u00e9");
    EXPECT_EQ(lan_line("", japanese), "LAN: -");
    EXPECT_EQ(tailscale_line("", japanese), "Tailscale: 未接続");
    EXPECT_EQ(japanese.tr(kTitle), "新しいデバイスのペアリング");
    // English as it always was.
    EXPECT_EQ(lan_line(""), "LAN: -");
    EXPECT_EQ(tailscale_line(""), "Tailscale: Not connected");
}

TEST(FlyoutLanguages, EveryLineFitsTheWindowAtEveryDpi) {
    for (const Language language : text_catalogue::kLanguages) {
        const Catalogue texts(language);
        for (const int dpi : {96, 144, 192}) {
            SCOPED_TRACE(std::string(text_catalogue::language_code(language)) + " at " + std::to_string(dpi));
            const int width = scaled(dpi, kWidthUnits);
            // The title (18 units, semibold) and the small lines (13 units).
            EXPECT_LE(text_width(texts.tr(kTitle), 18, dpi), width);
            for (const std::string& line : {lan_line("192.168.100.200:49152", texts), lan_line("", texts),
                                            tailscale_line("100.101.102.103:49152", texts), tailscale_line("", texts)})
                EXPECT_LE(text_width(line, 13, dpi), width) << line;
        }
    }
}

}  // namespace
}  // namespace hp::pairing_flyout
