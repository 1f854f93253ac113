#include "app/win32_connection_check.h"

#include <objbase.h>

#include <algorithm>
#include <exception>
#include <mutex>
#include <thread>

#include "app/win32_controls.h"
#include "app/win32_language.h"
#include "app/win32_text.h"
#include "app/win32_tray.h"
#include "connection_check/allow_firewall.h"
#include "connection_check/gather.h"
#include "platform/firewall.h"
#include "platform/thread_name.h"
#include "platform/win32/text.h"

namespace hp::app {

namespace cc = connection_check;

namespace {

constexpr DWORD kStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;

// COM for the calling thread, undone when the scope ends (only if it was
// done here).
class ComScope {
public:
    explicit ComScope(DWORD model) : ok_(SUCCEEDED(CoInitializeEx(nullptr, model))) {}
    ~ComScope() {
        if (ok_) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    bool ok_;
};

std::string running_program_path() { return platform::win32::to_utf8(module_file_name()).value_or(std::string()); }

struct ClassAndStyle {
    const wchar_t* name;
    DWORD style;
};

ClassAndStyle control_class(cc::ControlKind kind) {
    constexpr DWORD child = WS_CHILD;
    switch (kind) {
        // SS_EDITCONTROL: a word wider than the column is broken rather
        // than cut at the label's edge (DrawText's DT_EDITCONTROL).
        case cc::ControlKind::Label: return {L"STATIC", child | SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL};
        case cc::ControlKind::Button: return {L"BUTTON", child | WS_TABSTOP | BS_PUSHBUTTON};
        case cc::ControlKind::DefaultButton: return {L"BUTTON", child | WS_TABSTOP | BS_DEFPUSHBUTTON};
    }
    return {L"STATIC", child};
}

// The flags a left-aligned static control draws its text with (SS_LEFT:
// word wrap, tabs expanded; SS_NOPREFIX; SS_EDITCONTROL), measuring only.
constexpr UINT kLabelDrawFlags = DT_LEFT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX | DT_EDITCONTROL;

}  // namespace

// What the worker threads share with the window's thread. The workers hold
// it by shared pointer, so a window (or tray) that is gone leaves them
// nothing to touch but this.
struct ConnectionCheck::Shared {
    std::mutex mutex;
    bool running = false;
    std::optional<CheckResult> result;
    std::optional<Result<platform::ElevatedOutcome>> fixOutcome;
};

std::function<cc::ConnectionFacts()> real_gatherer(std::shared_ptr<platform::System> system,
                                                   std::function<discovery::AdvertState()> advert,
                                                   std::uint16_t port, std::string programPath) {
    return [system = std::move(system), advert = std::move(advert), port, programPath = std::move(programPath)] {
        auto firewall = platform::make_firewall();
        auto networks = platform::make_network_list();
        return cc::gather_facts(*system, firewall.get(), networks.get(),
                                advert ? advert() : discovery::AdvertState::Off, port, programPath);
    };
}

int run_allow_firewall_mode() {
    ComScope com(COINIT_MULTITHREADED);
    auto firewall = platform::make_firewall();
    return static_cast<int>(cc::run_allow_firewall(*firewall, running_program_path()));
}

ConnectionCheck::ConnectionCheck(ConnectionCheckHooks hooks)
    : hooks_(std::move(hooks)), shared_(std::make_shared<Shared>()), model_(hooks_.texts) {}

ConnectionCheck::~ConnectionCheck() { close(); }

bool ConnectionCheck::running() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->running;
}

bool ConnectionCheck::start(bool background) {
    if (!hooks_.gather) return false;
    {
        std::lock_guard lock(shared_->mutex);
        if (shared_->running) return false;
        shared_->running = true;
    }
    try {
        std::thread([shared = shared_, gather = hooks_.gather, tray = hooks_.trayWindow, background] {
            platform::name_this_thread("connection-check");
            CheckResult result;
            result.background = background;
            {
                // The firewall and the network list are free-threaded COM
                // objects: the multithreaded apartment needs no message loop.
                ComScope com(COINIT_MULTITHREADED);
                const cc::ConnectionFacts facts = gather();
                result.findings = cc::evaluate(facts);
                result.networkKey = cc::network_key(facts);
            }
            {
                std::lock_guard lock(shared->mutex);
                shared->result = std::move(result);
                shared->running = false;
            }
            (void)PostMessageW(tray, WM_CONNECTION_CHECKED, background ? 1 : 0, 0);
        }).detach();
    } catch (const std::exception&) {
        std::lock_guard lock(shared_->mutex);
        shared_->running = false;
        return false;
    }
    return true;
}

std::optional<CheckResult> ConnectionCheck::take_result() {
    std::lock_guard lock(shared_->mutex);
    return std::exchange(shared_->result, std::nullopt);
}

void ConnectionCheck::show(const CheckResult& result) {
    model_.show_findings(result.findings);
    if (window_) {
        refresh_controls();
        resize_to_layout();
    }
}

void ConnectionCheck::open() {
    if (window_) {
        if (IsIconic(window_)) ShowWindow(window_, SW_RESTORE);
        SetForegroundWindow(window_);
        return;
    }
    register_window_class(hooks_.instance, kConnectionCheckWindowClass, window_proc);

    const int systemDpi = std::max(96, static_cast<int>(GetDpiForSystem()));
    const cc::LayoutRect size = model_.client_rect(systemDpi);
    HWND window = CreateWindowExW(kExStyle, kConnectionCheckWindowClass, widen(hooks_.texts.tr(cc::kWindowTitle)).c_str(), kStyle,
                                  CW_USEDEFAULT, CW_USEDEFAULT, size.width(), size.height(), nullptr, nullptr,
                                  hooks_.instance, this);
    if (!window) return;
    // The window procedure recorded the handle on WM_NCCREATE.
    dpi_ = std::max(96, static_cast<int>(GetDpiForWindow(window)));
    fontFace_ = ui_font_face(hooks_.texts.language());
    font_ = CreateFontW(-dpi_ / 8, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, fontFace_.c_str());
    if (start(false)) model_.begin_check();
    create_controls();
    refresh_controls();
    resize_to_layout();
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    if (HWND again = GetDlgItem(window, cc::kCheckAgainId)) SetFocus(again);
}

void ConnectionCheck::close() {
    if (window_) DestroyWindow(window_);
}

void ConnectionCheck::create_controls() {
    for (const cc::ControlPlacement& placed : model_.controls(dpi_, text_measure())) {
        const ClassAndStyle cls = control_class(placed.kind);
        HWND control = CreateWindowExW(0, cls.name, widen(placed.text).c_str(), cls.style, placed.rect.left,
                                       placed.rect.top, placed.rect.width(), placed.rect.height(), window_,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(placed.id)), hooks_.instance,
                                       nullptr);
        if (control && font_) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    }
}

void ConnectionCheck::refresh_controls() {
    for (const cc::ControlPlacement& placed : model_.controls(dpi_, text_measure())) {
        HWND control = GetDlgItem(window_, placed.id);
        if (!control) continue;
        set_text(window_, placed.id, placed.text);
        enable(window_, placed.id, placed.enabled);
        SetWindowPos(control, nullptr, placed.rect.left, placed.rect.top, placed.rect.width(), placed.rect.height(),
                     SWP_NOZORDER | SWP_NOACTIVATE);
        ShowWindow(control, placed.visible ? SW_SHOWNA : SW_HIDE);
    }
}

cc::TextMeasure ConnectionCheck::text_measure() const {
    if (!window_ || !font_) return {};
    return [window = window_, font = font_](std::string_view text, int widthPx) {
        const std::wstring wide = widen(text);
        HDC dc = GetDC(window);
        if (!dc) return 0;
        HGDIOBJ old = SelectObject(dc, font);
        RECT r{0, 0, widthPx, 0};
        // DT_CALCRECT: the height of the text wrapped to the rectangle's
        // width, nothing drawn.
        const int height = wide.empty() ? 0 : DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &r,
                                                         kLabelDrawFlags | DT_CALCRECT);
        SelectObject(dc, old);
        ReleaseDC(window, dc);
        return std::max(0, height);
    };
}

// Rows are as tall as their texts: the window follows the layout's size.
void ConnectionCheck::resize_to_layout() {
    const cc::LayoutRect client = model_.client_rect(dpi_, text_measure());
    RECT frame{0, 0, client.width(), client.height()};
    if (AdjustWindowRectExForDpi(&frame, kStyle, FALSE, kExStyle, static_cast<UINT>(dpi_)))
        SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void ConnectionCheck::act(cc::CheckAction action) {
    switch (action) {
        case cc::CheckAction::None: break;
        case cc::CheckAction::RunCheck:
            if (start(false)) model_.begin_check();
            break;
        case cc::CheckAction::AllowFirewall: start_firewall_fix(); break;
        case cc::CheckAction::OpenNetworkSettings:
            if (hooks_.opener) hooks_.opener->open(cc::kNetworkSettingsUri);
            break;
        case cc::CheckAction::Close: close(); return;
    }
    if (window_) {
        refresh_controls();
        resize_to_layout();
    }
}

// The elevated run waits for the consent prompt and the program: on a
// worker, so the window keeps answering; its end comes back as
// WM_FIREWALL_FIXED.
void ConnectionCheck::start_firewall_fix() {
    if (!hooks_.elevated) {
        (void)model_.fix_finished(fail(std::string(hooks_.texts.tr("Hearthpad cannot ask for administrator rights here."))));
        return;
    }
    try {
        std::thread([shared = shared_, elevated = hooks_.elevated, program = hooks_.programPath, owner = window_,
                     tray = hooks_.trayWindow] {
            platform::name_this_thread("firewall-fix");
            // ShellExecuteExW may use COM for the consent prompt; it asks
            // for a single-threaded apartment.
            ComScope com(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
            auto outcome = elevated->run_elevated_and_wait(program, {std::string(cc::kAllowFirewallArgument)},
                                                           reinterpret_cast<std::uintptr_t>(owner));
            {
                std::lock_guard lock(shared->mutex);
                shared->fixOutcome = std::move(outcome);
            }
            (void)PostMessageW(tray, WM_FIREWALL_FIXED, 0, 0);
        }).detach();
    } catch (const std::exception&) {
        (void)model_.fix_finished(fail(std::string(hooks_.texts.tr("Hearthpad could not start the change."))));
    }
}

void ConnectionCheck::firewall_fixed() {
    std::optional<Result<platform::ElevatedOutcome>> outcome;
    {
        std::lock_guard lock(shared_->mutex);
        outcome = std::exchange(shared_->fixOutcome, std::nullopt);
    }
    if (outcome) act(model_.fix_finished(*outcome));
}

bool ConnectionCheck::take_dialog_message(MSG& message) {
    return window_ && IsDialogMessageW(window_, &message);
}

LRESULT CALLBACK ConnectionCheck::window_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<ConnectionCheck*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->window_ = window;
    }
    auto* self = reinterpret_cast<ConnectionCheck*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    return self->handle(window, message, wParam, lParam);
}

LRESULT ConnectionCheck::handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED) {
                const int id = LOWORD(wParam) == IDCANCEL ? cc::kCloseId : static_cast<int>(LOWORD(wParam));
                act(model_.click(id));
            }
            return 0;
        case WM_DPICHANGED: {
            dpi_ = std::max(96, static_cast<int>(HIWORD(wParam)));
            if (font_) DeleteObject(font_);
            font_ = CreateFontW(-dpi_ / 8, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                                DEFAULT_PITCH | FF_DONTCARE, fontFace_.c_str());
            for (const cc::ControlPlacement& placed : model_.controls(dpi_))
                if (HWND control = GetDlgItem(window, placed.id))
                    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                         suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
            refresh_controls();
            resize_to_layout();
            return 0;
        }
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        case WM_NCDESTROY:
            // The controls are gone: the font they used can go too.
            if (font_) DeleteObject(font_);
            font_ = nullptr;
            window_ = nullptr;
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            return DefWindowProcW(window, message, wParam, lParam);
        default: break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace hp::app
