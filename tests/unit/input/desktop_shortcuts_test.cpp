#include <gtest/gtest.h>

#include "input/desktop_shortcuts.h"

namespace hp::input {
namespace {

TEST(DesktopStyle, FromXdgCurrentDesktop) {
    struct Case {
        const char* value;
        DesktopStyle style;
    };
    const Case cases[] = {
        {"GNOME", DesktopStyle::Gnome},
        {"ubuntu:GNOME", DesktopStyle::Gnome},
        {"GNOME-Classic:GNOME", DesktopStyle::Gnome},
        {"gnome", DesktopStyle::Gnome},
        {"KDE", DesktopStyle::Kde},
        {"X-Generic: KDE ", DesktopStyle::Kde},
        {"KDE:GNOME", DesktopStyle::Kde},  // the first one named decides
        {"XFCE", DesktopStyle::Other},
        {"X-Cinnamon", DesktopStyle::Other},
        {"GNOME-Flashback", DesktopStyle::Other},  // only with ":GNOME" after it
        {"KDEX", DesktopStyle::Other},
        {"", DesktopStyle::Other},
        {":::", DesktopStyle::Other},
    };
    for (const Case& c : cases) EXPECT_EQ(desktop_style_from_xdg(c.value), c.style) << '"' << c.value << '"';
}

}  // namespace
}  // namespace hp::input
