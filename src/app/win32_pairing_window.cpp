#include "app/win32_pairing_window.h"

#include <shellapi.h>

#include <utility>
#include <vector>

#include "app/win32_language.h"
#include "app/win32_text.h"

namespace hp::app {

namespace pf = pairing_flyout;

namespace {

// A GDI object deleted when it goes out of scope.
template <typename T>
class GdiObject {
public:
    explicit GdiObject(T object) : object_(object) {}
    ~GdiObject() {
        if (object_) DeleteObject(object_);
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    T get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

private:
    T object_;
};

// Selects an object into a DC for the scope and puts the old one back.
class Selected {
public:
    Selected(HDC dc, HGDIOBJ object) : dc_(dc), old_(object ? SelectObject(dc, object) : nullptr) {}
    ~Selected() {
        if (old_) SelectObject(dc_, old_);
    }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

HFONT make_font(int dpi, int size, int weight, const wchar_t* face) {
    return CreateFontW(-pf::scaled(dpi, size), 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                       face);
}

void draw_line(HDC dc, const std::string& text, RECT rect, HFONT font, COLORREF colour) {
    Selected selected(dc, font);
    SetTextColor(dc, colour);
    std::wstring wide = widen(text);
    DrawTextW(dc, wide.data(), static_cast<int>(wide.size()), &rect,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

// The matrix as an f x f top-down 32-bit DIB, stretched to k pixels a module.
void draw_qr(HDC dc, int dpi, const qr::Matrix& matrix) {
    const int f = matrix.side;
    if (f <= 0) return;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = f;
    info.bmiHeader.biHeight = -f;  // rows from the top
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    GdiObject<HBITMAP> bitmap(CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !bits) return;  // skipped
    auto* pixels = static_cast<std::uint32_t*>(bits);
    for (int y = 0; y < f; ++y)
        for (int x = 0; x < f; ++x)
            pixels[y * f + x] = matrix.dark(x, y) ? 0xFF000000u : 0xFFFFFFFFu;

    HDC memory = CreateCompatibleDC(dc);
    if (!memory) return;
    {
        Selected selected(memory, bitmap.get());
        const pf::QrPlacement at = pf::qr_placement(dpi, f);
        SetStretchBltMode(dc, COLORONCOLOR);
        StretchBlt(dc, at.x, at.y, at.size, at.size, memory, 0, 0, f, f, SRCCOPY);
    }
    DeleteDC(memory);
}

}  // namespace

PairingWindow::PairingWindow(PairingWindowHooks hooks) : hooks_(std::move(hooks)) {}

PairingWindow::~PairingWindow() { close(); }

void PairingWindow::close() {
    // Destroying the active window deactivates it first: the WM_ACTIVATE
    // that brings must not start a second DestroyWindow.
    if (!shown_ || !shown_->window || shown_->closing) return;
    shown_->closing = true;
    DestroyWindow(shown_->window);
}

pf::Rect PairingWindow::anchor() const {
    NOTIFYICONIDENTIFIER id{};
    id.cbSize = sizeof id;
    id.hWnd = hooks_.trayWindow;
    id.uID = 1;
    RECT icon{};
    if (hooks_.trayWindow && SUCCEEDED(Shell_NotifyIconGetRect(&id, &icon)))
        return {icon.left, icon.top, icon.right, icon.bottom};
    POINT cursor{};
    (void)GetCursorPos(&cursor);
    return {cursor.x, cursor.y, cursor.x, cursor.y};
}

void PairingWindow::open() {
    close();
    if (!hooks_.open) return;
    const host_ops::PairingOffer offer = hooks_.open();

    WNDCLASSW wc{};
    wc.lpfnWndProc = window_proc;
    wc.hInstance = hooks_.instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = kPairingWindowClass;
    (void)RegisterClassW(&wc);  // already registered by an earlier window: fine

    auto shown = std::make_unique<Shown>();
    shown->dpi = pf::flyout_dpi(GetDpiForSystem());
    shown->code = offer.code;
    shown->link = offer.link;
    shown->lan = offer.lan;
    shown->tailscale = offer.tailscale;

    const pf::Rect anchorRect = anchor();
    const pf::Point centre = pf::anchor_centre(anchorRect);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    pf::Rect work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (GetMonitorInfoW(MonitorFromPoint(POINT{centre.x, centre.y}, MONITOR_DEFAULTTONEAREST), &monitor))
        work = {monitor.rcWork.left, monitor.rcWork.top, monitor.rcWork.right, monitor.rcWork.bottom};
    const pf::Rect at = pf::flyout_rect(shown->dpi, anchorRect, work);

    if (auto matrix = qr::encode_with_border(offer.link)) shown->qr = std::move(*matrix);

    HWND window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kPairingWindowClass,
                                  widen(hooks_.texts.tr(pf::kTitle)).c_str(),
                                  WS_POPUP | WS_BORDER, at.left, at.top, at.width(), at.height(), nullptr,
                                  nullptr, hooks_.instance, this);
    if (!window) {
        if (hooks_.withdraw) hooks_.withdraw();
        return;
    }
    shown->window = window;
    shown_ = std::move(shown);
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
}

void PairingWindow::destroyed() {
    // Taken out of the slot first: whatever the hook does, this window is gone.
    std::unique_ptr<Shown> gone = std::move(shown_);
    if (!gone) return;
    if (hooks_.withdraw) hooks_.withdraw();
}

void PairingWindow::paint(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    if (!dc) return;
    if (shown_) {
        const int dpi = shown_->dpi;
        const int w = pf::scaled(dpi, pf::kWidthUnits);
        SetBkMode(dc, TRANSPARENT);
        const std::wstring face = ui_font_face(hooks_.texts.language());
        GdiObject<HFONT> title(make_font(dpi, 18, 600, face.c_str()));
        GdiObject<HFONT> code(make_font(dpi, 44, 700, L"Consolas"));
        GdiObject<HFONT> small(make_font(dpi, 13, 400, face.c_str()));
        auto rect = [&](int top, int bottom) { return RECT{0, pf::scaled(dpi, top), w, pf::scaled(dpi, bottom)}; };
        draw_line(dc, std::string(hooks_.texts.tr(pf::kTitle)), rect(10, 40), title.get(), RGB(32, 32, 32));
        draw_line(dc, pf::display_code(shown_->code), rect(44, 108), code.get(), RGB(0, 0, 0));
        if (shown_->qr) draw_qr(dc, dpi, *shown_->qr);
        draw_line(dc, pf::lan_line(shown_->lan, hooks_.texts), rect(324, 342), small.get(), RGB(64, 64, 64));
        draw_line(dc, pf::tailscale_line(shown_->tailscale, hooks_.texts), rect(342, 360), small.get(), RGB(64, 64, 64));
    }
    EndPaint(window, &ps);
}

LRESULT CALLBACK PairingWindow::window_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<PairingWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
        case WM_PAINT:
            if (self) {
                self->paint(window);
                return 0;
            }
            break;
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                if (self) self->close();  // the user clicked elsewhere
                return 0;
            }
            break;
        case WM_KEYDOWN:
            if (wParam == VK_ESCAPE && self) self->close();
            return 0;  // other keys are swallowed
        case WM_DESTROY:
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            if (self && self->shown_ && self->shown_->window == window) self->destroyed();
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace hp::app
