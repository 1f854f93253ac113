#pragma once
// Drives the Wine desktop of a WineSession as a user would, through the X
// display: windows found by name or program, the pointer, keys, screenshots
// (ImageMagick's import) and QR codes read from them (zbarimg). Under Xvfb
// there is no window manager: keys go to the window under the pointer, and
// the notification area is Wine's own "Wine System Tray" window.
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/result.h"
#include "e2e/wine_host.h"

namespace hp::e2e {

struct XWindow {
    std::string id;
    std::string name;
    int x = 0, y = 0, width = 0, height = 0;
    int centre_x() const { return x + width / 2; }
    int centre_y() const { return y + height / 2; }
};

class DesktopDriver {
public:
    explicit DesktopDriver(WineSession& wine) : wine_(wine) {}

    // Mapped windows, optionally only those of a program ("hearthpad.exe").
    Result<std::vector<XWindow>> visible_windows(const std::string& program = "");
    // The first visible window whose name is exactly `name`.
    std::optional<XWindow> find(const std::string& name, const std::string& program = "");
    // Polls until `pick` finds a window, or `limit` passes.
    std::optional<XWindow> wait_for(const std::function<std::optional<XWindow>()>& pick,
                                    std::chrono::milliseconds limit);
    // True once `pick` finds nothing (polling up to `limit`).
    bool wait_gone(const std::function<std::optional<XWindow>()>& pick, std::chrono::milliseconds limit);

    Status move(int x, int y);
    Status click(int x, int y, int button);
    Status key(const std::string& keys);
    Result<std::pair<int, int>> pointer();

    Status screenshot(const std::string& path);
    // The text of the one QR code in the image, as zbarimg reads it.
    Result<std::string> read_qr(const std::string& path);

private:
    Result<std::string> run(const std::vector<std::string>& argv);
    WineSession& wine_;
};

}  // namespace hp::e2e
