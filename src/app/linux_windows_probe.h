#pragma once
// What an open window shows, asked from its window program over the link
// (the "dump" message): every control's text, place and state. For tests
// and diagnostics; nothing when the window is not open or does not answer
// within `timeout`.
#include <chrono>
#include <optional>

#include "app/linux_windows.h"
#include "window_link/window_link.h"

namespace hp::app {

std::optional<window_link::Texts> window_texts(DesktopWindows& windows, window_link::WindowKind kind,
                                               std::chrono::milliseconds timeout);

// How long the window program last started for `kind` took from its start
// to its first drawing (its "shown" message); nothing before that.
std::optional<std::chrono::steady_clock::duration> first_drawn_after(DesktopWindows& windows,
                                                                     window_link::WindowKind kind);

}  // namespace hp::app
