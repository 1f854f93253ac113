// The tray and the pairing window against the real user32/gdi32 under Wine,
// with a real host on loopback: the popup menu read back item by item, every
// command id dispatched, the pairing window's place, pixels and QR code (read
// back by an independent decoder, zbarimg), pairing from the code in that
// QR code, and the ways the window closes and withdraws its code.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/win32_text.h"
#include "app/win32_tray.h"
#include "app/win32_tray_menu.h"
#include "pad_mapping/mapping_file.h"
#include "pairing_flyout/flyout_layout.h"
#include "platform/fake/fake_process_runner.h"
#include "platform/fake/fake_user_registry.h"
#include "platform/fake/recording_shell_launcher.h"
#include "platform/process_runner.h"
#include "platform/win32/platform_services.h"
#include "platform/win32/win32_system.h"
#include "support/test_client.h"

namespace hp::app {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using tray::MenuItem;

// Dispatches this thread's messages until `done` holds or `limit` passes.
bool pump_until(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
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

void pump_for(std::chrono::milliseconds time) {
    (void)pump_until([] { return false; }, time);
}

// ------------------------------------------------------------ menu read-back

std::vector<MenuItem> read_menu(HMENU menu) {
    std::vector<MenuItem> items;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[512] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 511;
        EXPECT_TRUE(GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info)) << "item " << i;
        MenuItem item;
        if (info.fType & MFT_SEPARATOR) {
            item.kind = MenuItem::Kind::Separator;
        } else if (info.hSubMenu) {
            item.kind = MenuItem::Kind::Submenu;
            item.text = narrow(text);
            item.items = read_menu(info.hSubMenu);
        } else {
            item.text = narrow(text);
            item.id = info.wID;
            item.grayed = (info.fState & MFS_GRAYED) != 0;
            item.checked = (info.fState & MFS_CHECKED) != 0;
        }
        items.push_back(std::move(item));
    }
    return items;
}

TEST(TrayPopupMenu, ReadBackItemByItemItEqualsTheModel) {
    tray::TrayView view;
    view.hostName = "DESKTOP-\xC3\x9C";
    view.network.lan = {*IpAddress::parse("192.168.7.2")};
    view.host.controllingDevice = "Pixel";
    view.host.controllerOn = true;
    view.host.devices = {{"a", "Pixel", true}, {"b", "iPad", false}, {"c", "Tab \xE2\x80\x94 2", false}};
    view.host.mapping = pad_mapping::applyPreset(pad_mapping::defaultMapping(), 1);
    view.host.mapping.preset = pad_mapping::Preset::Custom;
    view.vigemFound = true;
    view.startEntryEnabled = true;
    view.elevatedTaskExists = true;
    for (const bool vigem : {true, false}) {
        view.vigemFound = vigem;
        const tray::Menu model = tray::build_menu(view);
        UniqueMenu menu = build_popup_menu(model.items);
        ASSERT_TRUE(menu);
        const auto back = read_menu(menu.get());
        ASSERT_EQ(back.size(), model.items.size());
        for (std::size_t i = 0; i < back.size(); ++i) EXPECT_EQ(back[i], model.items[i]) << "item " << i + 1;
    }
    // No devices: the one grey item.
    view.host.devices.clear();
    UniqueMenu empty = build_popup_menu(tray::build_menu(view).items);
    EXPECT_EQ(read_menu(empty.get())[6].items, (std::vector<MenuItem>{{MenuItem::Kind::Command, "No Paired Devices", 0,
                                                                       true, false, {}}}));
}

// ------------------------------------------------------ a tray over a host

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
            registry_, runner_, shell_, "C:\\Apps\\Hearthpad\\hearthpad.exe", [this] { return now_; }});
        tray_.services.manualUpdateCheck = [this] {
            std::unique_lock lock(mutex_);
            ++updateChecks_;
            cv_.wait(lock, [this] { return releaseUpdate_; });
        };
        tray_.services.openMappingWindow = [this] { ++mappingWindowOpened_; };
        tray_.services.mappingChanged = [this](const pad_mapping::PadMapping& m) { handedToWindow_.push_back(m); };
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
        const auto offer = server::open_pairing_code(state(), *tray_.host->network);
        const auto result = client.pair(offer.code);
        ASSERT_TRUE(result.ok()) << result.detail;
    }

    tray::Menu menu() { return tray::build_menu(tray_view(tray_)); }
    void dispatch(unsigned id) { dispatch_tray_command(tray_, menu(), id); }

    fs::path dir_;
    TrayState tray_;
    std::shared_ptr<fake::FakeUserRegistry> registry_ = std::make_shared<fake::FakeUserRegistry>();
    std::shared_ptr<fake::FakeProcessRunner> runner_ = std::make_shared<fake::FakeProcessRunner>();
    std::shared_ptr<fake::RecordingShellLauncher> shell_ = std::make_shared<fake::RecordingShellLauncher>();
    Instant now_ = Instant(std::chrono::hours(1));
    std::mutex mutex_;
    std::condition_variable cv_;
    int updateChecks_ = 0;
    bool releaseUpdate_ = false;
    int mappingWindowOpened_ = 0;
    std::vector<pad_mapping::PadMapping> handedToWindow_;
};

using TrayCommands = TrayFixture;

TEST_F(TrayCommands, TheIconRecordAndTheMenuOfARunningHost) {
    EXPECT_EQ(tray_.icon.cbSize, sizeof(NOTIFYICONDATAW));
    EXPECT_EQ(tray_.icon.hWnd, tray_.window);
    EXPECT_EQ(tray_.icon.uID, 1u);
    EXPECT_EQ(tray_.icon.uFlags, 0x87u);
    EXPECT_EQ(tray_.icon.uCallbackMessage, WM_APP + 1);
    EXPECT_EQ(std::wstring(tray_.icon.szTip), L"Hearthpad - Ready");
    // The test program has no icon resources: the program's own drawing.
    EXPECT_TRUE(tray_.icons.idleDrawn && tray_.icons.controlledDrawn);
    EXPECT_EQ(tray_.icon.hIcon, tray_.icons.idleDark.get());

    const tray::Menu model = menu();
    UniqueMenu popup = build_popup_menu(model.items);
    EXPECT_EQ(read_menu(popup.get()), model.items);
    EXPECT_EQ(model.items[0].text, "Hearthpad \xE2\x80\x94 " + tray_.host->hostName);
}

TEST_F(TrayCommands, IconAndTooltipFollowTheDeviceInControl) {
    test::TestClient client(test::ClientIdentity::generate("Pixel 8"));
    ASSERT_TRUE(client.connect(port()));
    ASSERT_TRUE(client.pair(server::open_pairing_code(state(), *tray_.host->network).code).ok());
    // A pointer move takes control; the host's event refreshes the icon.
    Bytes move{1, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_TRUE(client.send_secure(test::frame_type::InputCommand, move));
    EXPECT_TRUE(pump_until([&] { return std::wstring(tray_.icon.szTip) == L"Hearthpad - Controlled by Pixel 8"; }));
    EXPECT_EQ(tray_.icon.hIcon, tray_.icons.controlledDark.get());
    ASSERT_TRUE(client.send_secure(test::frame_type::ControllerState, std::string_view("{\"enabled\":true}")));
    EXPECT_TRUE(pump_until([&] {
        return std::wstring(tray_.icon.szTip) == L"Hearthpad - Controlled by Pixel 8 (controller on)";
    }));
    client.close();
    EXPECT_TRUE(pump_until([&] { return std::wstring(tray_.icon.szTip) == L"Hearthpad - Ready"; }));
    EXPECT_EQ(tray_.icon.hIcon, tray_.icons.idleDark.get());
}

TEST_F(TrayCommands, ALightTaskbarUsesTheLightIconsOnlyWhenTheyExist) {
    const wchar_t kArea[] = L"ImmersiveColorSet";
    registry_->put_dword("Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                         "SystemUsesLightTheme", 1);
    SendMessageW(tray_.window, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"WindowMetrics"));
    EXPECT_FALSE(tray_.lightTheme);  // another area: not read again
    SendMessageW(tray_.window, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(kArea));
    EXPECT_TRUE(tray_.lightTheme);
    EXPECT_EQ(tray_.icon.hIcon, tray_.icons.idleDark.get());  // no light icons in the test program

    tray_.icons.idleLight = draw_fallback_icon(tray::IconRole::Idle, tray_icon_side());
    registry_->put_dword("Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                         "SystemUsesLightTheme", 0);
    SendMessageW(tray_.window, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(kArea));
    EXPECT_FALSE(tray_.lightTheme);
    registry_->put_dword("Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                         "SystemUsesLightTheme", 1);
    SendMessageW(tray_.window, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(kArea));
    EXPECT_EQ(tray_.icon.hIcon, tray_.icons.idleLight.get());

    // Explorer restarted: the icon is added again with the current state.
    ASSERT_NE(tray_.taskbarCreatedMessage, 0u);
    tray_.icon.hIcon = nullptr;
    SendMessageW(tray_.window, tray_.taskbarCreatedMessage, 0, 0);
    EXPECT_EQ(tray_.icon.hIcon, tray_.icons.idleLight.get());
    EXPECT_EQ(std::wstring(tray_.icon.szTip), L"Hearthpad - Ready");
}

TEST_F(TrayCommands, StartEntryFollowsTheCheckMarkAsShown) {
    dispatch(tray::kIdStartOnLogin);
    EXPECT_TRUE(tray_.services.startAtLogin->start_entry_enabled());
    EXPECT_TRUE(menu().items[11].checked);
    dispatch(tray::kIdStartOnLogin);
    EXPECT_FALSE(tray_.services.startAtLogin->start_entry_enabled());
}

TEST_F(TrayCommands, ElevatedTaskIsToggledAndFallsBackToTheElevationPrompt) {
    runner_->push(platform::ProcessOutcome{1, {}, false});  // /Query: no task
    EXPECT_FALSE(menu().items[12].checked);
    runner_->push(platform::ProcessOutcome{1, {}, false});  // /Create: not allowed
    dispatch_tray_command(tray_, tray::build_menu(tray_view(tray_)), tray::kIdRunElevated);
    const auto requests = runner_->requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests.back().args[0], "/Create");
    ASSERT_EQ(shell_->calls().size(), 1u);
    EXPECT_EQ(shell_->calls()[0].program, "schtasks.exe");
    EXPECT_TRUE(menu().items[12].checked);  // shown at once, asked again 5 s later
}

TEST_F(TrayCommands, UpdateCheckRunsOnceWhileOneIsRunning) {
    dispatch(tray::kIdCheckForUpdates);
    dispatch(tray::kIdCheckForUpdates);
    ASSERT_TRUE(pump_until([this] {
        std::lock_guard lock(mutex_);
        return updateChecks_ == 1;
    }));
    pump_for(100ms);
    {
        std::lock_guard lock(mutex_);
        EXPECT_EQ(updateChecks_, 1);
        releaseUpdate_ = true;
    }
    cv_.notify_all();
    ASSERT_TRUE(pump_until([this] { return !tray_.services.updateCheckRunning->load(); }));
    dispatch(tray::kIdCheckForUpdates);
    ASSERT_TRUE(pump_until([this] {
        std::lock_guard lock(mutex_);
        return updateChecks_ == 2;
    }));
}

TEST_F(TrayCommands, RemovingTheSecondOfThreeRemovesThatClientEvenAfterTheListChanged) {
    pair_device("A");
    pair_device("B");
    pair_device("C");
    const tray::Menu shown = menu();
    ASSERT_EQ(shown.deviceIds.size(), 3u);
    server::remove_device(state(), shown.deviceIds[0]);  // the list changes under the open menu
    dispatch_tray_command(tray_, shown, tray::kIdRemoveDevice + 1);
    const auto left = server::list_devices(state());
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].clientId, shown.deviceIds[2]);
    // An id past the list at the time does nothing.
    dispatch_tray_command(tray_, shown, tray::kIdRemoveDevice + 3);
    EXPECT_EQ(server::list_devices(state()).size(), 1u);
}

TEST_F(TrayCommands, PresetsAndOutputsAreInstalledSavedAndHandedToTheMappingWindow) {
    dispatch(tray::kIdPreset + 2);
    auto now = server::current_mapping(state(), *tray_.host->gamepad);
    EXPECT_EQ(now.preset, pad_mapping::Preset::MouseOnly);
    EXPECT_EQ(pad_mapping::load_mapping(tray_.dataDir), now);
    dispatch(tray::kIdOutputMapping);
    EXPECT_TRUE(server::current_mapping(state(), *tray_.host->gamepad).useMapping);
    dispatch(tray::kIdOutputVirtualPad);
    now = server::current_mapping(state(), *tray_.host->gamepad);
    EXPECT_FALSE(now.useMapping);
    EXPECT_EQ(now.preset, pad_mapping::Preset::MouseOnly);
    EXPECT_EQ(pad_mapping::load_mapping(tray_.dataDir), now);
    ASSERT_EQ(handedToWindow_.size(), 3u);
    EXPECT_EQ(handedToWindow_.back(), now);
    // Under Wine there is no ViGEmBus: the menu offers only the mapping, checked.
    const auto gamepad = menu().items[8].items;
    EXPECT_TRUE(gamepad[0].grayed);
    EXPECT_TRUE(gamepad[1].checked);
}

TEST_F(TrayCommands, MappingWindowAndIdsWithoutACommand) {
    dispatch(tray::kIdMappingWindow);
    EXPECT_EQ(mappingWindowOpened_, 1);
    const auto before = server::current_mapping(state(), *tray_.host->gamepad);
    for (unsigned id : {0u, 1005u, 2000u, 3004u, 3103u}) dispatch(id);
    EXPECT_EQ(server::current_mapping(state(), *tray_.host->gamepad), before);
    EXPECT_EQ(mappingWindowOpened_, 1);
    EXPECT_TRUE(IsWindow(tray_.window));
    EXPECT_EQ(registry_->writes(), 0);
}

TEST_F(TrayCommands, ExitDestroysTheTrayWindowAndQuits) {
    dispatch(tray::kIdExit);
    EXPECT_FALSE(IsWindow(tray_.window));
    MSG quit;
    EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(tray_.windowRef->load(), nullptr);
}

// ------------------------------------------------------------ pairing window

// The window's client area as the screen would show it, top row first.
struct Capture {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;  // 0x00RRGGBB
    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x] & 0xFFFFFF; }
};

Capture capture(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    Capture c;
    c.width = client.right;
    c.height = client.bottom;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = c.width;
    info.bmiHeader.biHeight = -c.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC windowDc = GetDC(window);
    HDC memory = CreateCompatibleDC(windowDc);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(windowDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, c.width, c.height, windowDc, 0, 0, SRCCOPY);
    GdiFlush();
    c.pixels.assign(static_cast<std::uint32_t*>(bits),
                    static_cast<std::uint32_t*>(bits) + static_cast<std::size_t>(c.width) * c.height);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, windowDc);
    return c;
}

// A 24-bit BMP file of the capture, for the decoder.
void save_bmp(const Capture& c, const fs::path& path) {
    const int stride = (c.width * 3 + 3) & ~3;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = c.width;
    info.biHeight = c.height;  // bottom-up
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(stride * c.height);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    std::vector<char> row(static_cast<std::size_t>(stride), 0);
    for (int y = c.height - 1; y >= 0; --y) {
        for (int x = 0; x < c.width; ++x) {
            const std::uint32_t p = c.at(x, y);
            row[x * 3] = static_cast<char>(p & 0xFF);
            row[x * 3 + 1] = static_cast<char>((p >> 8) & 0xFF);
            row[x * 3 + 2] = static_cast<char>((p >> 16) & 0xFF);
        }
        out.write(row.data(), stride);
    }
}

// zbarimg from the Linux side: Wine starts Unix programs by their Z: path,
// but hands back no process to wait for and does not connect them to
// Windows pipes, so the shell writes the text and then the exit status to
// files under /tmp (Z:\tmp) and the test waits for the status file.
// `name` is the image's file name under /tmp.
Result<std::string> decode_qr(const std::string& name) {
    const std::string base = "/tmp/" + name;
    const fs::path out = "Z:\\tmp\\" + name + ".out";
    const fs::path status = "Z:\\tmp\\" + name + ".exit";
    std::error_code ec;
    fs::remove(out, ec);
    fs::remove(status, ec);
    std::wstring command = widen("sh -c \"zbarimg -q --raw " + base + " > " + base + ".out 2>/dev/null; echo $? > " +
                                 base + ".exit.part && mv " + base + ".exit.part " + base + ".exit\"");
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(L"Z:\\bin\\sh", command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &si, &pi))
        return fail("cannot start /bin/sh: " + std::to_string(GetLastError()));
    if (pi.hThread) CloseHandle(pi.hThread);
    if (pi.hProcess) CloseHandle(pi.hProcess);
    const auto until = std::chrono::steady_clock::now() + 60s;
    while (!fs::exists(status, ec)) {
        if (std::chrono::steady_clock::now() >= until) return fail("zbarimg did not finish within 60 s");
        Sleep(50);
    }
    std::ifstream codeFile(status);
    int code = -1;
    codeFile >> code;
    std::ifstream in(out, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    codeFile.close();
    fs::remove(out, ec);
    fs::remove(status, ec);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (code != 0) return fail("zbarimg found no code (exit " + std::to_string(code) + ")");
    return text;
}

using PairingWindowTest = TrayFixture;

TEST_F(PairingWindowTest, OpensAtItsRectangleShowsAReadableQrCodeAndClosesWhenAClientPairs) {
    POINT cursor{};
    GetCursorPos(&cursor);
    dispatch(tray::kIdPairNewDevice);
    const PairingWindow::Shown* shown = tray_.pairing->shown();
    ASSERT_NE(shown, nullptr);
    HWND window = shown->window;
    ASSERT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(active_code(), shown->code);

    // Class, styles and title.
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    EXPECT_STREQ(name, L"HearthpadPairingFlyout");
    GetWindowTextW(window, name, 64);
    EXPECT_STREQ(name, L"Pair New Device");
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
    EXPECT_EQ(style & (WS_POPUP | WS_BORDER | WS_CAPTION), static_cast<DWORD>(WS_POPUP | WS_BORDER));
    EXPECT_EQ(exStyle & (WS_EX_TOPMOST | WS_EX_TOOLWINDOW), static_cast<DWORD>(WS_EX_TOPMOST | WS_EX_TOOLWINDOW));

    // The rectangle: from the icon's rectangle, or (as under Wine) the cursor.
    const int dpi = pairing_flyout::flyout_dpi(GetDpiForSystem());
    EXPECT_EQ(shown->dpi, dpi);
    NOTIFYICONIDENTIFIER id{sizeof id, tray_.window, 1, {}};
    RECT icon{};
    pairing_flyout::Rect anchor{cursor.x, cursor.y, cursor.x, cursor.y};
    if (SUCCEEDED(Shell_NotifyIconGetRect(&id, &icon))) anchor = {icon.left, icon.top, icon.right, icon.bottom};
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    const auto centre = pairing_flyout::anchor_centre(anchor);
    ASSERT_TRUE(GetMonitorInfoW(MonitorFromPoint({centre.x, centre.y}, MONITOR_DEFAULTTONEAREST), &monitor));
    const pairing_flyout::Rect expected = pairing_flyout::flyout_rect(
        dpi, anchor, {monitor.rcWork.left, monitor.rcWork.top, monitor.rcWork.right, monitor.rcWork.bottom});
    RECT actual{};
    GetWindowRect(window, &actual);
    EXPECT_EQ((pairing_flyout::Rect{actual.left, actual.top, actual.right, actual.bottom}), expected);

    // Painted: every pixel of the symbol's square is its module's colour,
    // k pixels a module, centred in the box.
    ASSERT_TRUE(shown->qr);
    const qr::Matrix& matrix = *shown->qr;
    EXPECT_EQ(matrix.side, qr::encode(shown->link)->side + 8);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    pump_for(200ms);
    const Capture shot = capture(window);
    const auto at = pairing_flyout::qr_placement(dpi, matrix.side);
    ASSERT_LE(at.x + at.size, shot.width);
    ASSERT_LE(at.y + at.size, shot.height);
    int wrong = 0;
    for (int y = 0; y < at.size; ++y)
        for (int x = 0; x < at.size; ++x) {
            const bool dark = matrix.dark(x / at.modulePixels, y / at.modulePixels);
            if (shot.at(at.x + x, at.y + y) != (dark ? 0x000000u : 0xFFFFFFu)) ++wrong;
        }
    EXPECT_EQ(wrong, 0) << "of " << at.size * at.size << " pixels";

    // An independent decoder reads the exact pairing link.
    const std::string image = "hp-pairing-" + std::to_string(GetCurrentProcessId()) + "-" +
                              std::to_string(GetTickCount64()) + ".bmp";
    save_bmp(shot, "Z:\\tmp\\" + image);
    const auto decoded = decode_qr(image);
    std::error_code ec;
    fs::remove("Z:\\tmp\\" + image, ec);
    ASSERT_TRUE(decoded) << decoded.error().text;
    EXPECT_EQ(*decoded, shown->link);

    // A client pairs with the code the link carries; the window then closes.
    const auto codeAt = decoded->find("&code=");
    ASSERT_NE(codeAt, std::string::npos);
    test::TestClient client(test::ClientIdentity::generate("Scanner"));
    ASSERT_TRUE(client.connect(port()));
    const auto paired = client.pair(decoded->substr(codeAt + 6));
    ASSERT_TRUE(paired.ok()) << paired.detail;
    EXPECT_TRUE(pump_until([&] { return !IsWindow(window); }));
    EXPECT_EQ(tray_.pairing->shown(), nullptr);
    EXPECT_FALSE(active_code());
}

TEST_F(PairingWindowTest, EscapeClosesItAndWithdrawsTheCodeOtherKeysAreSwallowed) {
    dispatch(tray::kIdPairNewDevice);
    HWND window = tray_.pairing->window();
    ASSERT_TRUE(window);
    const std::string code = tray_.pairing->shown()->code;
    PostMessageW(window, WM_KEYDOWN, 'A', 0);
    pump_for(100ms);
    EXPECT_TRUE(IsWindow(window));
    PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(pump_until([&] { return !IsWindow(window); }));
    EXPECT_FALSE(active_code());
    // A client that tries the code now is refused.
    test::TestClient client;
    ASSERT_TRUE(client.connect(port()));
    EXPECT_FALSE(client.pair(code).ok());
}

TEST_F(PairingWindowTest, LosingActivationClosesItAndWithdrawsTheCode) {
    dispatch(tray::kIdPairNewDevice);
    HWND window = tray_.pairing->window();
    ASSERT_TRUE(window);
    SetActiveWindow(window);
    pump_for(100ms);
    HWND other = CreateWindowExW(0, L"STATIC", L"elsewhere", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 600, 600, 200, 100,
                                 nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(other);
    SetActiveWindow(other);
    SetForegroundWindow(other);
    EXPECT_TRUE(pump_until([&] { return !IsWindow(window); }));
    EXPECT_FALSE(active_code());
    DestroyWindow(other);
}

TEST_F(PairingWindowTest, OpeningAgainReplacesTheWindowAndTheCodeAndTheRevokedEventClosesIt) {
    dispatch(tray::kIdPairNewDevice);
    HWND first = tray_.pairing->window();
    dispatch(tray::kIdPairNewDevice);
    HWND second = tray_.pairing->window();
    ASSERT_TRUE(second);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(active_code(), tray_.pairing->shown()->code);
    // The host withdrew the code (too many wrong tries): WM_HOST_EVENT 2.
    PostMessageW(tray_.window, WM_APP + 2, 2, 0);
    EXPECT_TRUE(pump_until([&] { return !IsWindow(second); }));
    // Exit closes an open window too.
    dispatch(tray::kIdPairNewDevice);
    HWND third = tray_.pairing->window();
    dispatch(tray::kIdExit);
    EXPECT_FALSE(IsWindow(third));
    EXPECT_FALSE(active_code());
}

}  // namespace
}  // namespace hp::app
