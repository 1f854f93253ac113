#pragma once
// An X server of the test's own (Xvfb on a display number it picks itself)
// and a small Xlib client that receives what is sent to its window, for the
// X11 platform's tests and the input latency tool.
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// Before Xlib, which defines Status as a macro.
#include "base/result.h"

#include <X11/Xlib.h>

namespace hp::test {

// Xvfb started with -displayfd (so it takes a free display number) and
// -nolisten tcp; stopped and waited for on destruction.
class Xvfb {
public:
    // Fails when Xvfb is not installed or does not come up within 10 s.
    static Result<std::unique_ptr<Xvfb>> start();
    ~Xvfb();
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;

    const std::string& display() const { return display_; }

private:
    Xvfb(pid_t pid, std::string display) : pid_(pid), display_(std::move(display)) {}
    pid_t pid_;
    std::string display_;
};

// A mapped, focused 400×300 window at (100, 100) with the pointer in its
// middle, selecting key, button and motion events.
class XReceiver {
public:
    static Result<std::unique_ptr<XReceiver>> open(const std::string& display);
    ~XReceiver();
    XReceiver(const XReceiver&) = delete;
    XReceiver& operator=(const XReceiver&) = delete;

    Display* display() const { return display_; }
    Window window() const { return window_; }

    // The next event that `wanted` accepts, within `timeout`; other events
    // are dropped (keymap changes are applied first).
    std::optional<XEvent> next(const std::function<bool(const XEvent&)>& wanted, std::chrono::milliseconds timeout);
    // Drops every event that arrives within `quiet`; answers how many came.
    int drain(std::chrono::milliseconds quiet);
    // The characters of the next `count` key presses that type one (by their
    // keysym as this client's keymap has it), within `timeout`.
    std::u32string read_text(std::size_t count, std::chrono::milliseconds timeout);

private:
    XReceiver(Display* display, Window window) : display_(display), window_(window) {}
    Display* display_;
    Window window_;
};

}  // namespace hp::test
