#pragma once
// The input platform of the Linux desktop program, chosen in one place.
#include <functional>
#include <memory>
#include <string>

#include "platform/platform_services.h"

namespace hp::app {

struct DesktopPlatformOptions {
    std::string display;                      // $DISPLAY
    std::function<void()> lock;               // the session's lock
    std::function<void()> keepAwake;          // input arrived
    std::function<void(bool up)> stepBrightness;
};

struct DesktopPlatform {
    std::shared_ptr<platform::PlatformServices> services;
    // Why input cannot reach other programs (no X display, no XTEST); empty
    // when it can. The host then runs all the same: pairing, the clipboard
    // of its own and the session's actions work, and every input call
    // answers that nothing went in, so nothing is ever left pressed.
    std::string problem;
};

DesktopPlatform make_desktop_platform(DesktopPlatformOptions options);

}  // namespace hp::app
