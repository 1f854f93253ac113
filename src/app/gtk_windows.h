#pragma once
// hearthpad-windows: the desktop host's windows drawn with GTK 3, one window
// per run. The host starts the program with --pairing, --check or --mapping
// and its end of the link on descriptor 3; everything the window shows
// comes over that link (window_link), and the program ends when the link
// closes or its window does. It reads nothing from the disk itself.
#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "pad_mapping/mapping.h"
#include "window_link/window_link.h"

namespace hp::app::gtk {

namespace wl = window_link;

// The program's end of the link: writes one message a line.
class LinkOut {
public:
    explicit LinkOut(int fd) : fd_(fd) {}
    void send(const wl::ToHost& message);

private:
    int fd_;
};

// One of the three windows.
class Window {
public:
    virtual ~Window() = default;
    virtual GtkWindow* window() = 0;
    // A message of the host's; Raise, Close and DumpRequest are handled by
    // the program for every window.
    virtual void receive(const wl::ToWindow& message) = 0;
};

std::unique_ptr<Window> make_pairing_window(LinkOut& link);
std::unique_ptr<Window> make_check_window(LinkOut& link);
std::unique_ptr<Window> make_mapping_window(LinkOut& link);

// Marks a widget with the control id its window model gives it.
void set_control_id(GtkWidget* widget, int id);
// Every label, button, check box, drop-down and value shown in `window`,
// with its id (-1 without one), place, visibility and sensitivity.
wl::Texts dump_controls(GtkWindow* window);

// A label text with a mnemonic on its first letter ("_Save"); underscores
// of the text are kept as text.
std::string with_mnemonic(std::string_view text);

// The key code of an X key code (evdev code + 8), by the key's place: the
// set-1 scan code and extended flag the key table gives each key code.
// Nothing for keys outside the table.
std::optional<pad_mapping::KeyCode> key_code_for_x_keycode(unsigned keycode);
// Whether a key event was sent by a program: on X11 those come from the
// XTest device.
bool injected_key(const GdkEvent* event);

}  // namespace hp::app::gtk
