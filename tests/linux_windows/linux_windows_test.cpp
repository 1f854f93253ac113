// The desktop windows as the user sees them: a host started in the test, the
// host's side of the windows starting hearthpad-windows on a private Xvfb
// display, a screenshot's QR code read back with zbarimg and paired with, the
// connection check's rows and the mapping window's save read back over the
// link, and clicks and keys sent with xdotool.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/linux_windows.h"
#include "app/linux_windows_probe.h"
#include "connection_check/check_window_model.h"
#include "connection_check/gather.h"
#include "pad_mapping/mapping_file.h"
#include "pad_mapping_ui/mapping_editor.h"
#include "pairing_flyout/flyout_layout.h"
#include "platform/firewall.h"
#include "protocol/handshake.h"
#include "unit/server/host_fixture.h"

extern char** environ;

namespace hp::test {
namespace {

namespace fs = std::filesystem;
namespace wl = window_link;
namespace cc = connection_check;
namespace ui = pad_mapping_ui;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

bool on_path(const std::string& program) {
    std::istringstream path(std::getenv("PATH") ? std::getenv("PATH") : "");
    for (std::string dir; std::getline(path, dir, ':');)
        if (!dir.empty() && ::access((fs::path(dir) / program).c_str(), X_OK) == 0) return true;
    return false;
}

// Runs a program without a shell and returns what it wrote (nothing if it failed).
std::optional<std::string> run(const std::vector<std::string>& args) {
    std::array<int, 2> out{};
    if (::pipe2(out.data(), O_CLOEXEC) != 0) return std::nullopt;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string text;
    if (spawned == 0) {
        std::array<char, 4096> buffer{};
        for (ssize_t n; (n = ::read(out[0], buffer.data(), buffer.size())) > 0;)
            text.append(buffer.data(), static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    if (spawned != 0) return std::nullopt;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return text;
}

std::string trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    return s;
}

// An Xvfb of the test's own on a free display, killed at the end.
class Xvfb {
public:
    bool start() {
        for (int n = 91; n < 160; ++n) {
            const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
            const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
            if (fs::exists(socket) || fs::exists(lock)) continue;
            const std::string display = ":" + std::to_string(n);
            std::vector<std::string> args = {"Xvfb", display, "-nolisten", "tcp", "-screen", "0", "1280x800x24"};
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            posix_spawn_file_actions_t actions;
            posix_spawn_file_actions_init(&actions);
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
            posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
            const int spawned = posix_spawnp(&pid_, "Xvfb", &actions, nullptr, argv.data(), environ);
            posix_spawn_file_actions_destroy(&actions);
            if (spawned != 0) return false;
            const auto until = Clock::now() + 10s;
            while (Clock::now() < until && !fs::exists(socket)) {
                int status = 0;
                if (::waitpid(pid_, &status, WNOHANG) == pid_) {  // lost the display to someone else
                    pid_ = -1;
                    break;
                }
                std::this_thread::sleep_for(20ms);
            }
            if (pid_ < 0) continue;
            if (!fs::exists(socket)) return false;
            ::setenv("DISPLAY", display.c_str(), 1);
            return true;
        }
        return false;
    }
    ~Xvfb() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }

private:
    pid_t pid_ = -1;
};

// The resident memory of the window program, a child of this process (the
// only one besides Xvfb); nothing when there is none, -1 for one that has
// ended but was not reaped.
std::optional<long> window_program_rss_kib() {
    DIR* proc = ::opendir("/proc");
    if (!proc) return std::nullopt;
    std::optional<long> rss;
    while (dirent* entry = ::readdir(proc)) {
        std::ifstream status(fs::path("/proc") / entry->d_name / "status");
        std::string line, name;
        long ppid = -1, kib = -1;
        while (std::getline(status, line)) {
            if (line.rfind("Name:", 0) == 0) name = trimmed(line.substr(5));
            if (line.rfind("PPid:", 0) == 0) ppid = std::stol(line.substr(5));
            if (line.rfind("VmRSS:", 0) == 0) kib = std::stol(line.substr(6));
        }
        name.erase(0, name.find_first_not_of(" \t"));
        if (ppid == ::getpid() && name != "Xvfb") rss = kib;
    }
    ::closedir(proc);
    return rss;
}

const wl::ControlText* control(const wl::Texts& texts, int id) {
    for (const auto& c : texts.controls)
        if (c.id == id) return &c;
    return nullptr;
}

bool shows_text(const wl::Texts& texts, std::string_view text) {
    for (const auto& c : texts.controls)
        if (c.text == text && c.visible) return true;
    return false;
}

class LinuxWindows : public HostFixture {
protected:
    static void SetUpTestSuite() {
        for (const char* tool : {"Xvfb", "import", "zbarimg", "xdotool"})
            if (!on_path(tool)) {
                missing_ = std::string(tool) + " is not installed";
                return;
            }
        xvfb_ = new Xvfb;
        if (!xvfb_->start()) missing_ = "no free X display for Xvfb";
    }
    static void TearDownTestSuite() {
        delete xvfb_;
        xvfb_ = nullptr;
    }

    void SetUp() override {
        if (!missing_.empty()) GTEST_SKIP() << missing_;
        ASSERT_TRUE(fs::exists(HP_WINDOWS_PROGRAM));
        start();
        app::DesktopWindowsContext context;
        context.host = host_.get();
        context.system = system_;
        context.windowsProgram = HP_WINDOWS_PROGRAM;
        context.hostProgram = "/usr/bin/hearthpad";
        context.refreshTray = [this] { ++trayRefreshes_; };
        windows_ = app::make_desktop_windows(std::move(context));
    }

    void TearDown() override {
        windows_.reset();
        HostFixture::TearDown();
    }

    std::optional<std::string> active_code() {
        HostLock lock(state());
        return state().pairing.code;
    }

    // Asks the window for its controls until `ready` holds.
    std::optional<wl::Texts> texts_when(wl::WindowKind kind, const std::function<bool(const wl::Texts&)>& ready,
                                        std::chrono::milliseconds limit = 10s) {
        const auto until = Clock::now() + limit;
        while (Clock::now() < until) {
            if (auto texts = app::window_texts(*windows_, kind, 2s); texts && ready(*texts)) return texts;
            std::this_thread::sleep_for(50ms);
        }
        return std::nullopt;
    }

    bool closed(wl::WindowKind kind, std::chrono::milliseconds limit = 5s) {
        const auto until = Clock::now() + limit;
        while (Clock::now() < until) {
            if (!app::window_texts(*windows_, kind, 500ms)) return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    // Clicks the middle of a control of the window titled `title`.
    bool click(const std::string& title, const wl::ControlText& c) {
        auto id = run({"xdotool", "search", "--sync", "--onlyvisible", "--name", title});
        if (!id) return false;
        const std::string window = trimmed(id->substr(0, id->find('\n')));
        return run({"xdotool", "mousemove", "--window", window, std::to_string(c.x + c.width / 2),
                    std::to_string(c.y + c.height / 2), "click", "1"})
            .has_value();
    }

    // What the window program costs (figures, not checks).
    void print_figures(const char* kind, std::optional<Clock::duration> answer) {
        auto ms = [](Clock::duration d) {
            return static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
        };
        const auto which = std::string(kind) == "pairing" ? wl::WindowKind::Pairing
                           : std::string(kind) == "check" ? wl::WindowKind::Check
                                                          : wl::WindowKind::Mapping;
        auto drawn = app::first_drawn_after(*windows_, which);
        for (const auto until = Clock::now() + 5s; !drawn && Clock::now() < until;) {
            std::this_thread::sleep_for(20ms);
            drawn = app::first_drawn_after(*windows_, which);
        }
        std::printf("%s window: first drawn %lld ms after its start%s, RSS %ld KiB\n", kind,
                    drawn ? ms(*drawn) : -1LL,
                    answer ? (", code on screen after " + std::to_string(ms(*answer)) + " ms").c_str() : "",
                    window_program_rss_kib().value_or(-1));
    }

    static inline Xvfb* xvfb_ = nullptr;
    static inline std::string missing_;
    std::unique_ptr<app::DesktopWindows> windows_;
    std::atomic<int> trayRefreshes_{0};
};

TEST_F(LinuxWindows, PairingWindowShowsTheLinkAsAQrCodeThatPairsAndClosesOnThePairing) {
    const auto opened = Clock::now();
    windows_->open_pairing();
    const auto code = active_code();
    ASSERT_TRUE(code) << "opening the window opens a pairing code";
    std::string link;
    {
        HostLock lock(state());
        link = protocol::pairing_link(state().identity, state().info, host_->network->get(), *code);
    }
    const auto drawn = texts_when(wl::WindowKind::Pairing, [&](const wl::Texts& t) {
        return shows_text(t, pairing_flyout::display_code(*code));
    });
    ASSERT_TRUE(drawn) << "the window shows the code";
    const auto firstAnswer = Clock::now() - opened;
    EXPECT_TRUE(shows_text(*drawn, "Pair New Device"));
    const auto offer = protocol::link_endpoint(host_->network->get().lan, port());
    EXPECT_TRUE(shows_text(*drawn, pairing_flyout::lan_line(offer)));
    EXPECT_TRUE(shows_text(*drawn, pairing_flyout::tailscale_line(protocol::link_endpoint(
                                       host_->network->get().tailscale, port()))));

    // What a phone's camera reads from the screen.
    const fs::path shot = dir_ / "screen.png";
    std::string read;
    for (const auto until = Clock::now() + 10s; Clock::now() < until && read != link;) {
        if (run({"import", "-window", "root", shot.string()}))
            read = trimmed(run({"zbarimg", "-q", "--raw", shot.string()}).value_or(""));
        if (read != link) std::this_thread::sleep_for(100ms);
    }
    EXPECT_EQ(read, link);
    print_figures("pairing", firstAnswer);

    // A phone pairs with the code it read; the host's DevicePaired closes the window.
    const auto at = read.find("code=");
    ASSERT_NE(at, std::string::npos) << read;
    TestClient phone(ClientIdentity::generate("Camera Phone"));
    ASSERT_TRUE(phone.connect(port()));
    const auto paired = phone.pair(read.substr(at + 5, 6));
    ASSERT_TRUE(paired.ok()) << paired.detail;
    ASSERT_TRUE(wait_event(HostEventKind::DevicePaired, "Camera Phone"));
    for (const auto& e : events()) windows_->host_event(e);
    EXPECT_TRUE(closed(wl::WindowKind::Pairing));
}

TEST_F(LinuxWindows, OpeningThePairingWindowAgainReplacesTheCodeAndClosingItWithdrawsIt) {
    windows_->open_pairing();
    const auto first = active_code();
    ASSERT_TRUE(first);
    ASSERT_TRUE(texts_when(wl::WindowKind::Pairing,
                           [&](const wl::Texts& t) { return shows_text(t, pairing_flyout::display_code(*first)); }));
    windows_->open_pairing();
    const auto second = active_code();
    ASSERT_TRUE(second);
    EXPECT_TRUE(texts_when(wl::WindowKind::Pairing,
                           [&](const wl::Texts& t) { return shows_text(t, pairing_flyout::display_code(*second)); }))
        << "the open window shows the new code";

    // Escape closes the window; the host withdraws the code when the program ends.
    ASSERT_TRUE(run({"xdotool", "search", "--sync", "--onlyvisible", "--name", "Pair New Device", "windowfocus",
                     "--sync"}));
    ASSERT_TRUE(run({"xdotool", "key", "Escape"}));
    EXPECT_TRUE(closed(wl::WindowKind::Pairing));
    for (const auto until = Clock::now() + 5s; Clock::now() < until && active_code();)
        std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(active_code());
}

TEST_F(LinuxWindows, CheckWindowShowsTheFindingsTheHostGathers) {
    windows_->open_connection_check();
    auto firewall = platform::make_firewall();
    auto networks = platform::make_network_list();
    const auto expected = cc::evaluate(cc::gather_facts(
        *system_, firewall.get(), networks.get(), host_->advertState ? host_->advertState() : discovery::AdvertState::Off,
        port(), "/usr/bin/hearthpad"));
    ASSERT_EQ(expected.size(), cc::kFindingIds.size());
    const auto texts = texts_when(wl::WindowKind::Check, [&](const wl::Texts& t) {
        const auto* row = control(t, cc::row_text_id(0));
        return row && row->visible && row->text == expected[0].text;
    });
    if (!texts) {
        if (const auto now = app::window_texts(*windows_, wl::WindowKind::Check, 2s))
            for (const auto& c : now->controls) std::printf("  %d %s\n", c.id, c.text.c_str());
        std::printf("expected: %s\n", expected[0].text.c_str());
    }
    ASSERT_TRUE(texts) << "the rows show the findings";
    for (int r = 0; r < cc::kRowCount; ++r) {
        const auto& f = expected[static_cast<std::size_t>(r)];
        const auto* state = control(*texts, cc::row_state_id(r));
        const auto* text = control(*texts, cc::row_text_id(r));
        ASSERT_TRUE(state && text) << r;
        EXPECT_EQ(state->text, cc::state_label(f.state)) << f.id;
        EXPECT_EQ(text->text, f.text) << f.id;
        const auto* fix = control(*texts, cc::row_fix_id(r));
        ASSERT_TRUE(fix);
        EXPECT_EQ(fix->visible, f.fix != cc::FindingFix::None) << f.id;
    }
    const auto* again = control(*texts, cc::kCheckAgainId);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->text, "Check Again");
    EXPECT_TRUE(again->enabled);
    print_figures("check", std::nullopt);

    // A second open raises the same window: still one program.
    windows_->open_connection_check();
    EXPECT_TRUE(app::window_texts(*windows_, wl::WindowKind::Check, 2s));
}

TEST_F(LinuxWindows, MappingWindowSavesItsChangeThroughTheHostAndIgnoresInjectedKeys) {
    const std::string title(ui::kWindowTitle);
    windows_->open_mapping();
    const int invertId = ui::kRightStickBase + ui::kStickInvert;
    auto texts = texts_when(wl::WindowKind::Mapping, [&](const wl::Texts& t) {
        const auto* c = control(t, invertId);
        return c && c->visible && c->width > 0;
    });
    ASSERT_TRUE(texts);
    print_figures("mapping", std::nullopt);
    const auto* save = control(*texts, ui::kSaveId);
    ASSERT_TRUE(save);
    EXPECT_FALSE(save->enabled) << "nothing to save yet";

    // Keys sent by a program are not taken as a binding.
    const auto* change = control(*texts, ui::row_change_id(0));
    ASSERT_TRUE(change);
    ASSERT_TRUE(click(title, *change));
    ASSERT_TRUE(texts_when(wl::WindowKind::Mapping, [&](const wl::Texts& t) {
        return control(t, ui::row_change_id(0))->text == ui::kPressAKeyText;
    }));
    ASSERT_TRUE(run({"xdotool", "key", "k"}));
    std::this_thread::sleep_for(300ms);
    texts = app::window_texts(*windows_, wl::WindowKind::Mapping, 2s);
    ASSERT_TRUE(texts);
    EXPECT_EQ(control(*texts, ui::row_change_id(0))->text, ui::kPressAKeyText);
    EXPECT_EQ(control(*texts, ui::row_value_id(0))->text, "Space") << "the A row keeps its binding";
    ASSERT_TRUE(click(title, *control(*texts, ui::row_change_id(0))));  // capture off again

    // Invert Y of the right stick, then Save.
    ASSERT_TRUE(click(title, *control(*texts, invertId)));
    texts = texts_when(wl::WindowKind::Mapping, [&](const wl::Texts& t) { return control(t, ui::kSaveId)->enabled; });
    ASSERT_TRUE(texts) << "the change enables Save";
    EXPECT_TRUE(shows_text(*texts, "Custom"));
    ASSERT_TRUE(click(title, *control(*texts, ui::kSaveId)));

    auto expected = pad_mapping::defaultMapping();
    expected.rightStick.invertY = true;
    expected.preset = pad_mapping::Preset::Custom;
    const fs::path file = host_->dataDir / pad_mapping::kMappingFileName;
    for (const auto until = Clock::now() + 10s; Clock::now() < until && !fs::exists(file);)
        std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(fs::exists(file)) << "Save writes the mapping through the host";
    EXPECT_EQ(pad_mapping::load_mapping(host_->dataDir), expected);
    EXPECT_EQ(host_ops::current_mapping(state(), *host_->gamepad), expected);
    EXPECT_GE(trayRefreshes_.load(), 1);
    EXPECT_TRUE(texts_when(wl::WindowKind::Mapping, [&](const wl::Texts& t) { return !control(t, ui::kSaveId)->enabled; }))
        << "saved: nothing left to save";

    // The tray picks a preset: the open window without edits shows it at once.
    (void)host_ops::apply_preset(state(), *host_->gamepad, host_->dataDir, 1);
    windows_->mapping_changed();
    EXPECT_TRUE(texts_when(wl::WindowKind::Mapping, [&](const wl::Texts& t) {
        return shows_text(t, ui::preset_choices()[1]) && !control(t, ui::kSaveId)->enabled;
    }));
}


// Window programs that misbehave, without a display: the host ends them,
// reaps them and withdraws the pairing code they were showing.
class WindowProgramFaults : public HostFixture {
protected:
    void SetUp() override { start(); }
    void TearDown() override {
        windows_.reset();
        HostFixture::TearDown();
    }

    fs::path script(const std::string& name, const std::string& body) {
        const fs::path file = dir_ / name;
        std::ofstream(file) << "#!/bin/sh\n" << body << "\n";
        fs::permissions(file, fs::perms::owner_all);
        return file;
    }

    void use(const fs::path& program) {
        app::DesktopWindowsContext context;
        context.host = host_.get();
        context.system = system_;
        context.windowsProgram = program;
        context.hostProgram = "/usr/bin/hearthpad";
        windows_ = app::make_desktop_windows(std::move(context));
    }

    bool code_withdrawn(std::chrono::milliseconds limit) {
        const auto until = Clock::now() + limit;
        for (;;) {
            {
                HostLock lock(state());
                if (!state().pairing.code) return true;
            }
            if (Clock::now() >= until) return false;
            std::this_thread::sleep_for(20ms);
        }
    }

    std::unique_ptr<app::DesktopWindows> windows_;
};

TEST_F(WindowProgramFaults, AProgramThatBreaksTheLinkIsEndedAndItsCodeWithdrawn) {
    struct Case {
        const char* name;
        std::string body;
    };
    const std::vector<Case> cases = {
        // Keeps running after its bad line: killed once the grace is over.
        {"not_json", "echo 'hello' >&3; exec sleep 30"},
        {"unknown_message", "echo '{\"t\":\"explode\"}' >&3; exec sleep 30"},
        {"line_without_end", "head -c 70000 /dev/zero | tr '\\0' x >&3; exec sleep 30"},
        {"ends_at_once", "exit 3"},
    };
    for (const Case& c : cases) {
        use(script(c.name, c.body));
        windows_->open_pairing();
        EXPECT_TRUE(code_withdrawn(10s)) << c.name;
        windows_.reset();  // nothing left to wait for
        EXPECT_FALSE(window_program_rss_kib()) << c.name;
    }
    // No program at all: the code goes at once.
    use(dir_ / "missing-program");
    windows_->open_pairing();
    EXPECT_TRUE(code_withdrawn(0ms));
}

}  // namespace
}  // namespace hp::test
