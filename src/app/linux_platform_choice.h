#pragma once
// The input platform of the Linux desktop program, chosen in one place.
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

#include "base/result.h"
#include "platform/platform_services.h"

namespace hp::app {

struct DesktopPlatformOptions {
    std::string display;                      // $DISPLAY
    std::function<void()> lock;               // the session's lock
    std::function<void()> keepAwake;          // input arrived
    std::function<void(bool up)> stepBrightness;
    std::ostream* log = nullptr;              // where a text-only platform writes
};

Result<std::shared_ptr<platform::PlatformServices>> make_desktop_platform(DesktopPlatformOptions options);

}  // namespace hp::app
