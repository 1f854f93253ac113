// The gamepad mapping window: the controls of the mapping window's layout,
// each showing what the editor's view says, every change handed to the
// editor. Save sends the working copy to the host, which installs and
// writes it and answers with the mapping now in force. Key bindings are
// taken from the next key pressed while the window has the focus; keys sent
// by programs (XTest) are never taken.
#include <cmath>
#include <map>

#include "app/gtk_windows.h"
#include "input/keys.h"
#include "pad_mapping_ui/key_capture.h"
#include "pad_mapping_ui/mapping_editor.h"
#include "pad_mapping_ui/mapping_layout.h"

namespace hp::app::gtk {

namespace ui = pad_mapping_ui;

namespace {

// The layout's 96-DPI units are a little tight for GTK's controls; laid out
// at 120 they leave room for them.
constexpr int kLayoutDpi = 120;
constexpr std::string_view kSaveFailed = "The mapping is active now but could not be written to gamepad_mapping.json.";
constexpr std::string_view kCompactCss =
    "button, combobox button { min-height: 0; padding-top: 1px; padding-bottom: 1px; }"
    "scale { padding-top: 2px; padding-bottom: 2px; }";

class MappingWindow final : public Window {
public:
    explicit MappingWindow(LinkOut& link) : link_(link), editor_(pad_mapping::defaultMapping(), false) {
        window_ = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
        g_signal_connect(window_, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer self) {
                             static_cast<MappingWindow*>(self)->window_ = nullptr;
                         }), this);
        gtk_window_set_title(window_, ui::kWindowTitle.data());
        gtk_window_set_resizable(window_, FALSE);
        gtk_window_set_position(window_, GTK_WIN_POS_CENTER);

        GtkCssProvider* css = gtk_css_provider_new();
        (void)gtk_css_provider_load_from_data(css, kCompactCss.data(), static_cast<gssize>(kCompactCss.size()),
                                              nullptr);
        css_ = css;

        GtkWidget* fixed = gtk_fixed_new();
        const ui::LayoutRect client = ui::client_rect(kLayoutDpi);
        gtk_widget_set_size_request(fixed, client.width(), client.height());
        gtk_container_add(GTK_CONTAINER(window_), fixed);
        for (const ui::ControlPlacement& placed : ui::mapping_controls(kLayoutDpi)) create(fixed, placed);

        if (GtkWidget* save = widget(ui::kSaveId)) {
            gtk_widget_set_can_default(save, TRUE);
            gtk_window_set_default(window_, save);
        }
        g_signal_connect(window_, "key-press-event", G_CALLBACK(on_key), this);
        g_signal_connect(window_, "key-release-event", G_CALLBACK(on_key), this);
        g_signal_connect(window_, "focus-out-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) -> gboolean {
                             auto* w = static_cast<MappingWindow*>(self);
                             if (w->editor_.capture().active()) {
                                 w->editor_.stop_capture();
                                 w->refresh();
                             }
                             return FALSE;
                         }), this);
        g_signal_connect(window_, "delete-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) -> gboolean {
                             static_cast<MappingWindow*>(self)->close();
                             return TRUE;
                         }), this);
        refresh();
    }

    ~MappingWindow() override {
        if (window_) gtk_widget_destroy(GTK_WIDGET(window_));
        if (css_) g_object_unref(css_);
    }

    GtkWindow* window() override { return window_; }

    void receive(const wl::ToWindow& message) override {
        if (const auto* show = std::get_if<wl::ShowMapping>(&message)) {
            if (!show->elsewhere || !loaded_) {
                editor_ = ui::MappingEditor(show->mapping, show->vigemFound);
                loaded_ = true;
                refresh();
                gtk_widget_show_all(GTK_WIDGET(window_));
                gtk_window_present(window_);
            } else {
                editor_.mapping_changed_elsewhere(show->mapping);
                refresh();
            }
        } else if (const auto* saved = std::get_if<wl::Saved>(&message)) {
            editor_.saved_as(saved->mapping);
            refresh();
            if (!saved->error.empty()) {
                GtkWidget* box = gtk_message_dialog_new(window_, GTK_DIALOG_MODAL, GTK_MESSAGE_WARNING,
                                                        GTK_BUTTONS_OK, "%s", kSaveFailed.data());
                gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(box), "%s", saved->error.c_str());
                (void)gtk_dialog_run(GTK_DIALOG(box));
                gtk_widget_destroy(box);
            }
            if (closeAfterSave_ && window_) gtk_widget_destroy(GTK_WIDGET(window_));
        }
    }

private:
    GtkWidget* widget(int id) const {
        auto it = widgets_.find(id);
        return it == widgets_.end() ? nullptr : it->second;
    }

    void compact(GtkWidget* w) const {
        gtk_style_context_add_provider(gtk_widget_get_style_context(w), GTK_STYLE_PROVIDER(css_),
                                       GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    }

    void create(GtkWidget* fixed, const ui::ControlPlacement& placed) {
        GtkWidget* w = nullptr;
        switch (placed.kind) {
            case ui::ControlKind::GroupBox:
                w = gtk_frame_new(placed.text.c_str());
                break;
            case ui::ControlKind::Label:
                if (placed.text == "Output:" || placed.text == "Preset:") {
                    w = gtk_label_new_with_mnemonic(with_mnemonic(placed.text).c_str());
                    pendingMnemonic_ = w;
                } else {
                    w = gtk_label_new(placed.text.c_str());
                }
                gtk_label_set_xalign(GTK_LABEL(w), 0.0f);
                gtk_label_set_line_wrap(GTK_LABEL(w), TRUE);
                break;
            case ui::ControlKind::ValueBox: {
                GtkWidget* label = gtk_label_new("");
                gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
                gtk_label_set_ellipsize(GTK_LABEL(label), PANGO_ELLIPSIZE_END);
                gtk_widget_set_margin_start(label, 4);
                w = gtk_frame_new(nullptr);
                gtk_frame_set_shadow_type(GTK_FRAME(w), GTK_SHADOW_IN);
                gtk_container_add(GTK_CONTAINER(w), label);
                set_control_id(label, placed.id);
                widgets_[placed.id] = label;
                break;
            }
            case ui::ControlKind::Button:
            case ui::ControlKind::DefaultButton: {
                const bool plain = placed.text.empty() || placed.text == ui::kChangeText;
                w = plain ? gtk_button_new_with_label(placed.text.c_str())
                          : gtk_button_new_with_mnemonic(with_mnemonic(placed.text).c_str());
                connect(w, "clicked", placed.id);
                compact(w);
                break;
            }
            case ui::ControlKind::DropDown:
                w = gtk_combo_box_text_new();
                for (std::string_view item : placed.items)
                    gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(w), std::string(item).c_str());
                connect(w, "changed", placed.id);
                compact(w);
                if (pendingMnemonic_) {
                    gtk_label_set_mnemonic_widget(GTK_LABEL(pendingMnemonic_), w);
                    pendingMnemonic_ = nullptr;
                }
                break;
            case ui::ControlKind::Trackbar:
                w = gtk_scale_new_with_range(GTK_ORIENTATION_HORIZONTAL, placed.rangeMin, placed.rangeMax, 1);
                gtk_scale_set_draw_value(GTK_SCALE(w), FALSE);
                gtk_range_set_increments(GTK_RANGE(w), 1, placed.tick);
                connect(w, "value-changed", placed.id);
                compact(w);
                break;
            case ui::ControlKind::CheckBox:
                w = gtk_check_button_new_with_mnemonic(with_mnemonic(placed.text).c_str());
                connect(w, "toggled", placed.id);
                break;
        }
        if (!w) return;
        gtk_widget_set_size_request(w, placed.rect.width(), placed.rect.height());
        gtk_fixed_put(GTK_FIXED(fixed), w, placed.rect.left, placed.rect.top);
        if (placed.kind != ui::ControlKind::ValueBox && placed.id != ui::kNoId) {
            set_control_id(w, placed.id);
            widgets_[placed.id] = w;
        }
    }

    void connect(GtkWidget* w, const char* signal, int id) {
        g_object_set_data(G_OBJECT(w), "window", this);
        g_signal_connect(w, signal, G_CALLBACK(+[](GtkWidget* source, gpointer id) {
                             auto* self = static_cast<MappingWindow*>(g_object_get_data(G_OBJECT(source), "window"));
                             self->changed(source, GPOINTER_TO_INT(id));
                         }), GINT_TO_POINTER(id));
    }

    // A control changed (clicked, chosen, moved, toggled): the editor decides.
    void changed(GtkWidget* source, int id) {
        if (updating_) return;
        if (GTK_IS_RANGE(source)) {
            editor_.trackbar_moved(id, static_cast<int>(std::lround(gtk_range_get_value(GTK_RANGE(source)))));
            refresh();
            return;
        }
        const bool wasCapturing = editor_.capture().active();
        ui::MappingEditor::Next next = ui::MappingEditor::Next::Refresh;
        if (GTK_IS_COMBO_BOX(source))
            next = editor_.command(id, ui::kSelectionChanged, gtk_combo_box_get_active(GTK_COMBO_BOX(source)));
        else if (GTK_IS_TOGGLE_BUTTON(source))
            next = editor_.command(id, ui::kClicked, gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(source)) ? 1 : 0);
        else
            next = editor_.command(id, ui::kClicked, 0);
        // A capture that starts begins with no modifier held.
        if (!wasCapturing && editor_.capture().active()) hook_ = {};
        switch (next) {
            case ui::MappingEditor::Next::Refresh: refresh(); break;
            case ui::MappingEditor::Next::Save: save(); break;
            case ui::MappingEditor::Next::Close: close(); break;
        }
    }

    void save() {
        editor_.stop_capture();
        refresh();
        link_.send(wl::SaveMapping{editor_.working()});
    }

    void close() {
        editor_.stop_capture();
        refresh();
        if (!editor_.dirty()) {
            if (window_) gtk_widget_destroy(GTK_WIDGET(window_));
            return;
        }
        GtkWidget* box = gtk_message_dialog_new(window_, GTK_DIALOG_MODAL, GTK_MESSAGE_QUESTION, GTK_BUTTONS_NONE,
                                                "%s", ui::kSaveQuestion.data());
        gtk_dialog_add_buttons(GTK_DIALOG(box), "_Cancel", GTK_RESPONSE_CANCEL, "_No", GTK_RESPONSE_NO, "_Yes",
                               GTK_RESPONSE_YES, nullptr);
        gtk_dialog_set_default_response(GTK_DIALOG(box), GTK_RESPONSE_YES);
        const int answer = gtk_dialog_run(GTK_DIALOG(box));
        gtk_widget_destroy(box);
        if (answer == GTK_RESPONSE_YES) {
            // Closes once the host has the mapping.
            closeAfterSave_ = true;
            save();
        } else if (answer == GTK_RESPONSE_NO) {
            if (window_) gtk_widget_destroy(GTK_WIDGET(window_));
        }
    }

    static gboolean on_key(GtkWidget*, GdkEventKey* key, gpointer data) {
        auto* self = static_cast<MappingWindow*>(data);
        auto& editor = self->editor_;
        const bool down = key->type == GDK_KEY_PRESS;
        if (!editor.capture().active()) {
            if (down && key->keyval == GDK_KEY_Escape) {
                self->close();
                return TRUE;
            }
            return FALSE;
        }
        const auto code = key_code_for_x_keycode(key->hardware_keycode);
        const auto record = code ? input::key_record(*code) : std::nullopt;
        if (!record) return FALSE;  // not a key a binding can name: passed on
        const bool injected = injected_key(reinterpret_cast<const GdkEvent*>(key));
        const ui::HookDecision decision = ui::on_key_event(
            self->hook_, record->vk, down ? ui::KeyMessage::KeyDown : ui::KeyMessage::KeyUp, injected);
        if (decision.capture) {
            editor.key_captured(decision.capture->key, decision.capture->mods);
            self->refresh();
        }
        // Keys the rules pass on (sent by programs, releases) take their
        // usual way through the window.
        return decision.swallow ? TRUE : FALSE;
    }

    void set_combo(int id, int value) {
        if (GtkWidget* w = widget(id)) gtk_combo_box_set_active(GTK_COMBO_BOX(w), value);
    }
    void set_text(int id, const std::string& text) {
        GtkWidget* w = widget(id);
        if (!w) return;
        if (GTK_IS_LABEL(w)) gtk_label_set_text(GTK_LABEL(w), text.c_str());
        else if (GTK_IS_BUTTON(w)) gtk_button_set_label(GTK_BUTTON(w), text.c_str());
    }
    void set_enabled(int id, bool enabled) {
        if (GtkWidget* w = widget(id)) gtk_widget_set_sensitive(w, enabled);
    }

    void refresh() {
        if (!window_) return;
        updating_ = true;
        const ui::EditorView view = editor_.view();
        for (int i = 0; i < static_cast<int>(pad_mapping::kButtonCount); ++i) {
            const ui::RowView& row = view.rows[static_cast<std::size_t>(i)];
            set_text(ui::row_value_id(i), row.value);
            set_text(ui::row_change_id(i), row.changeText);
            set_combo(ui::row_action_id(i), row.action);
        }
        for (int s = 0; s < 2; ++s) {
            const ui::StickView& stick = view.sticks[static_cast<std::size_t>(s)];
            const int base = ui::stick_base(s);
            set_combo(base + ui::kStickMode, stick.mode);
            for (int d = 0; d < 4; ++d) {
                set_text(base + ui::kStickUp + d, stick.directions[static_cast<std::size_t>(d)]);
                set_enabled(base + ui::kStickUp + d, stick.directionsEnabled);
            }
            if (GtkWidget* w = widget(base + ui::kStickDeadzone)) gtk_range_set_value(GTK_RANGE(w), stick.deadzone);
            set_text(base + ui::kStickDeadzoneLabel, stick.deadzoneLabel);
            set_enabled(base + ui::kStickDeadzone, stick.deadzoneEnabled);
            if (GtkWidget* w = widget(base + ui::kStickSensitivity))
                gtk_range_set_value(GTK_RANGE(w), stick.sensitivity);
            set_text(base + ui::kStickSensitivityLabel, stick.sensitivityLabel);
            set_enabled(base + ui::kStickSensitivity, stick.sensitivityEnabled);
            if (GtkWidget* w = widget(base + ui::kStickInvert))
                gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w), stick.invertY);
            set_enabled(base + ui::kStickInvert, stick.sensitivityEnabled);
        }
        set_combo(ui::kOutputId, view.output);
        set_combo(ui::kPresetId, view.preset);
        set_text(ui::kExplanationId, std::string(view.explanation));
        set_enabled(ui::kSaveId, view.saveEnabled);
        updating_ = false;
    }

    LinkOut& link_;
    ui::MappingEditor editor_;
    ui::CaptureHookState hook_;
    GtkWindow* window_ = nullptr;
    GtkCssProvider* css_ = nullptr;
    GtkWidget* pendingMnemonic_ = nullptr;
    std::map<int, GtkWidget*> widgets_;
    bool updating_ = false;
    bool loaded_ = false;
    bool closeAfterSave_ = false;
};

}  // namespace

std::unique_ptr<Window> make_mapping_window(LinkOut& link) { return std::make_unique<MappingWindow>(link); }

}  // namespace hp::app::gtk
