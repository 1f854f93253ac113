// The connection check window: one row per finding (state, text, the fix's
// button), the status line, Check Again and Close, mirroring the check
// window's model after every change. The host gathers the facts and runs
// the fix; the window asks for both over the link.
#include <map>

#include "app/gtk_windows.h"
#include "connection_check/check_window_model.h"

namespace hp::app::gtk {

namespace cc = connection_check;

namespace {

constexpr int kDpi = 96;

class CheckWindow final : public Window {
public:
    explicit CheckWindow(LinkOut& link) : link_(link) {
        window_ = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
        g_signal_connect(window_, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer self) {
                             static_cast<CheckWindow*>(self)->window_ = nullptr;
                         }), this);
        gtk_window_set_title(window_, cc::kWindowTitle.data());
        gtk_window_set_position(window_, GTK_WIN_POS_CENTER);
        gtk_window_set_default_size(window_, cc::scale_units(kDpi, cc::kClientWidthUnits), -1);

        GtkWidget* grid = gtk_grid_new();
        gtk_container_set_border_width(GTK_CONTAINER(grid), 12);
        gtk_grid_set_row_spacing(GTK_GRID(grid), 8);
        gtk_grid_set_column_spacing(GTK_GRID(grid), 12);
        gtk_container_add(GTK_CONTAINER(window_), grid);

        for (const cc::ControlPlacement& placed : model_.controls(kDpi)) {
            GtkWidget* widget = nullptr;
            if (placed.kind == cc::ControlKind::Label) {
                widget = gtk_label_new(placed.text.c_str());
                gtk_label_set_line_wrap(GTK_LABEL(widget), TRUE);
                gtk_label_set_xalign(GTK_LABEL(widget), 0.0f);
                gtk_widget_set_hexpand(widget, placed.id == cc::kStatusId || is_row_text(placed.id));
                if (is_row_text(placed.id)) gtk_label_set_max_width_chars(GTK_LABEL(widget), 60);
            } else {
                widget = gtk_button_new_with_mnemonic(with_mnemonic(placed.text).c_str());
                gtk_widget_set_valign(widget, GTK_ALIGN_START);
                g_object_set_data(G_OBJECT(widget), "window", this);
                g_signal_connect(widget, "clicked", G_CALLBACK(+[](GtkButton* button, gpointer id) {
                                     auto* self = static_cast<CheckWindow*>(
                                         g_object_get_data(G_OBJECT(button), "window"));
                                     self->act(self->model_.click(GPOINTER_TO_INT(id)));
                                 }), GINT_TO_POINTER(placed.id));
            }
            set_control_id(widget, placed.id);
            widgets_[placed.id] = widget;
            place(grid, placed.id, widget);
        }
        if (GtkWidget* again = widgets_[cc::kCheckAgainId]) {
            gtk_widget_set_can_default(again, TRUE);
            gtk_window_set_default(window_, again);
        }
        g_signal_connect(window_, "key-press-event",
                         G_CALLBACK(+[](GtkWidget* w, GdkEventKey* key, gpointer) -> gboolean {
                             if (key->keyval != GDK_KEY_Escape) return FALSE;
                             gtk_widget_destroy(w);
                             return TRUE;
                         }), nullptr);

        gtk_widget_show_all(GTK_WIDGET(window_));
        // The first check starts as the window opens.
        act(cc::CheckAction::RunCheck);
        if (GtkWidget* again = widgets_[cc::kCheckAgainId]) gtk_widget_grab_focus(again);
    }

    ~CheckWindow() override {
        if (window_) gtk_widget_destroy(GTK_WIDGET(window_));
    }

    GtkWindow* window() override { return window_; }

    void receive(const wl::ToWindow& message) override {
        if (const auto* findings = std::get_if<wl::ShowFindings>(&message)) {
            model_.show_findings(findings->findings);
            refresh();
        } else if (const auto* fixed = std::get_if<wl::FixFinished>(&message)) {
            act(model_.fix_finished(fixed->outcome));
        }
    }

private:
    static bool is_row_text(int id) {
        for (int r = 0; r < cc::kRowCount; ++r)
            if (id == cc::row_text_id(r)) return true;
        return false;
    }

    // Rows in the order of the findings; the status line under them with
    // Check Again and Close at its right.
    static void place(GtkWidget* grid, int id, GtkWidget* widget) {
        for (int r = 0; r < cc::kRowCount; ++r) {
            if (id == cc::row_state_id(r)) gtk_grid_attach(GTK_GRID(grid), widget, 0, r, 1, 1);
            if (id == cc::row_text_id(r)) gtk_grid_attach(GTK_GRID(grid), widget, 1, r, 1, 1);
            if (id == cc::row_fix_id(r)) gtk_grid_attach(GTK_GRID(grid), widget, 2, r, 1, 1);
        }
        if (id == cc::kStatusId) gtk_grid_attach(GTK_GRID(grid), widget, 0, cc::kRowCount, 2, 2);
        if (id == cc::kCheckAgainId) gtk_grid_attach(GTK_GRID(grid), widget, 2, cc::kRowCount, 1, 1);
        if (id == cc::kCloseId) gtk_grid_attach(GTK_GRID(grid), widget, 2, cc::kRowCount + 1, 1, 1);
    }

    void act(cc::CheckAction action) {
        switch (action) {
            case cc::CheckAction::None: break;
            case cc::CheckAction::RunCheck:
                model_.begin_check();
                link_.send(wl::RunCheck{});
                break;
            case cc::CheckAction::AllowFirewall: link_.send(wl::AllowFirewall{}); break;
            // This desktop has no settings page for a network's profile.
            case cc::CheckAction::OpenNetworkSettings: break;
            case cc::CheckAction::Close:
                if (window_) gtk_widget_destroy(GTK_WIDGET(window_));
                return;
        }
        refresh();
    }

    void refresh() {
        if (!window_) return;
        for (const cc::ControlPlacement& placed : model_.controls(kDpi)) {
            auto it = widgets_.find(placed.id);
            if (it == widgets_.end() || !it->second) continue;
            GtkWidget* widget = it->second;
            if (GTK_IS_LABEL(widget)) gtk_label_set_text(GTK_LABEL(widget), placed.text.c_str());
            else gtk_button_set_label(GTK_BUTTON(widget), with_mnemonic(placed.text).c_str());
            gtk_widget_set_visible(widget, placed.visible);
            gtk_widget_set_sensitive(widget, placed.enabled);
        }
    }

    LinkOut& link_;
    cc::CheckWindowModel model_{cc::CheckSystem::Linux};
    GtkWindow* window_ = nullptr;
    std::map<int, GtkWidget*> widgets_;
};

}  // namespace

std::unique_ptr<Window> make_check_window(LinkOut& link) { return std::make_unique<CheckWindow>(link); }

}  // namespace hp::app::gtk
