// hearthpad.exe end to end under Wine: the real program started as a user
// would start it on a fresh data directory, its start-at-login question
// answered, a phone paired by the QR code read from the screen, the phone's
// commands executed while the menu and the question are open, started a
// second time,
// asked to close and started again. Its data directory is a temporary
// directory handed over in RC_DATA_DIR, so no real user data is touched; the
// program runs from a temporary directory, and starts the system's
// schtasks.exe, whose place in the prefix's system folder a stand-in takes
// that answers 1 ("no such task").
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "e2e/desktop_driver.h"
#include "e2e/wine_host.h"
#include "pad_mapping/mapping_file.h"
#include "pad_mapping_ui/mapping_editor.h"
#include "pad_mapping_ui/mapping_layout.h"
#include "support/test_client.h"

namespace hp::e2e {
namespace {

namespace fs = std::filesystem;
namespace ft = test::frame_type;

// A cold prefix takes a while to answer the first time.
constexpr auto kFirstAnswer = seconds(90);
constexpr auto kExit = seconds(30);
constexpr auto kWindow = seconds(60);

// The start-at-login question's caption: the program's file stem.
constexpr char kQuestionCaption[] = "hearthpad";

fs::path exe_path() {
    if (const char* e = std::getenv("HP_WIN_EXE"); e && *e) return e;
    return HP_WIN_EXE;
}

bool is_lower_hex(const std::string& s) {
    return s.find_first_not_of("0123456789abcdef") == std::string::npos;
}

std::string read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class HearthpadExe : public ::testing::Test {
protected:
    // One Wine session and one running host for the whole suite: starting
    // Wine is the expensive part. The cases run in order and build on each
    // other (the question is answered before pairing, the device paired
    // before it sends input).
    struct Shared {
        std::unique_ptr<WineSession> wine;
        std::unique_ptr<DesktopDriver> desktop;
        fs::path dataDir, programDir;
        std::optional<ChildProcess> host;
        FoundHost found;
        std::string setupError;
        std::optional<test::ClientIdentity> phone;
        std::optional<test::PinnedHost> pinned;
    };
    static Shared* shared_;

    static void SetUpTestSuite() {
        shared_ = new Shared();
        auto wine = WineSession::open(fs::path(HP_E2E_DIR));
        if (!wine) {
            shared_->setupError = wine.error().text;
            return;
        }
        shared_->wine = std::move(*wine);
        shared_->desktop = std::make_unique<DesktopDriver>(*shared_->wine);
        for (fs::path* dir : {&shared_->dataDir, &shared_->programDir}) {
            std::string pattern = (fs::temp_directory_path() / "hearthpad-e2e-XXXXXX").string();
            if (!::mkdtemp(pattern.data())) {
                shared_->setupError = "mkdtemp failed";
                return;
            }
            *dir = pattern;
        }
        std::error_code ec;
        fs::copy_file(exe_path(), shared_->programDir / "hearthpad.exe", ec);
        if (ec) {
            shared_->setupError = "cannot copy the program: " + ec.message();
            return;
        }
        // The stand-in in place of Wine's schtasks.exe (kept aside), and an
        // override that makes Wine run that file rather than its built-in
        // program of the same name.
        const fs::path system = system_schtasks();
        if (fs::exists(system) && !fs::exists(kept_schtasks())) fs::rename(system, kept_schtasks(), ec);
        if (!ec) fs::copy_file(HP_WIN_STUB_SCHTASKS, system, fs::copy_options::overwrite_existing, ec);
        if (ec) {
            shared_->setupError = "cannot put the schtasks.exe stand-in in place: " + ec.message();
            return;
        }
        (void)shared_->wine->run({"reg", "add", kOverrides, "/v", "schtasks.exe", "/d", "native", "/f"}, kExit);
        // Nothing of an earlier run may answer the question for this one.
        (void)shared_->wine->run({"reg", "delete", "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", "/v",
                                  "Hearthpad", "/f"},
                                 kExit);
        if (auto st = start_first_host(); !st) shared_->setupError = st.error().text;
    }

    static void TearDownTestSuite() {
        if (shared_->wine) {
            // The prefix is shared with the package test: Wine's own
            // schtasks.exe again.
            (void)shared_->wine->run({"reg", "delete", kOverrides, "/v", "schtasks.exe", "/f"}, kExit);
            std::error_code ec;
            if (fs::exists(kept_schtasks())) fs::rename(kept_schtasks(), system_schtasks(), ec);
            shared_->wine->kill_all();
        }
        shared_->host.reset();
        shared_->desktop.reset();
        shared_->wine.reset();  // ends the display too
        std::error_code ec;
        if (!shared_->dataDir.empty()) fs::remove_all(shared_->dataDir, ec);
        if (!shared_->programDir.empty()) fs::remove_all(shared_->programDir, ec);
        delete shared_;
        shared_ = nullptr;
    }

    static constexpr const char* kOverrides = "HKCU\\Software\\Wine\\DllOverrides";
    static fs::path system_schtasks() {
        return shared_->wine->prefix() / "drive_c" / "windows" / "system32" / "schtasks.exe";
    }
    static fs::path kept_schtasks() {
        return shared_->wine->prefix() / "drive_c" / "windows" / "system32" / "schtasks.exe.hp-kept";
    }

    static Status start_first_host() {
        auto host = shared_->wine->start(shared_->programDir / "hearthpad.exe", shared_->dataDir, {"--background"});
        if (!host) return std::unexpected(host.error());
        shared_->host.emplace(std::move(*host));
        auto found = shared_->wine->wait_for_host(*shared_->host, kFirstAnswer);
        if (!found) return std::unexpected(found.error());
        shared_->found = *found;
        return {};
    }

    void SetUp() override {
        ASSERT_TRUE(shared_->setupError.empty()) << shared_->setupError;
    }

    WineSession& wine() { return *shared_->wine; }
    DesktopDriver& desktop() { return *shared_->desktop; }
    const nlohmann::json& info() { return shared_->found.info; }
    std::uint16_t port() { return shared_->found.port; }

    // A fresh information request to the running host.
    Result<nlohmann::json> ask_information() {
        test::TestClient client;
        if (auto st = client.connect(port()); !st) return std::unexpected(st.error());
        return client.information();
    }

    std::optional<XWindow> question() { return desktop().find(kQuestionCaption, "hearthpad.exe"); }
    std::optional<XWindow> pairing_window() { return desktop().find("Pair New Device", "hearthpad.exe"); }
    // The open popup menu: the program's one window without a name.
    std::optional<XWindow> menu() {
        auto windows = desktop().visible_windows("hearthpad.exe");
        if (!windows) return std::nullopt;
        for (auto& w : *windows)
            if (w.name.empty() && w.width > 100) return w;
        return std::nullopt;
    }

    // Right-clicks the icon in Wine's notification area and waits for the menu.
    std::optional<XWindow> open_menu() {
        const auto tray = desktop().find("Wine System Tray");
        EXPECT_TRUE(tray) << "no notification area";
        if (!tray) return std::nullopt;
        EXPECT_TRUE(desktop().click(tray->x + 10, tray->y + tray->height / 2, 3));
        return desktop().wait_for([this] { return menu(); }, kWindow);
    }

    // "Pair New Device…" chosen from the tray menu with the keyboard, as the
    // pointer over the menu's border selects nothing: Wine 8 moves through
    // the grey lines too (four of them, then the item); a Wine that skips
    // them needs one step. Returns the pairing window.
    std::optional<XWindow> choose_pair_new_device() {
        for (const int steps : {5, 1}) {
            const auto shown = open_menu();
            if (!shown) return std::nullopt;
            EXPECT_TRUE(desktop().move(shown->x + 1, shown->y + 1));
            for (int i = 0; i < steps; ++i) EXPECT_TRUE(desktop().key("Down"));
            EXPECT_TRUE(desktop().key("Return"));
            if (auto window = desktop().wait_for([this] { return pairing_window(); }, seconds(10))) return window;
        }
        return std::nullopt;
    }

    std::optional<XWindow> mapping_window() {
        return desktop().find(std::string(pad_mapping_ui::kWindowTitle), "hearthpad.exe");
    }

    // Without a window manager Wine takes a destroyed window off the screen
    // only when the next X event arrives: moving the pointer clears what an
    // earlier window left on top of the notification area and the menu.
    void flush_destroyed_windows() {
        EXPECT_TRUE(desktop().move(600, 600));
        std::this_thread::sleep_for(milliseconds(300));
        EXPECT_TRUE(desktop().move(610, 610));
        std::this_thread::sleep_for(milliseconds(300));
    }

    // "Gamepad Mapping…" from the tray menu, reached with the keyboard as
    // "Pair New Device…" is, nine steps down. Returns the mapping window.
    std::optional<XWindow> choose_mapping_window() {
        for (int attempt = 0; attempt < 2; ++attempt) {
            flush_destroyed_windows();
            const auto shown = open_menu();
            if (!shown) return std::nullopt;
            EXPECT_TRUE(desktop().move(shown->x + 1, shown->y + 1));
            for (int i = 0; i < 9; ++i) EXPECT_TRUE(desktop().key("Down"));
            EXPECT_TRUE(desktop().key("Return"));
            if (auto window = desktop().wait_for([this] { return mapping_window(); }, seconds(10))) return window;
            (void)desktop().key("Escape");
        }
        return std::nullopt;
    }

    // Clicks the centre of a control of the mapping window, placed as the
    // layout places it at 96 DPI. The X window holds the whole frame, whose
    // left, right and bottom borders are equally wide.
    void click_control(const XWindow& window, int id) {
        const auto client = pad_mapping_ui::client_rect(96);
        const int border = (window.width - client.width()) / 2;
        const int left = window.x + border, top = window.y + window.height - border - client.height();
        for (const auto& control : pad_mapping_ui::mapping_controls(96)) {
            if (control.id != id) continue;
            EXPECT_TRUE(desktop().click(left + (control.rect.left + control.rect.right) / 2,
                                        top + (control.rect.top + control.rect.bottom) / 2, 1));
            std::this_thread::sleep_for(milliseconds(300));
            return;
        }
        ADD_FAILURE() << "no control " << id;
    }

    // The paired phone, authenticated, in a new session.
    std::unique_ptr<test::TestClient> phone() {
        EXPECT_TRUE(shared_->phone && shared_->pinned) << "the phone has not paired";
        if (!shared_->phone || !shared_->pinned) return nullptr;
        auto client = std::make_unique<test::TestClient>(*shared_->phone);
        client->pin_host(*shared_->pinned);
        EXPECT_TRUE(client->connect(port()));
        const auto auth = client->authenticate();
        EXPECT_TRUE(auth.ok()) << auth.detail;
        return auth.ok() ? std::move(client) : nullptr;
    }

    // The phone's commands reach the system and come back: it sets the
    // clipboard and reads it again. (Under Xvfb, Wine does not move the X
    // pointer for synthetic input, so the pointer cannot show it.)
    bool commands_run(test::TestClient& client, const std::string& text) {
        const nlohmann::json set = {{"text", text}};
        EXPECT_TRUE(client.send_secure(ft::ClipboardSet, set.dump()));
        EXPECT_TRUE(client.send_secure(ft::ClipboardGet, std::string_view("{}")));
        auto reply = client.recv();
        EXPECT_TRUE(reply) << reply.error().text;
        if (!reply) return false;
        EXPECT_EQ(reply->type, ft::ClipboardContent);
        return reply->json().value("text", "") == text;
    }

    // A Ping answered by its Pong.
    bool pong(test::TestClient& client, std::uint64_t ts) {
        const std::string body = "{\"ts\":" + std::to_string(ts) + "}";
        EXPECT_TRUE(client.send_secure(ft::Ping, body));
        auto reply = client.recv();
        EXPECT_TRUE(reply) << reply.error().text;
        return reply && reply->type == ft::Pong;
    }

    // No window of the program but the notification area's may show. The
    // notification area (Wine's explorer.exe) draws the icon's balloons: the
    // connection check's comes on every start here, as Wine calls every
    // network Public.
    void expect_nothing_shown(milliseconds wait) {
        std::this_thread::sleep_for(wait);
        const auto windows = desktop().visible_windows();
        ASSERT_TRUE(windows) << windows.error().text;
        const auto shell = desktop().visible_windows("explorer.exe");
        ASSERT_TRUE(shell) << shell.error().text;
        for (const auto& w : *windows) {
            const bool root = w.x == 0 && w.y == 0 && w.width >= 1024;
            const bool notificationArea = std::any_of(shell->begin(), shell->end(),
                                                      [&](const XWindow& s) { return s.id == w.id; });
            EXPECT_TRUE(root || w.name == "Wine System Tray" || notificationArea)
                << "unexpected window \"" << w.name << "\" at " << w.x << "," << w.y << " " << w.width << "x"
                << w.height;
        }
    }
};

HearthpadExe::Shared* HearthpadExe::shared_ = nullptr;

TEST_F(HearthpadExe, AnswersAnInformationRequestAsAWindowsHostAndCloses) {
    EXPECT_GE(port(), 49182);
    EXPECT_LE(port(), 49192);
    // The port belongs to this prefix, not to a host another run started.
    const auto owned = prefix_listening_ports(wine().prefix(), 49182, 49192);
    ASSERT_TRUE(owned) << "no process of the Wine prefix is visible in /proc";
    EXPECT_NE(std::find(owned->begin(), owned->end(), port()), owned->end());
    EXPECT_EQ(info().value("v", 0), 1);
    EXPECT_EQ(info().value("os", ""), "windows");
    const std::string hostId = info().value("hostId", "");
    EXPECT_TRUE(is_v4_uuid(hostId)) << hostId;
    EXPECT_FALSE(info().value("name", "").empty());
    const std::string fp = info().value("fp", "");
    EXPECT_EQ(fp.size(), 16u);
    EXPECT_TRUE(is_lower_hex(fp)) << fp;
    ASSERT_TRUE(info().contains("udpPort") && info()["udpPort"].is_number_unsigned());
    EXPECT_GT(info()["udpPort"].get<unsigned>(), 0u);

    // After HostInfo the host ends the connection.
    test::TestClient client;
    ASSERT_TRUE(client.connect(port()));
    ASSERT_TRUE(client.information());
    EXPECT_TRUE(client.wait_closed());
}

TEST_F(HearthpadExe, FirstStartAsksAboutStartAtLoginWhileItServesAndNoWritesNothing) {
    const auto box = desktop().wait_for([this] { return question(); }, kWindow);
    ASSERT_TRUE(box) << "the start-at-login question did not show";
    // The host answers while the question waits on the main thread.
    auto again = ask_information();
    ASSERT_TRUE(again) << again.error().text;
    EXPECT_EQ(again->value("hostId", ""), info().value("hostId", ""));
    // The marker is written before the question is asked.
    EXPECT_EQ(read(shared_->dataDir / "startup_prompted"), "1");

    // "No": the mnemonic, with the pointer over the box (keys go there).
    ASSERT_TRUE(desktop().move(box->centre_x(), box->centre_y()));
    ASSERT_TRUE(desktop().key("n"));
    EXPECT_TRUE(desktop().wait_gone([this] { return question(); }, kWindow));
    auto value = wine().run({"reg", "query", "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", "/v",
                             "Hearthpad"},
                            kExit);
    ASSERT_TRUE(value) << value.error().text;
    EXPECT_NE(*value, 0) << "No wrote a start-at-login entry";
}

TEST_F(HearthpadExe, PairsWithTheCodeReadFromTheQrCodeOnTheScreen) {
    const auto window = choose_pair_new_device();
    ASSERT_TRUE(window) << "the pairing window did not open";
    EXPECT_EQ(window->width, 320);
    EXPECT_EQ(window->height, 380);

    const std::string shot = (fs::path(HP_E2E_DIR) / "pairing-window.png").string();
    ASSERT_TRUE(desktop().screenshot(shot));
    const auto link = desktop().read_qr(shot);
    ASSERT_TRUE(link) << link.error().text;
    const std::string prefix = "hearthpad://pair?v=1&id=" + info().value("hostId", "") + "&";
    ASSERT_EQ(link->rfind(prefix, 0), 0u) << *link;
    EXPECT_NE(link->find("&os=windows&"), std::string::npos) << *link;
    EXPECT_NE(link->find("&pk="), std::string::npos) << *link;
    const auto at = link->find("&code=");
    ASSERT_NE(at, std::string::npos) << *link;
    const std::string code = link->substr(at + 6);
    ASSERT_EQ(code.size(), 6u) << *link;

    test::TestClient client(test::ClientIdentity::generate("QR Phone"));
    ASSERT_TRUE(client.connect(port()));
    const auto paired = client.pair(code);
    ASSERT_TRUE(paired.ok()) << paired.detail;
    shared_->phone = client.identity();
    shared_->pinned = client.pinned_host();
    // Pairing completed: the window closes by itself.
    EXPECT_TRUE(desktop().wait_gone([this] { return pairing_window(); }, kWindow));
}

// Before the phone first uses the clipboard: once the clipboard has changed
// hands, Wine no longer sends keys to the tray menu.
TEST_F(HearthpadExe, MappingWindowBindsKeysPressedOnTheKeyboardAndSavesWhileItServes) {
    namespace ui = pad_mapping_ui;
    namespace pm = pad_mapping;
    const auto window = choose_mapping_window();
    ASSERT_TRUE(window) << "the mapping window did not open";
    auto client = phone();  // a session idle for 10 s is ended: start it now
    ASSERT_TRUE(client);

    // Wine without a window manager sometimes keeps a click for itself, as
    // a user would notice and click again: each binding is tried until the
    // file holds it.
    const fs::path file = shared_->dataDir / std::string(pm::kMappingFileName);
    const auto saved_as = [&](std::size_t row, const pm::Binding& binding) {
        return fs::exists(file) && pm::load_mapping(shared_->dataDir).bindings[row] == binding;
    };
    const auto bind = [&](std::size_t row, const std::string& keys, const pm::Binding& binding, std::uint64_t ts) {
        for (int attempt = 0; attempt < 3 && !saved_as(row, binding); ++attempt) {
            click_control(*window, ui::row_change_id(static_cast<int>(row)));
            // The phone is answered while the window waits for the key.
            EXPECT_TRUE(pong(*client, ts + static_cast<std::uint64_t>(attempt)));
            EXPECT_TRUE(desktop().key(keys));
            std::this_thread::sleep_for(milliseconds(300));
            for (int click = 0; click < 3 && !saved_as(row, binding); ++click) {
                click_control(*window, ui::kSaveId);
                for (int i = 0; i < 10 && !saved_as(row, binding); ++i)
                    std::this_thread::sleep_for(milliseconds(100));
            }
        }
        return saved_as(row, binding);
    };
    // Left Shift pressed and released alone binds itself; Ctrl+K binds K
    // with Ctrl.
    EXPECT_TRUE(bind(pm::kA, "shift", pm::Binding::keyPress(225), 10));
    EXPECT_TRUE(bind(pm::kB, "ctrl+k", pm::Binding::keyPress(14, pm::kModCtrl), 20));
    const pm::PadMapping saved = pm::load_mapping(shared_->dataDir);
    EXPECT_EQ(saved.bindings[pm::kA], pm::Binding::keyPress(225));
    EXPECT_EQ(saved.preset, pm::Preset::Custom);

    // Nothing unsaved: Close closes without a question.
    for (int click = 0; click < 3 && mapping_window(); ++click) {
        click_control(*window, ui::kCloseId);
        flush_destroyed_windows();
    }
    EXPECT_TRUE(desktop().wait_gone([this] { return mapping_window(); }, kWindow));
    EXPECT_TRUE(pong(*client, 2));
}

TEST_F(HearthpadExe, CommandsRunWhileTheMenuIsOpen) {
    auto client = phone();
    ASSERT_TRUE(client);
    const auto shown = open_menu();
    ASSERT_TRUE(shown) << "the tray menu did not open";
    EXPECT_TRUE(commands_run(*client, "while the menu is open"));
    EXPECT_TRUE(menu()) << "the menu closed";
    // A click elsewhere closes it. (Escape would too, but once the clipboard
    // has changed hands Wine no longer sends the key to the menu.)
    ASSERT_TRUE(desktop().click(900, 900, 1));
    EXPECT_TRUE(desktop().wait_gone([this] { return menu(); }, kWindow));
}

TEST_F(HearthpadExe, SecondStartExitsAtOnceWithStatusZeroAndTheFirstKeepsServing) {
    auto second = wine().start(shared_->programDir / "hearthpad.exe", shared_->dataDir);
    ASSERT_TRUE(second) << second.error().text;
    const auto status = second->wait_for(kExit);
    ASSERT_TRUE(status) << "the second hearthpad.exe is still running";
    EXPECT_EQ(*status, 0);

    auto again = ask_information();
    ASSERT_TRUE(again) << again.error().text;
    EXPECT_EQ(again->value("hostId", ""), info().value("hostId", ""));
    EXPECT_FALSE(shared_->host->wait_for(milliseconds(0))) << "the first hearthpad.exe ended";
}

// The connection check's firewall fix starts the program again, elevated,
// with --allow-firewall: that run changes the firewall and exits, before
// the single-instance check and without starting a host, also while the
// host runs. (Wine's firewall keeps no rules: what the run changes is shown
// against the portable fake.)
TEST_F(HearthpadExe, TheFirewallFixRunExitsWithoutStartingAHost) {
    auto fix = wine().start(shared_->programDir / "hearthpad.exe", shared_->dataDir, {"--allow-firewall"});
    ASSERT_TRUE(fix) << fix.error().text;
    const auto status = fix->wait_for(kExit);
    ASSERT_TRUE(status) << "the --allow-firewall run is still running";
    EXPECT_NE(*status, 1) << "1 is no exit code of the fix";
    EXPECT_FALSE(shared_->host->wait_for(milliseconds(0))) << "the host ended";
    const auto owned = prefix_listening_ports(wine().prefix(), 49182, 49192);
    ASSERT_TRUE(owned);
    EXPECT_EQ(owned->size(), 1u) << "a second host listens";
}

TEST_F(HearthpadExe, DataDirectoryHoldsTheIdentityAndBothMarkers) {
    const fs::path dir = shared_->dataDir;
    std::error_code ec;
    EXPECT_GT(fs::file_size(dir / "host_identity.bin", ec), 0u) << ec.message();
    // The question was asked, and Wine has no ViGEmBus: the notice was shown.
    EXPECT_EQ(read(dir / "startup_prompted"), "1");
    EXPECT_EQ(read(dir / "vigem_notified"), "1");
    EXPECT_FALSE(fs::exists(dir / "host_identity.tmp"));
    EXPECT_FALSE(fs::exists(dir / "startup_prompted.tmp"));
}

TEST_F(HearthpadExe, CloseRequestEndsItWithStatusZeroAndARestartShowsNothing) {
    const std::string hostId = info().value("hostId", "");
    const std::string fp = info().value("fp", "");

    // taskkill without /f posts WM_CLOSE to the process's top-level windows,
    // which is how the tray window is asked to go.
    auto asked = wine().run({"taskkill", "/im", "hearthpad.exe"}, kExit);
    ASSERT_TRUE(asked) << asked.error().text;
    EXPECT_EQ(*asked, 0);
    const auto status = shared_->host->wait_for(kExit);
    ASSERT_TRUE(status) << "hearthpad.exe did not end after WM_CLOSE";
    EXPECT_EQ(*status, 0);

    // The singleton mutex went with the process: a new start serves again,
    // with the identity the first one saved, and asks nothing.
    ASSERT_TRUE(desktop().move(900, 900));  // no tooltip from a pointer left on the icon
    ASSERT_TRUE(start_first_host());
    EXPECT_EQ(info().value("hostId", ""), hostId);
    EXPECT_EQ(info().value("fp", ""), fp);
    expect_nothing_shown(seconds(5));
}

TEST_F(HearthpadExe, WithItsMarkerGoneTheQuestionComesAgainAndCommandsRunWhileItWaits) {
    auto asked = wine().run({"taskkill", "/im", "hearthpad.exe"}, kExit);
    ASSERT_TRUE(asked) << asked.error().text;
    ASSERT_TRUE(shared_->host->wait_for(kExit));
    fs::remove(shared_->dataDir / "startup_prompted");
    ASSERT_TRUE(start_first_host());
    const auto box = desktop().wait_for([this] { return question(); }, kWindow);
    ASSERT_TRUE(box) << "the start-at-login question did not show";

    auto client = phone();
    ASSERT_TRUE(client);
    EXPECT_TRUE(commands_run(*client, "while the question waits"));
    EXPECT_TRUE(question()) << "the question went away";

    ASSERT_TRUE(desktop().move(box->centre_x(), box->centre_y()));
    ASSERT_TRUE(desktop().key("n"));
    EXPECT_TRUE(desktop().wait_gone([this] { return question(); }, kWindow));
    EXPECT_EQ(read(shared_->dataDir / "startup_prompted"), "1");
}

}  // namespace
}  // namespace hp::e2e
