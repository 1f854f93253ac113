#pragma once
// The pairing window: a small borderless topmost window next to the
// notification-area icon with a fresh six-digit code, the pairing link as a
// QR code and the two endpoints the link names. At most one exists; it
// closes when it loses activation, on Escape, when pairing completes or the
// code is withdrawn, when a new one opens and when the tray goes. Closing it
// withdraws the code. Main thread only.
#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "pairing_flyout/flyout_layout.h"
#include "qr/qr_code.h"
#include "host_ops/host_ops.h"

namespace hp::app {

inline constexpr wchar_t kPairingWindowClass[] = L"HearthpadPairingFlyout";

struct PairingWindowHooks {
    HINSTANCE instance = nullptr;
    HWND trayWindow = nullptr;                     // the icon's owner (uID 1), for its rectangle
    std::function<host_ops::PairingOffer()> open;  // a new code and its link
    std::function<void()> withdraw;               // the close hook: the code is no longer valid
    text_catalogue::Catalogue texts;              // the window's language
};

class PairingWindow {
public:
    explicit PairingWindow(PairingWindowHooks hooks);
    ~PairingWindow();  // closes the window
    PairingWindow(const PairingWindow&) = delete;
    PairingWindow& operator=(const PairingWindow&) = delete;

    // Closes any open window, draws a new code and shows the window for it.
    // Nothing is shown (and the code is withdrawn) when the window cannot be
    // created.
    void open();
    // DestroyWindow on the open window, if any; its WM_DESTROY withdraws the
    // code.
    void close();

    // What the open window shows (nothing when closed).
    struct Shown {
        HWND window = nullptr;
        int dpi = 96;
        std::string code;
        std::string link;
        std::string lan, tailscale;
        std::optional<qr::Matrix> qr;  // quiet zone included
        bool closing = false;          // DestroyWindow has been called
    };
    const Shown* shown() const { return shown_.get(); }
    HWND window() const { return shown_ ? shown_->window : nullptr; }

private:
    static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void paint(HWND window);
    void destroyed();
    pairing_flyout::Rect anchor() const;

    PairingWindowHooks hooks_;
    std::unique_ptr<Shown> shown_;
};

}  // namespace hp::app
