#pragma once
// PlatformServices for an X11 session: pointer, buttons, wheels and keys
// through the XTEST extension, text typed through keysyms bound to spare
// keycodes for the time of typing, and the CLIPBOARD selection. Locking,
// keeping the session awake and brightness belong to the desktop's D-Bus
// services; the caller hands them in.
//
// The object is safe to call from any thread: injection runs on one X
// connection behind a mutex (calls are short and never wait on a client),
// and the clipboard has a connection and a thread of its own that owns the
// selection and reads it (a read waits at most about a second and a half).
#include <functional>
#include <memory>
#include <string>

#include "base/result.h"
#include "platform/platform_services.h"

namespace hp::platform::x11 {

struct X11Options {
    std::string display{};                          // empty: $DISPLAY
    std::function<void()> lock{};                   // lock the session; none: nothing
    std::function<void()> keepAwake{};              // reset the idle timers once; none: nothing
    std::function<void(bool up)> stepBrightness{};  // one brightness step; none: nothing
};

// Opens the display twice (input and clipboard) and checks for XTEST. Fails
// with a text naming the display when it cannot be opened or lacks XTEST.
Result<std::shared_ptr<PlatformServices>> make_x11_platform(X11Options options);

}  // namespace hp::platform::x11
