// hearthpad-windows --pairing | --check | --mapping (see gtk_windows.h).
#include <glib-unix.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/gtk_windows.h"
#include "input/keys.h"

namespace hp::app::gtk {

namespace {

constexpr int kLinkFd = 3;
constexpr std::string_view kXTestKeyboard = "Virtual core XTEST keyboard";

struct Program {
    std::unique_ptr<Window> window;
    wl::LineReader reader;
    guint watch = 0;
    bool ended = false;
};

void end(Program& program) {
    if (program.ended) return;
    program.ended = true;
    gtk_main_quit();
}

void handle(Program& program, LinkOut& link, const wl::ToWindow& message) {
    GtkWindow* window = program.window->window();
    if (std::holds_alternative<wl::Close>(message)) {
        end(program);
    } else if (std::holds_alternative<wl::Raise>(message)) {
        gtk_window_present(window);
    } else if (std::holds_alternative<wl::DumpRequest>(message)) {
        link.send(dump_controls(window));
    } else {
        program.window->receive(message);
    }
}

struct LinkWatch {
    Program* program;
    LinkOut* link;
};

gboolean on_link(gint fd, GIOCondition, gpointer data) {
    auto* watch = static_cast<LinkWatch*>(data);
    Program& program = *watch->program;
    std::array<char, 8192> buffer{};
    const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return G_SOURCE_CONTINUE;
    if (n <= 0) {
        // The host closed the link (or went away): the window goes too.
        program.watch = 0;
        end(program);
        return G_SOURCE_REMOVE;
    }
    program.reader.feed(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    for (;;) {
        auto line = program.reader.next();
        if (!line) {
            program.watch = 0;
            end(program);
            return G_SOURCE_REMOVE;
        }
        if (!*line) break;
        auto message = wl::decode_to_window(**line);
        if (!message) {
            std::fprintf(stderr, "hearthpad-windows: %s\n", message.error().text.c_str());
            program.watch = 0;
            end(program);
            return G_SOURCE_REMOVE;
        }
        handle(program, *watch->link, *message);
        if (program.ended) break;
    }
    return G_SOURCE_CONTINUE;
}

struct Drawn {
    LinkOut* link;
    wl::WindowKind kind;
    gulong handler = 0;
};

gboolean on_first_draw(GtkWidget* widget, cairo_t*, gpointer data) {
    auto* drawn = static_cast<Drawn*>(data);
    drawn->link->send(wl::Shown{drawn->kind});
    g_signal_handler_disconnect(widget, drawn->handler);
    return FALSE;
}

void on_destroy(GtkWidget*, gpointer data) { end(*static_cast<Program*>(data)); }

}  // namespace

void LinkOut::send(const wl::ToHost& message) {
    const std::string line = wl::encode(message);
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::send(fd_, line.data() + done, line.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // the host has gone; the link's end follows
        done += static_cast<std::size_t>(n);
    }
}

std::string with_mnemonic(std::string_view text) {
    std::string out;
    bool marked = false;
    for (const char c : text) {
        if (c == '_') {
            out += "__";
            continue;
        }
        if (!marked && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) {
            out += '_';
            marked = true;
        }
        out += c;
    }
    return out;
}

std::optional<pad_mapping::KeyCode> key_code_for_x_keycode(unsigned keycode) {
    if (keycode < 8) return std::nullopt;
    const unsigned evdev = keycode - 8;
    platform::KeyRecord place;
    if (evdev >= 0x01 && evdev <= 0x58) {
        place = {0, static_cast<std::uint16_t>(evdev), false};
    } else {
        // The keys whose set-1 scan code has the E0 prefix, by evdev code.
        struct Extended {
            unsigned evdev;
            std::uint16_t scan;
        };
        static constexpr std::array<Extended, 17> kExtended = {{
            {96, 0x1C}, {97, 0x1D}, {98, 0x35}, {99, 0x37}, {100, 0x38}, {102, 0x47}, {103, 0x48}, {104, 0x49},
            {105, 0x4B}, {106, 0x4D}, {107, 0x4F}, {108, 0x50}, {109, 0x51}, {110, 0x52}, {111, 0x53},
            {125, 0x5B}, {127, 0x5D},
        }};
        const auto* at = std::find_if(kExtended.begin(), kExtended.end(),
                                      [evdev](const Extended& e) { return e.evdev == evdev; });
        if (at == kExtended.end()) return std::nullopt;
        place = {0, at->scan, true};
    }
    for (const auto& row : input::key_name_table()) {
        const auto record = input::key_record(row.code);
        if (record && record->scan == place.scan && record->extended == place.extended) return row.code;
    }
    return std::nullopt;
}

bool injected_key(const GdkEvent* event) {
    GdkDevice* source = gdk_event_get_source_device(event);
    const char* name = source ? gdk_device_get_name(source) : nullptr;
    return name && std::string_view(name) == kXTestKeyboard;
}

void set_control_id(GtkWidget* widget, int id) {
    g_object_set_data(G_OBJECT(widget), "hearthpad-id", GINT_TO_POINTER(id + 2));
}

namespace {

int control_id(GtkWidget* widget) {
    const int stored = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(widget), "hearthpad-id"));
    return stored == 0 ? -1 : stored - 2;
}

std::string widget_text(GtkWidget* widget) {
    if (GTK_IS_LABEL(widget)) return gtk_label_get_text(GTK_LABEL(widget));
    if (GTK_IS_COMBO_BOX_TEXT(widget)) {
        gchar* active = gtk_combo_box_text_get_active_text(GTK_COMBO_BOX_TEXT(widget));
        std::string text = active ? active : "";
        g_free(active);
        return text;
    }
    if (GTK_IS_RANGE(widget)) return std::to_string(static_cast<int>(gtk_range_get_value(GTK_RANGE(widget))));
    if (GTK_IS_BUTTON(widget)) {
        GtkWidget* child = gtk_bin_get_child(GTK_BIN(widget));
        if (child && GTK_IS_LABEL(child)) return gtk_label_get_text(GTK_LABEL(child));
        const gchar* label = gtk_button_get_label(GTK_BUTTON(widget));
        return label ? label : "";
    }
    return {};
}

struct DumpWalk {
    GtkWidget* top;
    wl::Texts* out;
};

void dump_one(GtkWidget* widget, gpointer data);

void record(GtkWidget* widget, const DumpWalk& walk) {
    wl::ControlText c;
    c.id = control_id(widget);
    c.text = widget_text(widget);
    int x = 0, y = 0;
    (void)gtk_widget_translate_coordinates(widget, walk.top, 0, 0, &x, &y);
    GtkAllocation a{};
    gtk_widget_get_allocation(widget, &a);
    c.x = x;
    c.y = y;
    c.width = std::max(0, a.width);
    c.height = std::max(0, a.height);
    c.visible = gtk_widget_is_visible(widget);
    c.enabled = gtk_widget_is_sensitive(widget);
    if (walk.out->controls.size() < wl::kMaxControls) walk.out->controls.push_back(std::move(c));
}

void dump_one(GtkWidget* widget, gpointer data) {
    const auto& walk = *static_cast<DumpWalk*>(data);
    // A button, drop-down or scale is one control with the text it shows.
    if (GTK_IS_BUTTON(widget) || GTK_IS_COMBO_BOX(widget) || GTK_IS_RANGE(widget) || GTK_IS_LABEL(widget)) {
        record(widget, walk);
        return;
    }
    // A frame's title is a label of its own, met below.
    if (control_id(widget) >= 0 && !GTK_IS_CONTAINER(widget)) record(widget, walk);
    if (GTK_IS_CONTAINER(widget)) gtk_container_forall(GTK_CONTAINER(widget), dump_one, data);
}

}  // namespace

wl::Texts dump_controls(GtkWindow* window) {
    wl::Texts texts;
    DumpWalk walk{GTK_WIDGET(window), &texts};
    gtk_container_forall(GTK_CONTAINER(window), dump_one, &walk);
    return texts;
}

}  // namespace hp::app::gtk

// Under AddressSanitizer (the test build): GTK, Pango and fontconfig keep
// their caches until the process ends, which is not a leak of this program.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }

int main(int argc, char** argv) {
    namespace g = hp::app::gtk;
    namespace wl = hp::window_link;
    const auto kind = argc == 2 ? wl::kind_from_argument(argv[1]) : std::nullopt;
    if (!kind) {
        std::fprintf(stderr, "usage: %s --pairing | --check | --mapping (started by hearthpad)\n", argv[0]);
        return 2;
    }
    int type = 0;
    socklen_t length = sizeof type;
    if (::getsockopt(g::kLinkFd, SOL_SOCKET, SO_TYPE, &type, &length) != 0) {
        std::fprintf(stderr, "hearthpad-windows: no link to the host on descriptor %d\n", g::kLinkFd);
        return 2;
    }
    int gtkArgc = 1;
    char** gtkArgv = argv;
    if (!gtk_init_check(&gtkArgc, &gtkArgv)) {
        std::fprintf(stderr, "hearthpad-windows: cannot open the display\n");
        return 1;
    }
    g_set_prgname("hearthpad");
    g_set_application_name("Hearthpad");

    g::LinkOut link(g::kLinkFd);
    g::Program program;
    switch (*kind) {
        case wl::WindowKind::Pairing: program.window = g::make_pairing_window(link); break;
        case wl::WindowKind::Check: program.window = g::make_check_window(link); break;
        case wl::WindowKind::Mapping: program.window = g::make_mapping_window(link); break;
    }
    GtkWidget* top = GTK_WIDGET(program.window->window());
    g::Drawn drawn{&link, *kind};
    drawn.handler = g_signal_connect_after(top, "draw", G_CALLBACK(g::on_first_draw), &drawn);
    g_signal_connect(top, "destroy", G_CALLBACK(g::on_destroy), &program);

    g::LinkWatch watch{&program, &link};
    program.watch = g_unix_fd_add(g::kLinkFd, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), g::on_link,
                                  &watch);
    gtk_main();
    if (program.watch) g_source_remove(program.watch);
    // The window goes before the program ends; the host sees the link close.
    program.window.reset();
    ::close(g::kLinkFd);
    return 0;
}
