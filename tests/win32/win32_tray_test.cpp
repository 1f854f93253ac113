// The tray against the real user32 under Wine, with a real host on
// loopback: the popup menu read back item by item, the icon record and its
// theme, and every command id dispatched.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "app/win32_text.h"
#include "app/win32_tray_menu.h"
#include "pad_mapping/mapping_file.h"
#include "win32/desktop_fixture.h"

namespace hp::app {
namespace {

using namespace testing_desktop;
using tray::MenuItem;

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

// A name with "&" is shown as it is: the menu holds it doubled, or the
// ampersand would vanish and underline the next letter.
TEST(TrayPopupMenu, AmpersandsInNamesAreDoubled) {
    tray::TrayView view;
    view.hostName = "R&D PC";
    view.host.devices = {{"a", "Tom & Jerry", true}};
    UniqueMenu menu = build_popup_menu(tray::build_menu(view).items);
    const auto back = read_menu(menu.get());
    EXPECT_EQ(back[0].text, "Hearthpad \xE2\x80\x94 R&&D PC");
    ASSERT_EQ(back[6].items.size(), 1u);
    EXPECT_EQ(back[6].items[0].text, "Tom && Jerry (Online)");
}

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
    ASSERT_TRUE(client.pair(host_ops::open_pairing_code(state(), *tray_.host->network).code).ok());
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

// A process runner whose program runs until the test lets it end (exit 1).
class BlockingRunner : public platform::ProcessRunner {
public:
    Result<platform::ProcessOutcome> run(const platform::ProcessRequest&) override {
        started = true;
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return released_; });
        return platform::ProcessOutcome{1, {}, false};
    }
    void release() {
        {
            std::lock_guard lock(mutex_);
            released_ = true;
        }
        cv_.notify_all();
    }
    ~BlockingRunner() override { release(); }
    std::atomic<bool> started{false};

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool released_ = false;
};

TEST_F(TrayCommands, StartEntryFollowsTheCheckMarkAsShown) {
    dispatch(tray::kIdStartOnLogin);
    EXPECT_TRUE(tray_.services.startAtLogin->start_entry_enabled());
    EXPECT_TRUE(menu().items[12].checked);
    dispatch(tray::kIdStartOnLogin);
    EXPECT_FALSE(tray_.services.startAtLogin->start_entry_enabled());
}

TEST_F(TrayCommands, ElevatedTaskIsToggledAndFallsBackToTheElevationPrompt) {
    // The answer is asked for on a worker when the tray is attached (no
    // program answers there: no task).
    ASSERT_TRUE(pump_until([&] { return !tray_.services.taskAnswer->asking.load(); }));
    EXPECT_FALSE(menu().items[13].checked);
    ASSERT_TRUE(pump_until([&] { return !tray_.services.taskAnswer->asking.load(); }));
    runner_->push(platform::ProcessOutcome{1, {}, false});  // /Create: not allowed
    dispatch_tray_command(tray_, tray::build_menu(tray_view(tray_)), tray::kIdRunElevated);
    EXPECT_TRUE(menu().items[13].checked);  // shown at once, while schtasks.exe runs on a worker
    ASSERT_TRUE(pump_until([&] { return elevated_->calls().size() == 1; }));
    const auto requests = runner_->requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests.back().args[0], "/Create");
    ASSERT_EQ(elevated_->calls().size(), 1u);
    EXPECT_EQ(elevated_->calls()[0].program, "schtasks.exe");  // as the fake runner locates it
    EXPECT_EQ(elevated_->calls()[0].args, requests.back().args);
    // The consent prompt belongs to the tray window, so it comes up in front.
    EXPECT_EQ(elevated_->calls()[0].owner, reinterpret_cast<std::uintptr_t>(tray_.window));
    EXPECT_TRUE(menu().items[13].checked);  // shown at once, asked again 5 s later
}

// schtasks.exe can take seconds: the menu shows the last answer and never
// waits for the program on the window's thread.
TEST_F(TrayCommands, TheMenuDoesNotWaitForTheTaskQuery) {
    ASSERT_TRUE(pump_until([&] { return !tray_.services.taskAnswer->asking.load(); }));
    now_ += std::chrono::minutes(2);  // the cached answer is stale: the next menu asks again
    auto slow = std::make_shared<BlockingRunner>();
    tray_.services.startAtLogin = std::make_shared<startup::StartAtLogin>(startup::StartAtLoginOptions{
        registry_, slow, elevated_, "C:\\Apps\\Hearthpad\\hearthpad.exe", [this] { return now_; }});
    tray_.services.taskAnswer->set(true);
    EXPECT_TRUE(menu().items[13].checked);  // the last answer, while the query blocks
    EXPECT_TRUE(pump_until([&] { return slow->started.load(); }));
    slow->release();
    EXPECT_TRUE(pump_until([&] { return tray_.services.taskAnswer->known() == 0; }));
    EXPECT_FALSE(menu().items[13].checked);
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
    ASSERT_TRUE(pump_until([] { return !update::update_check_running(); }));
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
    host_ops::remove_device(state(), shown.deviceIds[0]);  // the list changes under the open menu
    dispatch_tray_command(tray_, shown, tray::kIdRemoveDevice + 1);
    const auto left = host_ops::list_devices(state());
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].clientId, shown.deviceIds[2]);
    // An id past the list at the time does nothing.
    dispatch_tray_command(tray_, shown, tray::kIdRemoveDevice + 3);
    EXPECT_EQ(host_ops::list_devices(state()).size(), 1u);
}

TEST_F(TrayCommands, PresetsAndOutputsAreInstalledSavedAndHandedToTheMappingWindow) {
    dispatch(tray::kIdMappingWindow);
    ASSERT_TRUE(tray_.mapping && tray_.mapping->editor());
    dispatch(tray::kIdPreset + 2);
    auto now = host_ops::current_mapping(state(), *tray_.host->gamepad);
    EXPECT_EQ(now.preset, pad_mapping::Preset::MouseOnly);
    EXPECT_EQ(pad_mapping::load_mapping(tray_.dataDir), now);
    dispatch(tray::kIdOutputMapping);
    EXPECT_TRUE(host_ops::current_mapping(state(), *tray_.host->gamepad).useMapping);
    dispatch(tray::kIdOutputVirtualPad);
    now = host_ops::current_mapping(state(), *tray_.host->gamepad);
    EXPECT_FALSE(now.useMapping);
    EXPECT_EQ(now.preset, pad_mapping::Preset::MouseOnly);
    EXPECT_EQ(pad_mapping::load_mapping(tray_.dataDir), now);
    // The open window had no edits: it shows each mapping as it comes.
    EXPECT_EQ(tray_.mapping->editor()->working(), now);
    EXPECT_EQ(tray_.mapping->editor()->saved(), now);
    // Under Wine there is no ViGEmBus: the menu offers only the mapping, checked.
    const auto gamepad = menu().items[9].items;
    EXPECT_TRUE(gamepad[0].grayed);
    EXPECT_TRUE(gamepad[1].checked);
}

TEST_F(TrayCommands, MappingWindowAndIdsWithoutACommand) {
    dispatch(tray::kIdMappingWindow);
    ASSERT_TRUE(tray_.mapping);
    HWND opened = tray_.mapping->window();
    ASSERT_TRUE(opened);
    const auto before = host_ops::current_mapping(state(), *tray_.host->gamepad);
    for (unsigned id : {0u, 1005u, 2000u, 3004u, 3103u}) dispatch(id);
    EXPECT_EQ(host_ops::current_mapping(state(), *tray_.host->gamepad), before);
    // Choosing it again brings back the same window.
    dispatch(tray::kIdMappingWindow);
    EXPECT_EQ(tray_.mapping->window(), opened);
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

}  // namespace
}  // namespace hp::app
