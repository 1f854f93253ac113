#include "app/win32_icons.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace hp::app {

namespace {

constexpr char kPersonalizeKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";

UniqueIcon load(HINSTANCE module, int id, int side) {
    return UniqueIcon(static_cast<HICON>(
        LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, side, side, LR_DEFAULTCOLOR)));
}

struct BitmapDeleter {
    void operator()(HBITMAP b) const {
        if (b) DeleteObject(b);
    }
};
using UniqueBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, BitmapDeleter>;

}  // namespace

HICON TrayIcons::choose(tray::IconRole role, bool lightTaskbar) const {
    const bool controlled = role == tray::IconRole::Controlled;
    if (lightTaskbar) {
        if (controlled && controlledLight) return controlledLight.get();
        if (!controlled && idleLight) return idleLight.get();
    }
    return controlled ? controlledDark.get() : idleDark.get();
}

int tray_icon_side() { return std::max(16, GetSystemMetrics(SM_CXSMICON)); }

TrayIcons load_tray_icons(HINSTANCE module, int side) {
    TrayIcons icons;
    icons.idleDark = load(module, kIdleDarkResource, side);
    icons.controlledDark = load(module, kControlledDarkResource, side);
    icons.idleLight = load(module, kIdleLightResource, side);
    icons.controlledLight = load(module, kControlledLightResource, side);
    if (!icons.idleDark) {
        icons.idleDark = draw_fallback_icon(tray::IconRole::Idle, side);
        icons.idleDrawn = true;
    }
    if (!icons.controlledDark) {
        icons.controlledDark = draw_fallback_icon(tray::IconRole::Controlled, side);
        icons.controlledDrawn = true;
    }
    return icons;
}

UniqueIcon draw_fallback_icon(tray::IconRole role, int side) {
    BITMAPV5HEADER header{};
    header.bV5Size = sizeof header;
    header.bV5Width = side;
    header.bV5Height = -side;  // top-down
    header.bV5Planes = 1;
    header.bV5BitCount = 32;
    header.bV5Compression = BI_BITFIELDS;
    header.bV5RedMask = 0x00FF0000;
    header.bV5GreenMask = 0x0000FF00;
    header.bV5BlueMask = 0x000000FF;
    header.bV5AlphaMask = 0xFF000000;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    UniqueBitmap colour(CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits,
                                         nullptr, 0));
    ReleaseDC(nullptr, screen);
    if (!colour || !bits) return nullptr;

    // Light grey on any taskbar; green when a device is in control. Edges
    // are covered by distance for smooth small sizes (premultiplied alpha).
    const bool controlled = role == tray::IconRole::Controlled;
    const double centre = side / 2.0;
    const double outer = side / 2.0 - 1.0;
    const double inner = controlled ? -1.0 : outer - std::max(2.0, side / 6.0);
    const std::uint32_t r = controlled ? 0x34 : 0xE0, g = controlled ? 0xC7 : 0xE0, b = controlled ? 0x59 : 0xE0;
    auto* pixels = static_cast<std::uint32_t*>(bits);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const double d = std::hypot(x + 0.5 - centre, y + 0.5 - centre);
            double cover = std::clamp(outer - d + 0.5, 0.0, 1.0);
            if (inner > 0) cover = std::min(cover, std::clamp(d - inner + 0.5, 0.0, 1.0));
            const auto a = static_cast<std::uint32_t>(std::lround(cover * 255));
            pixels[y * side + x] = (a << 24) | ((r * a / 255) << 16) | ((g * a / 255) << 8) | (b * a / 255);
        }
    }
    // The AND mask is all zero: the alpha channel decides.
    const std::vector<std::uint8_t> zeros(static_cast<std::size_t>((side + 15) / 16 * 2 * side), 0);
    UniqueBitmap mask(CreateBitmap(side, side, 1, 1, zeros.data()));
    if (!mask) return nullptr;
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmColor = colour.get();
    info.hbmMask = mask.get();
    return UniqueIcon(CreateIconIndirect(&info));
}

bool light_taskbar(platform::UserRegistry& registry) {
    const auto value = registry.read_dword(kPersonalizeKey, "SystemUsesLightTheme");
    return value && *value == 1;
}

}  // namespace hp::app
