#pragma once
// The connection check on Windows: facts gathered on a worker thread (COM in
// the multithreaded apartment there, never on the window's thread), the
// findings posted back to the tray window as WM_CONNECTION_CHECKED, the
// firewall fix as an elevated run of this program with --allow-firewall,
// and the small window that lists the findings.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "connection_check/check_window_model.h"
#include "connection_check/findings.h"
#include "discovery/advert_state.h"
#include "platform/elevation.h"
#include "platform/shell_open.h"
#include "platform/system.h"
#include "text_catalogue/catalogue.h"

namespace hp::app {

// Posted to the tray window when a check has finished (wParam 1 for a check
// the tray started by itself, 0 for one the window asked for); the findings
// are taken with ConnectionCheck::take_result.
inline constexpr UINT WM_CONNECTION_CHECKED = WM_APP + 3;
// Posted to the tray window by discovery when the host's addresses changed.
inline constexpr UINT WM_NETWORK_CHANGED = WM_APP + 4;
// Posted to the tray window when the elevated firewall fix has ended; the
// tray hands it to ConnectionCheck::firewall_fixed.
inline constexpr UINT WM_FIREWALL_FIXED = WM_APP + 5;

inline constexpr wchar_t kConnectionCheckWindowClass[] = L"HearthpadConnectionCheck";

struct ConnectionCheckHooks {
    HINSTANCE instance = nullptr;
    HWND trayWindow = nullptr;  // where WM_CONNECTION_CHECKED goes
    text_catalogue::Catalogue texts;  // the window's language
    // The facts, on the worker thread. Empty: nothing is checked.
    std::function<connection_check::ConnectionFacts()> gather;
    // This program, elevated with --allow-firewall.
    std::string programPath;
    std::shared_ptr<platform::ElevatedRunner> elevated;
    std::shared_ptr<platform::LinkOpener> opener;
};

// The real facts: discovery's scan of `system`, the firewall and network
// list through COM on the calling thread (the worker initialises COM), the
// advertisement's state and the port.
std::function<connection_check::ConnectionFacts()> real_gatherer(std::shared_ptr<platform::System> system,
                                                                 std::function<discovery::AdvertState()> advert,
                                                                 std::uint16_t port, std::string programPath);

// The --allow-firewall run: the change for this program's path, with COM
// initialised here; returns the exit code (connection_check::AllowFirewallExit).
int run_allow_firewall_mode();

struct CheckResult {
    std::vector<connection_check::Finding> findings;
    std::string networkKey;
    bool background = false;  // started by the tray, not asked for in the window
};

class ConnectionCheck {
public:
    explicit ConnectionCheck(ConnectionCheckHooks hooks);
    ~ConnectionCheck();  // destroys the window; a running worker posts to nobody
    ConnectionCheck(const ConnectionCheck&) = delete;
    ConnectionCheck& operator=(const ConnectionCheck&) = delete;

    // Starts a check on a worker thread unless one runs; false when none
    // was started.
    bool start(bool background);
    bool running() const;
    // The finished check, once, after WM_CONNECTION_CHECKED.
    std::optional<CheckResult> take_result();
    // Hands a finished check to the window's model (and the open window).
    void show(const CheckResult& result);
    const connection_check::CheckWindowModel& model() const { return model_; }
    // How the window measures wrapped text for the model's layout: DrawText
    // in the labels' font, as the labels draw it. Empty without a window.
    connection_check::TextMeasure text_measure() const;

    // The window: created and shown (with a new check), or brought forward.
    void open();
    void close();
    // The elevated fix has ended (WM_FIREWALL_FIXED): its outcome goes to
    // the model, and a check follows when it changed the firewall.
    void firewall_fixed();
    // IsDialogMessageW for the open window (Tab, Enter, Escape).
    bool take_dialog_message(MSG& message);
    HWND window() const { return window_; }

private:
    struct Shared;
    static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void create_controls();
    void refresh_controls();
    void act(connection_check::CheckAction action);
    void start_firewall_fix();
    void resize_to_layout();

    ConnectionCheckHooks hooks_;
    std::shared_ptr<Shared> shared_;
    connection_check::CheckWindowModel model_;
    HWND window_ = nullptr;
    HFONT font_ = nullptr;
    std::wstring fontFace_;
    int dpi_ = 96;
};

}  // namespace hp::app
