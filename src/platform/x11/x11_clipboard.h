#pragma once
// The CLIPBOARD selection of an X display, on a connection and thread of its
// own: while it owns the selection the thread answers other clients' requests
// (TARGETS, TIMESTAMP, UTF8_STRING, TEXT, STRING); reading asks the owner for
// UTF8_STRING, then STRING, and follows an incremental (INCR) transfer.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"

namespace hp::platform::x11 {

class X11Clipboard {
public:
    // Opens its own connection (name empty: $DISPLAY) and starts its thread.
    static Result<std::unique_ptr<X11Clipboard>> open(const std::string& display);
    ~X11Clipboard();  // stops the thread; the selection goes with the window
    X11Clipboard(const X11Clipboard&) = delete;
    X11Clipboard& operator=(const X11Clipboard&) = delete;

    // Takes the selection with this text; returns once the thread owns it
    // (false when it could not within a second).
    bool set(std::string_view utf8);
    // The selection's text: this object's own when it owns it, else the
    // owner's, converted from Latin-1 when only STRING is offered. Nothing
    // when there is no owner, it offers no text, or it does not answer in
    // time. Ill-formed UTF-8 is repaired (U+FFFD).
    std::optional<std::string> get();

    struct Impl;

private:
    explicit X11Clipboard(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace hp::platform::x11
