#pragma once
// Small helpers the windows use to mirror their models into child controls.
#include <windows.h>

#include <string>

namespace hp::app {

// Changes a control's text only when it differs (no flicker, no needless
// repaint on every refresh).
void set_text(HWND window, int id, const std::string& text);
void enable(HWND window, int id, bool enabled);

// Registers a top-level window class of the program: its icon, the arrow
// cursor and the dialog background. A class registered by an earlier window
// stays; a failure shows as CreateWindowExW failing.
void register_window_class(HINSTANCE instance, const wchar_t* name, WNDPROC procedure);

}  // namespace hp::app
