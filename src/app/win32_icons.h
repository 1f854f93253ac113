#pragma once
// The notification-area icons: the four artwork resources (idle and
// controlled, each for a dark and a light taskbar), the program's own
// drawing when the dark ones cannot be loaded, and the taskbar theme.
#include <windows.h>

#include <memory>

#include "platform/user_registry.h"
#include "tray/tray_model.h"

namespace hp::app {

// Icon resource ids of hearthpad.exe.
inline constexpr int kAppIconResource = 1;
inline constexpr int kIdleDarkResource = 2;
inline constexpr int kControlledDarkResource = 3;
inline constexpr int kIdleLightResource = 4;
inline constexpr int kControlledLightResource = 5;

struct IconDestroyer {
    void operator()(HICON icon) const {
        if (icon) DestroyIcon(icon);
    }
};
using UniqueIcon = std::unique_ptr<std::remove_pointer_t<HICON>, IconDestroyer>;

struct TrayIcons {
    UniqueIcon idleDark, controlledDark;    // always present (drawn when not loaded)
    UniqueIcon idleLight, controlledLight;  // absent when not loaded
    bool idleDrawn = false, controlledDrawn = false;

    // The icon for a role on a light or dark taskbar: the light variant when
    // it was loaded, else the dark one.
    HICON choose(tray::IconRole role, bool lightTaskbar) const;
};

// The side of a notification-area icon: the small-icon width, at least 16.
int tray_icon_side();

// Loads resources 2 to 5 from `module` at `side` pixels; 2 and 3 are drawn
// by the program when they cannot be loaded.
TrayIcons load_tray_icons(HINSTANCE module, int side);

// The program's own drawing of an icon: a filled disc for controlled, a ring
// for idle, both clear at 16 pixels.
UniqueIcon draw_fallback_icon(tray::IconRole role, int side);

// True when the taskbar uses the light theme ("SystemUsesLightTheme" is 1).
bool light_taskbar(platform::UserRegistry& registry);

}  // namespace hp::app
