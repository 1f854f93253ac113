// The pairing window: the code, the pairing link as a QR code and the
// endpoints, as the pairing window's model lays them out. It closes on
// Escape and when it loses the focus it had; closing ends the program, and
// the host withdraws the code when it sees the link close.
#include <optional>

#include "app/gtk_windows.h"
#include "pairing_flyout/flyout_layout.h"
#include "qr/qr_code.h"

namespace hp::app::gtk {

namespace pf = pairing_flyout;

namespace {

// Every length at 96 DPI; GTK scales the whole window for high-density screens.
constexpr int kDpi = 96;
constexpr std::string_view kTitle = "Pair New Device";
constexpr guint kSettleMs = 300;

class PairingWindow final : public Window {
public:
    explicit PairingWindow(LinkOut&) {
        window_ = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
        g_signal_connect(window_, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer self) {
                             static_cast<PairingWindow*>(self)->window_ = nullptr;
                         }), this);
        gtk_window_set_title(window_, kTitle.data());
        gtk_window_set_resizable(window_, FALSE);
        gtk_window_set_keep_above(window_, TRUE);
        gtk_window_set_skip_taskbar_hint(window_, TRUE);
        gtk_window_set_type_hint(window_, GDK_WINDOW_TYPE_HINT_DIALOG);
        gtk_window_set_position(window_, GTK_WIN_POS_MOUSE);
        gtk_widget_set_size_request(GTK_WIDGET(window_), pf::scaled(kDpi, pf::kWidthUnits), -1);

        GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
        gtk_container_set_border_width(GTK_CONTAINER(box), 10);
        gtk_container_add(GTK_CONTAINER(window_), box);

        GtkWidget* title = gtk_label_new(nullptr);
        gchar* markup = g_markup_printf_escaped("<span size='large' weight='semibold'>%s</span>", kTitle.data());
        gtk_label_set_markup(GTK_LABEL(title), markup);
        g_free(markup);
        gtk_box_pack_start(GTK_BOX(box), title, FALSE, FALSE, 0);

        code_ = gtk_label_new("");
        gtk_label_set_selectable(GTK_LABEL(code_), TRUE);
        gtk_widget_set_can_focus(code_, FALSE);
        gtk_box_pack_start(GTK_BOX(box), code_, FALSE, FALSE, 6);

        qr_ = gtk_drawing_area_new();
        const int box_px = pf::scaled(kDpi, pf::kQrBoxUnits);
        gtk_widget_set_size_request(qr_, box_px, box_px);
        g_signal_connect(qr_, "draw", G_CALLBACK(+[](GtkWidget* area, cairo_t* cr, gpointer self) -> gboolean {
                             static_cast<PairingWindow*>(self)->draw_qr(area, cr);
                             return TRUE;
                         }), this);
        gtk_box_pack_start(GTK_BOX(box), qr_, FALSE, FALSE, 4);

        lan_ = gtk_label_new(pf::lan_line("").c_str());
        tailscale_ = gtk_label_new(pf::tailscale_line("").c_str());
        for (GtkWidget* line : {lan_, tailscale_}) {
            gtk_style_context_add_class(gtk_widget_get_style_context(line), "dim-label");
            gtk_label_set_selectable(GTK_LABEL(line), TRUE);
            gtk_widget_set_can_focus(line, FALSE);
            gtk_box_pack_start(GTK_BOX(box), line, FALSE, FALSE, 0);
        }

        g_signal_connect(window_, "key-press-event",
                         G_CALLBACK(+[](GtkWidget* w, GdkEventKey* key, gpointer) -> gboolean {
                             if (key->keyval == GDK_KEY_Escape) gtk_widget_destroy(w);
                             return TRUE;  // other keys are swallowed
                         }), nullptr);
        // Closes when the user turns to another window, once it has been
        // the active one. A focus that only flickers (raising the window
        // hands it over and back) does not count: the window must still be
        // inactive a moment later.
        g_signal_connect(window_, "notify::is-active", G_CALLBACK(+[](GObject* w, GParamSpec*, gpointer self) {
                             auto* me = static_cast<PairingWindow*>(self);
                             if (gtk_window_is_active(GTK_WINDOW(w))) {
                                 me->focused_ = true;
                             } else if (me->focused_ && !me->settle_) {
                                 me->settle_ = g_timeout_add(kSettleMs, close_if_inactive, me);
                             }
                         }), this);
    }

    ~PairingWindow() override {
        if (settle_) g_source_remove(settle_);
        if (window_) gtk_widget_destroy(GTK_WIDGET(window_));
    }

    GtkWindow* window() override { return window_; }

    void receive(const wl::ToWindow& message) override {
        const auto* show = std::get_if<wl::ShowPairing>(&message);
        if (!show) return;
        gchar* markup = g_markup_printf_escaped("<span font_family='monospace' size='xx-large' weight='bold'>%s</span>",
                                                pf::display_code(show->code).c_str());
        gtk_label_set_markup(GTK_LABEL(code_), markup);
        g_free(markup);
        gtk_label_set_text(GTK_LABEL(lan_), pf::lan_line(show->lan).c_str());
        gtk_label_set_text(GTK_LABEL(tailscale_), pf::tailscale_line(show->tailscale).c_str());
        // Too long a link: the window shows the rest without the symbol.
        auto matrix = qr::encode_with_border(show->link);
        matrix_ = matrix ? std::optional<qr::Matrix>(std::move(*matrix)) : std::nullopt;
        gtk_widget_queue_draw(qr_);
        if (!shown_) {
            shown_ = true;
            gtk_widget_show_all(GTK_WIDGET(window_));
        } else {
            gtk_window_present(window_);
        }
    }

private:
    static gboolean close_if_inactive(gpointer self) {
        auto* me = static_cast<PairingWindow*>(self);
        me->settle_ = 0;
        if (me->window_ && !gtk_window_is_active(me->window_)) gtk_widget_destroy(GTK_WIDGET(me->window_));
        return G_SOURCE_REMOVE;
    }

    // Whole pixels per module, light quiet zone included, no smoothing: a
    // camera sees sharp edges.
    void draw_qr(GtkWidget* area, cairo_t* cr) const {
        if (!matrix_ || matrix_->side <= 0) return;
        const int f = matrix_->side;
        const int k = pf::qr_placement(kDpi, f).modulePixels;
        const int size = k * f;
        const int x0 = (gtk_widget_get_allocated_width(area) - size) / 2;
        const int y0 = (gtk_widget_get_allocated_height(area) - size) / 2;
        cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_rectangle(cr, x0, y0, size, size);
        cairo_fill(cr);
        cairo_set_source_rgb(cr, 0, 0, 0);
        for (int y = 0; y < f; ++y)
            for (int x = 0; x < f; ++x)
                if (matrix_->dark(x, y)) cairo_rectangle(cr, x0 + x * k, y0 + y * k, k, k);
        cairo_fill(cr);
    }

    GtkWindow* window_ = nullptr;
    GtkWidget* code_ = nullptr;
    GtkWidget* qr_ = nullptr;
    GtkWidget* lan_ = nullptr;
    GtkWidget* tailscale_ = nullptr;
    std::optional<qr::Matrix> matrix_;
    bool shown_ = false;
    bool focused_ = false;
    guint settle_ = 0;
};

}  // namespace

std::unique_ptr<Window> make_pairing_window(LinkOut& link) { return std::make_unique<PairingWindow>(link); }

}  // namespace hp::app::gtk
