// The connection check on the desktop under Wine: the window opened from the
// tray's command with the real firewall and network list behind it, the
// window's controls against its model, the balloon rule through the icon,
// the firewall fix through an elevated run, and the icon added again while
// the shell refuses it.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "app/win32_controls.h"
#include "app/win32_text.h"
#include "connection_check/allow_firewall.h"
#include "connection_check/check_window_model.h"
#include "platform/fake/fake_elevated_runner.h"
#include "win32/desktop_fixture.h"

namespace hp::app {
namespace {

using namespace testing_desktop;
namespace cc = connection_check;

std::string control_text(HWND window, int id) {
    HWND control = GetDlgItem(window, id);
    if (!control) return {};
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return narrow(text);
}

HWND check_window() { return FindWindowW(kConnectionCheckWindowClass, nullptr); }

// What the icon was asked to do, with the balloon texts.
struct IconCall {
    DWORD message;
    bool balloon;
    std::string title, text;
};

class ConnectionCheckDesktop : public TrayFixture {
protected:
    void SetUp() override {
        TrayFixture::SetUp();
        tray_.notifyIcon = [this](DWORD message, NOTIFYICONDATAW& icon) {
            calls_.push_back({message, (icon.uFlags & NIF_INFO) != 0, narrow(icon.szInfoTitle), narrow(icon.szInfo)});
            if (message == NIM_ADD && refuseAdds_ > 0) {
                --refuseAdds_;
                return false;
            }
            return true;
        };
        tray_.iconShown = true;
        tray_.balloon = TrayBalloon::None;
        tray_.reachMemory = {};
    }

    // Replaces the tray's check with one whose facts the test gives.
    void use_facts(std::function<cc::ConnectionFacts()> gather) {
        ConnectionCheckHooks hooks;
        hooks.instance = tray_.instance;
        hooks.trayWindow = tray_.window;
        hooks.programPath = "C:\\Apps\\Hearthpad\\hearthpad.exe";
        hooks.elevated = elevated_;
        hooks.gather = std::move(gather);
        tray_.check = std::make_unique<ConnectionCheck>(std::move(hooks));
    }

    static cc::ConnectionFacts public_wifi() {
        cc::ConnectionFacts f;
        platform::InterfaceAddress wifi;
        wifi.address = *IpAddress::parse("192.168.1.20");
        wifi.hasGateway = true;
        wifi.kind = platform::AdapterKind::Physical;
        wifi.adapterId = "{WIFI}";
        wifi.adapterName = "Wi-Fi";
        f.lan = {wifi};
        f.networks = {{"{WIFI}", "Wi-Fi", platform::NetworkCategory::Public}};
        f.advert = discovery::AdvertState::Registered;
        f.port = 49182;
        return f;
    }

    std::vector<IconCall> balloons() const {
        std::vector<IconCall> out;
        for (const auto& c : calls_)
            if (c.balloon) out.push_back(c);
        return out;
    }

    // One check the tray starts by itself, and its WM_CONNECTION_CHECKED
    // handled.
    bool run_background_check() {
        start_background_check(tray_);
        if (!pump_until([&] { return !tray_.check->running(); })) return false;
        pump_for(100ms);
        return true;
    }

    std::shared_ptr<fake::FakeElevatedRunner> elevated_ = std::make_shared<fake::FakeElevatedRunner>();
    std::vector<IconCall> calls_;
    int refuseAdds_ = 0;
};

// The real gatherer: Wine's firewall answers nothing and its network list
// calls every network Public, so each row shows a fact or "Unknown", and
// the window comes up from the tray's command.
TEST_F(ConnectionCheckDesktop, OpensFromTheTrayWithTheRealFirewallAndNetworkList) {
    dispatch(tray::kIdConnectionCheck);
    ASSERT_TRUE(pump_until([] { return check_window() != nullptr; }));
    HWND window = check_window();
    ASSERT_TRUE(pump_until([&] { return !tray_.check->model().busy() && !tray_.check->model().findings().empty(); },
                           30s));
    pump_for(100ms);
    const auto& findings = tray_.check->model().findings();
    ASSERT_EQ(findings.size(), cc::kFindingIds.size());
    for (int row = 0; row < cc::kRowCount; ++row) {
        const std::string state = control_text(window, cc::row_state_id(row));
        EXPECT_EQ(state, cc::state_label(findings[row].state)) << row;
        EXPECT_EQ(control_text(window, cc::row_text_id(row)), findings[row].text) << row;
    }
    // Wine keeps no firewall facts: the program's rule is never called fine.
    EXPECT_NE(findings[3].state, cc::FindingState::Ok) << findings[3].text;
    // Choosing the item again brings the same window forward.
    dispatch(tray::kIdConnectionCheck);
    pump_for(100ms);
    EXPECT_EQ(check_window(), window);
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(ConnectionCheckDesktop, EveryControlMirrorsTheModel) {
    use_facts(public_wifi);
    tray_.check->open();
    ASSERT_TRUE(pump_until([&] { return !tray_.check->model().busy(); }));
    pump_for(50ms);
    HWND window = check_window();
    ASSERT_TRUE(window);
    const int dpi = std::max(96, static_cast<int>(GetDpiForWindow(window)));
    const cc::TextMeasure measure = tray_.check->text_measure();
    ASSERT_TRUE(measure);
    for (const auto& placed : tray_.check->model().controls(dpi, measure)) {
        HWND control = GetDlgItem(window, placed.id);
        ASSERT_TRUE(control) << placed.id;
        EXPECT_EQ(control_text(window, placed.id), placed.text) << placed.id;
        EXPECT_EQ(IsWindowVisible(control) != FALSE, placed.visible) << placed.id;
        EXPECT_EQ(IsWindowEnabled(control) != FALSE, placed.enabled) << placed.id;
        RECT r{};
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, placed.rect.left) << placed.id;
        EXPECT_EQ(r.top, placed.rect.top) << placed.id;
        EXPECT_EQ(r.right - r.left, placed.rect.width()) << placed.id;
    }
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.bottom, tray_.check->model().client_rect(dpi, measure).height());
}

// Every text shows whole in the window's own font: wrapped as its label
// draws it, it is no wider and no taller than the label, and no label
// reaches a button. An adapter named in wide letters, with a word wider
// than the column, is what a character count underestimates.
TEST_F(ConnectionCheckDesktop, EveryTextFitsItsLabelLeftOfTheButtons) {
    use_facts([] {
        cc::ConnectionFacts f = public_wifi();
        const std::string name = "WMWMWMWMWMWMWMWMWMWMWMWMWMWMWMWMWMWMWMWM Wireless WMWMWMWMWM";
        f.lan[0].adapterName = name;
        f.networks[0].adapterName = name;
        return f;
    });
    tray_.check->open();
    ASSERT_TRUE(pump_until([&] { return !tray_.check->model().busy(); }));
    pump_for(50ms);
    HWND window = check_window();
    ASSERT_TRUE(window);
    const auto rect_of = [&](HWND control) {
        RECT r{};
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
        return r;
    };
    std::vector<RECT> buttons;
    for (int r = 0; r < cc::kRowCount; ++r)
        if (HWND fix = GetDlgItem(window, cc::row_fix_id(r)); fix && IsWindowVisible(fix)) buttons.push_back(rect_of(fix));
    buttons.push_back(rect_of(GetDlgItem(window, cc::kCheckAgainId)));
    buttons.push_back(rect_of(GetDlgItem(window, cc::kCloseId)));
    ASSERT_GE(buttons.size(), 3u);

    std::vector<int> labels{cc::kStatusId};
    for (int r = 0; r < cc::kRowCount; ++r) labels.push_back(cc::row_text_id(r));
    for (const int id : labels) {
        HWND label = GetDlgItem(window, id);
        ASSERT_TRUE(label) << id;
        const std::wstring text = widen(control_text(window, id));
        const RECT box = rect_of(label);
        // The static control's own drawing flags for its style.
        const LONG style = GetWindowLongW(label, GWL_STYLE);
        UINT flags = DT_LEFT | DT_WORDBREAK | DT_EXPANDTABS | DT_CALCRECT;
        if (style & SS_NOPREFIX) flags |= DT_NOPREFIX;
        if ((style & SS_EDITCONTROL) == SS_EDITCONTROL) flags |= DT_EDITCONTROL;
        HDC dc = GetDC(label);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)));
        RECT need{0, 0, box.right - box.left, 0};
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &need, flags);
        SelectObject(dc, old);
        ReleaseDC(label, dc);
        EXPECT_LE(need.right, box.right - box.left) << id << " " << narrow(text);
        EXPECT_LE(need.bottom, box.bottom - box.top) << id << " " << narrow(text);
        for (const RECT& b : buttons) {
            RECT both{};
            EXPECT_FALSE(IntersectRect(&both, &box, &b)) << id;
        }
    }
    SendMessageW(window, WM_CLOSE, 0, 0);
}

// A problem shows one balloon per network, again only after it was ok in
// between; clicking the balloon opens the window.
TEST_F(ConnectionCheckDesktop, AProblemShowsOneBalloonAndItsClickOpensTheWindow) {
    cc::ConnectionFacts facts = public_wifi();
    use_facts([&facts] { return facts; });
    ASSERT_TRUE(run_background_check());
    auto shown = balloons();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].title, cc::kBalloonTitle);
    const auto findings = cc::evaluate(facts);
    EXPECT_EQ(shown[0].text, findings[2].text);  // the network is Public
    EXPECT_EQ(tray_.balloon, TrayBalloon::Reach);

    ASSERT_TRUE(run_background_check());
    EXPECT_EQ(balloons().size(), 1u);  // the same problem on the same network

    facts.networks[0].category = platform::NetworkCategory::Private;
    ASSERT_TRUE(run_background_check());
    facts.networks[0].category = platform::NetworkCategory::Public;
    ASSERT_TRUE(run_background_check());
    EXPECT_EQ(balloons().size(), 2u);  // it was fine in between

    balloon_event(tray_, NIN_BALLOONUSERCLICK);
    EXPECT_TRUE(pump_until([] { return check_window() != nullptr; }));
    EXPECT_EQ(tray_.balloon, TrayBalloon::None);
}

// The first start's notice is never replaced: the problem waits for it, and
// a click on the notice does not open the check.
TEST_F(ConnectionCheckDesktop, TheFirstStartNoticeIsNeverReplaced) {
    use_facts(public_wifi);
    tray_.balloon = TrayBalloon::VigemNotice;
    ASSERT_TRUE(run_background_check());
    EXPECT_TRUE(balloons().empty());
    ASSERT_TRUE(tray_.reachBalloonDue);
    balloon_event(tray_, NIN_BALLOONUSERCLICK);  // the notice was clicked
    pump_for(100ms);
    EXPECT_EQ(check_window(), nullptr);
    ASSERT_EQ(balloons().size(), 1u);
    EXPECT_EQ(balloons()[0].title, cc::kBalloonTitle);
    EXPECT_EQ(tray_.balloon, TrayBalloon::Reach);
}

// "Allow…" runs this program elevated with --allow-firewall from a worker,
// and a check follows the change.
TEST_F(ConnectionCheckDesktop, TheFirewallFixRunsElevatedAndChecksAgain) {
    cc::ConnectionFacts facts = public_wifi();
    facts.networks[0].category = platform::NetworkCategory::Private;
    facts.firewall.programRules = std::vector<platform::FirewallRule>{};
    for (auto& p : facts.firewall.profiles) p = {true, false};
    facts.firewall.managedElsewhere = false;
    int gathered = 0;
    use_facts([&] {
        ++gathered;
        return facts;
    });
    tray_.check->open();
    ASSERT_TRUE(pump_until([&] { return !tray_.check->model().busy(); }));
    const auto& before = tray_.check->model().findings();
    ASSERT_EQ(before[3].state, cc::FindingState::Problem) << before[3].text;
    ASSERT_EQ(before[3].fix, cc::FindingFix::AllowFirewall);
    HWND window = check_window();
    facts.firewall.programRules = std::vector<platform::FirewallRule>{
        cc::hearthpad_firewall_rule("C:\\Apps\\Hearthpad\\hearthpad.exe")};
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(cc::row_fix_id(3), BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, cc::row_fix_id(3))));
    ASSERT_TRUE(pump_until([&] { return gathered == 2 && !tray_.check->model().busy(); }));
    const auto requests = elevated_->requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].program, "C:\\Apps\\Hearthpad\\hearthpad.exe");
    EXPECT_EQ(requests[0].args, std::vector<std::string>{"--allow-firewall"});
    EXPECT_EQ(requests[0].owner, reinterpret_cast<std::uintptr_t>(window));
    EXPECT_EQ(tray_.check->model().findings()[3].state, cc::FindingState::Ok);
}

// At logon the shell may refuse the icon with no TaskbarCreated to follow:
// the tray tries again (NIM_MODIFY first, then NIM_ADD) and the first-start
// notice, with its marker, waits until the icon is there.
TEST_F(ConnectionCheckDesktop, ARefusedIconIsAddedAgainAndTheNoticeWaitsForIt) {
    ASSERT_TRUE(tray_.host->vigemMissing) << "the test needs a PC without the pad driver";
    const fs::path marker = tray_.dataDir / "vigem_notified";
    std::error_code ec;
    fs::remove(marker, ec);
    calls_.clear();
    refuseAdds_ = 2;
    tray_.iconShown = false;
    add_tray_icon(tray_);
    show_vigem_balloon(tray_);
    EXPECT_FALSE(tray_.iconShown);
    EXPECT_FALSE(fs::exists(marker));
    EXPECT_TRUE(balloons().empty());

    // The stand-in refuses NIM_MODIFY too until an add went through.
    tray_.notifyIcon = [this, added = false](DWORD message, NOTIFYICONDATAW& icon) mutable {
        calls_.push_back({message, (icon.uFlags & NIF_INFO) != 0, narrow(icon.szInfoTitle), narrow(icon.szInfo)});
        if (message == NIM_ADD && refuseAdds_ > 0) {
            --refuseAdds_;
            return false;
        }
        if (message == NIM_ADD) added = true;
        return added;
    };
    calls_.clear();
    retry_tray_icon(tray_);  // MODIFY refused, ADD refused (the second refusal)
    EXPECT_FALSE(tray_.iconShown);
    ASSERT_GE(calls_.size(), 2u);
    EXPECT_EQ(calls_[0].message, static_cast<DWORD>(NIM_MODIFY));
    EXPECT_EQ(calls_[1].message, static_cast<DWORD>(NIM_ADD));
    retry_tray_icon(tray_);
    EXPECT_TRUE(tray_.iconShown);
    EXPECT_TRUE(fs::exists(marker));
    ASSERT_EQ(balloons().size(), 1u);
    EXPECT_EQ(tray_.balloon, TrayBalloon::VigemNotice);
}

}  // namespace
}  // namespace hp::app
