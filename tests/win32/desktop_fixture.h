#pragma once
// A tray over a real host for the Windows desktop tests: the host on
// loopback (any free port, a temporary data directory), the tray window with
// its state, fakes for the start-at-login seams and hooks that count the
// maintenance commands; and a message pump for the test's thread.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/win32_tray.h"
#include "platform/elevation.h"
#include "platform/fake/fake_process_runner.h"
#include "platform/fake/fake_user_registry.h"
#include "platform/win32/platform_services.h"
#include "platform/win32/win32_system.h"
#include "support/test_client.h"
#include "update/check.h"

namespace hp::app::testing_desktop {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Dispatches this thread's messages until `done` holds or `limit` passes.
inline bool pump_until(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
    const auto until = std::chrono::steady_clock::now() + limit;
    for (;;) {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            if (m.message == WM_QUIT) continue;  // the tray's exit; the test goes on
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= until) return false;
        Sleep(10);
    }
}

inline void pump_for(std::chrono::milliseconds time) {
    (void)pump_until([] { return false; }, time);
}

// Records each elevated start instead of prompting; the program "ran" and
// exited 0.
class RecordingElevatedRunner : public platform::ElevatedRunner {
public:
    struct Call {
        std::string program;
        std::vector<std::string> args;
        std::uintptr_t owner = 0;  // the consent prompt's window
    };
    Result<platform::ElevatedOutcome> run_elevated_and_wait(const std::string& program,
                                                            const std::vector<std::string>& args,
                                                            std::uintptr_t owner) override {
        std::lock_guard lock(mutex_);
        calls_.push_back({program, args, owner});
        return platform::ElevatedOutcome{};
    }
    std::vector<Call> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Call> calls_;
};


// A real host on loopback (any free port, a temporary data directory) with
// the tray window, its state and fakes for the start-at-login seams and the
// maintenance commands.
class TrayFixture : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("hp-desktop-" + std::to_string(GetCurrentProcessId()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::error_code ec;
        fs::remove_all(dir_, ec);
        fs::create_directories(dir_);
        SetEnvironmentVariableW(L"RC_DATA_DIR", (dir_ / "data").wstring().c_str());
        SetEnvironmentVariableW(L"LOCALAPPDATA", (dir_ / "local").wstring().c_str());

        WNDCLASSW wc{};
        wc.lpfnWndProc = tray_window_proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kTrayWindowClass;
        (void)RegisterClassW(&wc);
        tray_.instance = wc.hInstance;
        tray_.window = CreateWindowExW(WS_EX_TOOLWINDOW, kTrayWindowClass, kAppCaption, WS_POPUP, 0, 0, 0, 0,
                                       nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_TRUE(tray_.window);
        tray_.windowRef = std::make_shared<std::atomic<HWND>>(tray_.window);
        tray_.taskbarCreatedMessage = RegisterWindowMessageW(L"TaskbarCreated");

        platform::use_system_random();
        main::StartOptions o;
        o.system = platform::make_win32_system();
        o.platform = platform::make_win32_platform_services();
        o.processes = std::make_shared<fake::FakeProcessRunner>();  // no Tailscale command line
        o.notifyTray = make_notify_tray(tray_.windowRef);
        o.refreshTray = make_refresh_tray(tray_.windowRef);
        o.ports = server::PortRange{0, 0};
        auto host = main::start_host(std::move(o));
        ASSERT_TRUE(host) << host.error().text;
        tray_.host = std::move(*host);
        tray_.dataDir = tray_.host->dataDir;

        tray_.services.registry = registry_;
        tray_.services.startAtLogin = std::make_shared<startup::StartAtLogin>(startup::StartAtLoginOptions{
            registry_, runner_, elevated_, "C:\\Apps\\Hearthpad\\hearthpad.exe", [this] { return now_; }});
        // The manual check as the update module starts it: on a thread of its
        // own that holds the process's one update-check flag.
        tray_.services.manualUpdateCheck = [this] {
            auto claim = update::RunningCheck::try_claim();
            if (!claim) return;
            std::thread([this, claim = std::move(*claim)] {
                std::unique_lock lock(mutex_);
                ++updateChecks_;
                cv_.wait(lock, [this] { return releaseUpdate_; });
            }).detach();
        };
        add_tray_icon(tray_);
        attach_tray_state(tray_);
    }

    void TearDown() override {
        {
            std::lock_guard lock(mutex_);
            releaseUpdate_ = true;
        }
        cv_.notify_all();
        if (tray_.window && IsWindow(tray_.window)) DestroyWindow(tray_.window);
        pump_for(50ms);
        tray_.pairing.reset();
        tray_.host.reset();
        destroy_tray_icons(tray_);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    host::HostState& state() { return *tray_.host->state; }
    std::uint16_t port() const { return tray_.host->tcpPort; }

    std::optional<std::string> active_code() {
        host::HostLock lock(state());
        return state().pairing.code;
    }

    // A client paired with a fresh code, its session then closed.
    void pair_device(const std::string& name) {
        test::TestClient client(test::ClientIdentity::generate(name));
        ASSERT_TRUE(client.connect(port()));
        const auto offer = host_ops::open_pairing_code(state(), *tray_.host->network);
        const auto result = client.pair(offer.code);
        ASSERT_TRUE(result.ok()) << result.detail;
    }

    tray::Menu menu() { return tray::build_menu(tray_view(tray_)); }
    void dispatch(unsigned id) { dispatch_tray_command(tray_, menu(), id); }

    fs::path dir_;
    TrayState tray_;
    std::shared_ptr<fake::FakeUserRegistry> registry_ = std::make_shared<fake::FakeUserRegistry>();
    std::shared_ptr<fake::FakeProcessRunner> runner_ = std::make_shared<fake::FakeProcessRunner>();
    std::shared_ptr<RecordingElevatedRunner> elevated_ = std::make_shared<RecordingElevatedRunner>();
    Instant now_ = Instant(std::chrono::hours(1));
    std::mutex mutex_;
    std::condition_variable cv_;
    int updateChecks_ = 0;
    bool releaseUpdate_ = false;
};

}  // namespace hp::app::testing_desktop
