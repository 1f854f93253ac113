#include "app/win32_mapping_window.h"

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <vector>

#include "app/win32_controls.h"
#include "app/win32_text.h"
#include "pad_mapping_ui/key_capture.h"
#include "pad_mapping_ui/mapping_layout.h"

namespace hp::app {

namespace ui = pad_mapping_ui;

static_assert(ui::WM_KEY_CAPTURED == WM_APP + 40);
static_assert(ui::kClicked == BN_CLICKED && ui::kSelectionChanged == CBN_SELCHANGE);
static_assert(ui::kCancelId == IDCANCEL);

namespace {

constexpr DWORD kStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;
constexpr int kDropDownListUnits = 240;  // the opened list below a drop-down

// The hook's state. The hook callback and the window procedure are separate
// entry points, so what they share is kept in atomics; there is one hook
// per process.
std::atomic<HWND> g_captureWindow{nullptr};
std::atomic<ui::BindingMods> g_heldModifiers{0};
std::atomic<ui::KeyCode> g_lastModifier{0};
std::atomic<HHOOK> g_captureHook{nullptr};

ui::KeyMessage key_message(WPARAM message) {
    switch (message) {
        case WM_KEYDOWN: return ui::KeyMessage::KeyDown;
        case WM_SYSKEYDOWN: return ui::KeyMessage::SysKeyDown;
        case WM_KEYUP: return ui::KeyMessage::KeyUp;
        case WM_SYSKEYUP: return ui::KeyMessage::SysKeyUp;
        default: return ui::KeyMessage::Other;
    }
}

LRESULT CALLBACK capture_hook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && lParam) {
        const auto* event = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        if (event->vkCode <= 0xFF) {
            ui::CaptureHookState state{g_heldModifiers.load(), g_lastModifier.load()};
            const ui::HookDecision decision = ui::on_key_event(state, static_cast<std::uint16_t>(event->vkCode),
                                                               key_message(wParam),
                                                               (event->flags & LLKHF_INJECTED) != 0);
            g_heldModifiers.store(state.held);
            g_lastModifier.store(state.lastModifier);
            if (decision.capture)
                (void)PostMessageW(g_captureWindow.load(), ui::WM_KEY_CAPTURED, decision.capture->key,
                                   decision.capture->mods);
            if (decision.swallow) return 1;
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void uninstall_capture_hook() {
    if (HHOOK hook = g_captureHook.exchange(nullptr)) UnhookWindowsHookEx(hook);
    g_captureWindow.store(nullptr);
}

void install_capture_hook(HWND window) {
    uninstall_capture_hook();
    g_captureWindow.store(window);
    g_heldModifiers.store(0);
    g_lastModifier.store(0);
    // Without the hook nothing is captured; the target stays set, and
    // clicking its button again ends the wait.
    g_captureHook.store(SetWindowsHookExW(WH_KEYBOARD_LL, capture_hook, GetModuleHandleW(nullptr), 0));
}

struct ControlClass {
    const wchar_t* name;
    DWORD style;
    DWORD exStyle;
};

ControlClass control_class(ui::ControlKind kind) {
    constexpr DWORD child = WS_CHILD | WS_VISIBLE;
    switch (kind) {
        case ui::ControlKind::GroupBox: return {L"BUTTON", child | BS_GROUPBOX, 0};
        case ui::ControlKind::Label: return {L"STATIC", child | SS_LEFT | SS_NOPREFIX, 0};
        case ui::ControlKind::ValueBox:
            return {L"STATIC", child | SS_LEFT | SS_NOPREFIX | SS_CENTERIMAGE, WS_EX_CLIENTEDGE};
        case ui::ControlKind::Button: return {L"BUTTON", child | WS_TABSTOP | BS_PUSHBUTTON, 0};
        case ui::ControlKind::DefaultButton: return {L"BUTTON", child | WS_TABSTOP | BS_DEFPUSHBUTTON, 0};
        case ui::ControlKind::DropDown:
            return {L"COMBOBOX", child | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0};
        case ui::ControlKind::Trackbar: return {TRACKBAR_CLASSW, child | WS_TABSTOP | TBS_HORZ | TBS_AUTOTICKS, 0};
        case ui::ControlKind::CheckBox: return {L"BUTTON", child | WS_TABSTOP | BS_AUTOCHECKBOX, 0};
    }
    return {L"STATIC", child, 0};
}

void select(HWND window, int id, int index) {
    SendDlgItemMessageW(window, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

}  // namespace

struct MappingWindow::Open {
    Open(const pad_mapping::PadMapping& mapping, bool vigemFound) : editor(mapping, vigemFound) {}
    ~Open() {
        if (font) DeleteObject(font);
    }
    Open(const Open&) = delete;
    Open& operator=(const Open&) = delete;

    HWND window = nullptr;
    int dpi = 96;
    HFONT font = nullptr;
    ui::MappingEditor editor;
    ui::CaptureTarget hooked;  // the target the hook was installed for
    bool updating = false;     // refresh_controls runs: commands are ignored
    bool asking = false;       // the close question is open
};

MappingWindow::MappingWindow(MappingWindowHooks hooks) : hooks_(std::move(hooks)) {}

MappingWindow::~MappingWindow() {
    if (open_ && open_->window) DestroyWindow(open_->window);
    uninstall_capture_hook();
}

HWND MappingWindow::window() const { return open_ ? open_->window : nullptr; }

const ui::MappingEditor* MappingWindow::editor() const { return open_ ? &open_->editor : nullptr; }

bool MappingWindow::capturing() const { return g_captureHook.load() != nullptr; }

void MappingWindow::open() {
    if (open_ && open_->window) {
        if (IsIconic(open_->window)) ShowWindow(open_->window, SW_RESTORE);
        SetForegroundWindow(open_->window);
        return;
    }
    INITCOMMONCONTROLSEX common{sizeof(INITCOMMONCONTROLSEX), ICC_BAR_CLASSES};
    (void)InitCommonControlsEx(&common);

    register_window_class(hooks_.instance, kMappingWindowClass, window_proc);

    const pad_mapping::PadMapping current = hooks_.current ? hooks_.current() : pad_mapping::defaultMapping();
    open_ = std::make_unique<Open>(current, hooks_.vigemFound);
    const int systemDpi = std::max(96, static_cast<int>(GetDpiForSystem()));
    const ui::LayoutRect size = ui::client_rect(systemDpi);
    HWND window = CreateWindowExW(kExStyle, kMappingWindowClass, widen(ui::kWindowTitle).c_str(), kStyle,
                                  CW_USEDEFAULT, CW_USEDEFAULT, size.width(), size.height(), nullptr, nullptr,
                                  hooks_.instance, this);
    if (!window) {
        open_.reset();
        return;
    }
    // The window procedure recorded the handle on WM_NCCREATE.
    open_->dpi = std::max(96, static_cast<int>(GetDpiForWindow(window)));
    RECT frame{0, 0, ui::client_rect(open_->dpi).width(), ui::client_rect(open_->dpi).height()};
    if (AdjustWindowRectExForDpi(&frame, kStyle, FALSE, kExStyle, static_cast<UINT>(open_->dpi)))
        SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    open_->font = CreateFontW(-open_->dpi / 8, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                              OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                              L"Segoe UI");
    create_controls();
    refresh_controls();
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    if (HWND first = GetDlgItem(window, ui::row_change_id(0))) SetFocus(first);
}

void MappingWindow::create_controls() {
    HWND window = open_->window;
    for (const ui::ControlPlacement& placed : ui::mapping_controls(open_->dpi)) {
        const ControlClass cls = control_class(placed.kind);
        int height = placed.rect.height();
        if (placed.kind == ui::ControlKind::DropDown) height += ui::scale_units(open_->dpi, kDropDownListUnits);
        HWND control = CreateWindowExW(cls.exStyle, cls.name, widen(placed.text).c_str(), cls.style, placed.rect.left,
                                       placed.rect.top, placed.rect.width(), height, window,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(placed.id)), hooks_.instance,
                                       nullptr);
        if (!control) continue;  // a missing control is left out
        if (open_->font) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(open_->font), FALSE);
        for (std::string_view item : placed.items)
            SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(item).c_str()));
        if (placed.kind == ui::ControlKind::Trackbar) {
            SendMessageW(control, TBM_SETRANGE, FALSE, MAKELPARAM(placed.rangeMin, placed.rangeMax));
            SendMessageW(control, TBM_SETTICFREQ, static_cast<WPARAM>(placed.tick), 0);
        }
    }
}

void MappingWindow::refresh_controls() {
    if (!open_ || !open_->window) return;
    HWND window = open_->window;
    open_->updating = true;
    const ui::EditorView view = open_->editor.view();
    for (int i = 0; i < static_cast<int>(view.rows.size()); ++i) {
        const ui::RowView& row = view.rows[static_cast<std::size_t>(i)];
        set_text(window, ui::row_value_id(i), row.value);
        set_text(window, ui::row_change_id(i), row.changeText);
        select(window, ui::row_action_id(i), row.action);
    }
    for (int s = 0; s < 2; ++s) {
        const ui::StickView& stick = view.sticks[static_cast<std::size_t>(s)];
        const int base = ui::stick_base(s);
        select(window, base + ui::kStickMode, stick.mode);
        for (int d = 0; d < 4; ++d) {
            set_text(window, base + ui::kStickUp + d, stick.directions[static_cast<std::size_t>(d)]);
            enable(window, base + ui::kStickUp + d, stick.directionsEnabled);
        }
        SendDlgItemMessageW(window, base + ui::kStickDeadzone, TBM_SETPOS, TRUE, stick.deadzone);
        set_text(window, base + ui::kStickDeadzoneLabel, stick.deadzoneLabel);
        enable(window, base + ui::kStickDeadzone, stick.deadzoneEnabled);
        SendDlgItemMessageW(window, base + ui::kStickSensitivity, TBM_SETPOS, TRUE, stick.sensitivity);
        set_text(window, base + ui::kStickSensitivityLabel, stick.sensitivityLabel);
        enable(window, base + ui::kStickSensitivity, stick.sensitivityEnabled);
        CheckDlgButton(window, base + ui::kStickInvert, stick.invertY ? BST_CHECKED : BST_UNCHECKED);
        enable(window, base + ui::kStickInvert, stick.sensitivityEnabled);
    }
    select(window, ui::kOutputId, view.output);
    select(window, ui::kPresetId, view.preset);
    set_text(window, ui::kExplanationId, std::string(view.explanation));
    HWND saveButton = GetDlgItem(window, ui::kSaveId);
    if (!view.saveEnabled && saveButton && GetFocus() == saveButton) {
        // Keep the keyboard focus in the window when Save goes grey.
        if (HWND close = GetDlgItem(window, ui::kCloseId)) SetFocus(close);
    }
    enable(window, ui::kSaveId, view.saveEnabled);
    open_->updating = false;
}

// The hook is installed exactly while the editor awaits a key; a new target
// starts a fresh capture.
void MappingWindow::sync_capture() {
    if (!open_) return;
    const ui::CaptureTarget& wanted = open_->editor.capture();
    if (wanted == open_->hooked) return;
    uninstall_capture_hook();
    if (wanted.active() && open_->window) install_capture_hook(open_->window);
    open_->hooked = wanted;
}

int MappingWindow::message_box(const std::wstring& text, UINT flags) {
    HWND owner = open_ ? open_->window : nullptr;
    if (hooks_.messageBox) return hooks_.messageBox(owner, text, flags);
    return MessageBoxW(owner, text.c_str(), L"Hearthpad", flags);
}

void MappingWindow::save() {
    if (!open_) return;
    const pad_mapping::PadMapping mapping = open_->editor.working();
    // Without a host to take it nothing is saved: never reported as done.
    const Status written = hooks_.install ? hooks_.install(mapping) : Status(fail("no host to take the mapping"));
    open_->editor.saved_as(mapping);
    refresh_controls();
    if (!written) (void)message_box(widen(ui::kSaveWarning), MB_ICONWARNING);
}

void MappingWindow::request_close() {
    if (!open_ || !open_->window || open_->asking) return;
    open_->editor.stop_capture();
    sync_capture();
    refresh_controls();
    HWND window = open_->window;
    if (open_->editor.dirty()) {
        open_->asking = true;
        const int answer = message_box(widen(ui::kSaveQuestion), MB_YESNOCANCEL | MB_ICONQUESTION);
        if (!open_ || open_->window != window) return;  // gone while the question was open
        open_->asking = false;
        if (answer == IDCANCEL) return;
        if (answer == IDYES) save();
    }
    DestroyWindow(window);
}

void MappingWindow::mapping_changed_elsewhere(const pad_mapping::PadMapping& mapping) {
    if (!open_ || !open_->window) return;
    open_->editor.mapping_changed_elsewhere(mapping);
    refresh_controls();
}

bool MappingWindow::take_dialog_message(MSG& message) {
    HWND window = open_ ? open_->window : nullptr;
    return window && IsDialogMessageW(window, &message);
}

void MappingWindow::destroyed() {
    uninstall_capture_hook();
    open_.reset();  // the font goes with it
    // The window's controls and its font were the last large allocations.
    SetProcessWorkingSetSize(GetCurrentProcess(), static_cast<SIZE_T>(-1), static_cast<SIZE_T>(-1));
}

LRESULT CALLBACK MappingWindow::window_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* self = static_cast<MappingWindow*>(create->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        if (self && self->open_) self->open_->window = window;
    }
    auto* self = reinterpret_cast<MappingWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self || !self->open_ || self->open_->window != window) return DefWindowProcW(window, message, wParam, lParam);
    return self->handle(window, message, wParam, lParam);
}

LRESULT MappingWindow::handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND: {
            const int id = LOWORD(wParam), code = HIWORD(wParam);
            // Focus, drop-down and other notifications change nothing.
            if (open_->updating || (code != BN_CLICKED && code != CBN_SELCHANGE)) return 0;
            HWND control = reinterpret_cast<HWND>(lParam);
            int value = 0;
            if (control && code == CBN_SELCHANGE)
                value = static_cast<int>(SendMessageW(control, CB_GETCURSEL, 0, 0));
            else if (control)
                value = SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
            switch (open_->editor.command(id, code, value)) {
                case ui::MappingEditor::Next::Close: request_close(); return 0;
                case ui::MappingEditor::Next::Save: save(); break;
                case ui::MappingEditor::Next::Refresh: break;
            }
            sync_capture();
            refresh_controls();
            return 0;
        }
        case WM_HSCROLL: {
            if (open_->updating || !lParam) return 0;
            HWND control = reinterpret_cast<HWND>(lParam);
            open_->editor.trackbar_moved(GetDlgCtrlID(control),
                                         static_cast<int>(SendMessageW(control, TBM_GETPOS, 0, 0)));
            refresh_controls();
            return 0;
        }
        case ui::WM_KEY_CAPTURED:
            if (!open_->editor.capture().active()) return 0;
            open_->editor.key_captured(static_cast<ui::KeyCode>(wParam), static_cast<ui::BindingMods>(lParam));
            sync_capture();
            refresh_controls();
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE && open_->editor.capture().active()) {
                open_->editor.stop_capture();
                sync_capture();
                refresh_controls();
            }
            return DefWindowProcW(window, message, wParam, lParam);
        case DM_GETDEFID: return MAKELRESULT(ui::kSaveId, DC_HASDEFID);
        case WM_CLOSE: request_close(); return 0;
        case WM_DPICHANGED: {
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            if (suggested)
                SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                             suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_DESTROY:
            uninstall_capture_hook();
            return 0;
        case WM_NCDESTROY:
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            destroyed();
            return DefWindowProcW(window, message, wParam, lParam);
        default: break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace hp::app
