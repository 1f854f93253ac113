// The tray's icon, tooltip, menu and command decisions, from snapshots.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/utf8.h"
#include "tray/tray_model.h"

namespace hp::tray {
namespace {

using pad_mapping::Preset;
using Kind = MenuItem::Kind;

MenuItem cmd(std::string text, unsigned id, bool grayed = false, bool checked = false) {
    return MenuItem{Kind::Command, std::move(text), id, grayed, checked, {}};
}
MenuItem sep() { return MenuItem{Kind::Separator, {}, 0, false, false, {}}; }
MenuItem sub(std::string text, std::vector<MenuItem> items) {
    return MenuItem{Kind::Submenu, std::move(text), 0, false, false, std::move(items)};
}

host_ops::HostView controlled_by(std::string name, bool controllerOn) {
    host_ops::HostView v;
    v.controllingDevice = std::move(name);
    v.controllerOn = controllerOn;
    return v;
}

TEST(TrayTooltip, ReadyControlledAndControllerOn) {
    EXPECT_EQ(tooltip(host_ops::HostView{}), u"Hearthpad - Ready");
    EXPECT_EQ(tooltip(controlled_by("Pixel 8", false)), u"Hearthpad - Controlled by Pixel 8");
    EXPECT_EQ(tooltip(controlled_by("Pixel 8", true)), u"Hearthpad - Controlled by Pixel 8 (controller on)");
    EXPECT_EQ(tooltip(controlled_by("Ω-phone", false)), u"Hearthpad - Controlled by Ω-phone");
}

TEST(TrayTooltip, ALongDeviceNameIsCutTo127Units) {
    const std::string name(200, 'n');
    const std::u16string tip = tooltip(controlled_by(name, true));
    ASSERT_EQ(tip.size(), 127u);
    const std::u16string prefix = u"Hearthpad - Controlled by ";
    EXPECT_EQ(tip, prefix + std::u16string(127 - prefix.size(), u'n'));
    // Counted in UTF-16 units: a name of characters outside the BMP (two
    // units each) is cut at the same length.
    std::string emoji;
    for (int i = 0; i < 100; ++i) emoji += "\xF0\x9F\x8E\xAE";
    EXPECT_EQ(tooltip(controlled_by(emoji, false)).size(), 127u);
}

TEST(TrayIcon, ControlledExactlyWhenADeviceControls) {
    EXPECT_EQ(icon_role(host_ops::HostView{}), IconRole::Idle);
    EXPECT_EQ(icon_role(controlled_by("a", false)), IconRole::Controlled);
}

TrayView sample_view() {
    TrayView v;
    v.hostName = "DESKTOP-1";
    v.network.lan = {*IpAddress::parse("fe80::1"), *IpAddress::parse("192.168.1.20"),
                     *IpAddress::parse("10.0.0.5")};
    v.network.tailscale = {*IpAddress::parse("fd7a:115c:a1e0::1")};
    v.vigemFound = true;
    v.host.mapping = pad_mapping::defaultMapping();  // shooter, virtual pad
    return v;
}

TEST(TrayMenu, TheWholeMenuItemByItem) {
    TrayView v = sample_view();
    v.host.devices = {{"id-a", "Pixel", true}, {"id-b", "iPad", false}};
    v.host.controllingDevice = "Pixel";
    v.host.controllerOn = true;
    v.startEntryEnabled = true;
    const Menu menu = build_menu(v);
    const std::vector<MenuItem> expected = {
        cmd("Hearthpad \u2014 DESKTOP-1", 0, true),
        cmd("LAN: 192.168.1.20 \u00b7 Tailscale: fd7a:115c:a1e0::1", 0, true),
        cmd("Status: Controlled by Pixel", 0, true),
        cmd("Controller: On \u2014 virtual Xbox 360 attached", 0, true),
        sep(),
        cmd("Pair New Device\u2026", 1001),
        sub("Paired Devices", {sub("Pixel (Online)", {cmd("Remove Device", 2000)}),
                               sub("iPad (Offline)", {cmd("Remove Device", 2001)})}),
        cmd("Connection Check\u2026", 1005),
        sep(),
        sub("Gamepad output", {cmd("Virtual controller (ViGEmBus)", 3100, false, true),
                               cmd("Keyboard / mouse mapping", 3101, false, false), sep(),
                               cmd("Shooter (WASD + mouse look)", 3000, false, true),
                               cmd("Arrow keys / emulator", 3001), cmd("Mouse only (desktop)", 3002),
                               cmd("Twin stick (WASD + arrow keys)", 3003)}),
        cmd("Gamepad Mapping\u2026", 3102),
        sep(),
        cmd("Start on Windows Login", 1002, false, true),
        cmd("Run with Administrator Access (Control UAC/Admin Windows)", 1003, false, false),
        sep(),
        cmd("Check for Updates\u2026", 1004),
        cmd("Exit Hearthpad", 1099),
    };
    ASSERT_EQ(menu.items.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(menu.items[i], expected[i]) << "item " << i + 1;
    EXPECT_EQ(menu.deviceIds, (std::vector<std::string>{"id-a", "id-b"}));
}

TEST(TrayMenu, StatusAndControllerLines) {
    struct Case {
        bool controlled, switchOn, vigem, useMapping;
        const char* status;
        const char* controller;
    };
    const Case cases[] = {
        {false, false, true, false, "Status: Ready", "Controller: Off \u2014 no controller attached"},
        {true, false, true, false, "Status: Controlled by Tab", "Controller: Off \u2014 no controller attached"},
        {true, true, true, false, "Status: Controlled by Tab", "Controller: On \u2014 virtual Xbox 360 attached"},
        {true, true, true, true, "Status: Controlled by Tab", "Controller: On \u2014 mapped to keyboard / mouse"},
        {true, true, false, false, "Status: Controlled by Tab", "Controller: On \u2014 mapped to keyboard / mouse"},
    };
    for (const auto& c : cases) {
        TrayView v = sample_view();
        if (c.controlled) v.host.controllingDevice = "Tab";
        v.host.controllerOn = c.switchOn;
        v.vigemFound = c.vigem;
        v.host.mapping.useMapping = c.useMapping;
        const Menu menu = build_menu(v);
        EXPECT_EQ(menu.items[2].text, c.status);
        EXPECT_EQ(menu.items[3].text, c.controller);
    }
}

TEST(TrayMenu, AddressLinePrefersIPv4AndSaysNotConnectedForAnEmptyList) {
    discovery::NetworkSnapshot n;
    EXPECT_EQ(addresses_line(n), "LAN: Not connected \u00b7 Tailscale: Not connected");
    n.lan = {*IpAddress::parse("fe80::2"), *IpAddress::parse("fe80::3")};
    n.tailscale = {*IpAddress::parse("fd7a:115c:a1e0::9"), *IpAddress::parse("100.64.1.2")};
    EXPECT_EQ(addresses_line(n), "LAN: fe80::2 \u00b7 Tailscale: 100.64.1.2");
}

TEST(TrayMenu, NoPairedDevicesIsOneGreyItem) {
    const Menu menu = build_menu(sample_view());
    EXPECT_EQ(menu.items[6], sub("Paired Devices", {cmd("No Paired Devices", 0, true)}));
    EXPECT_TRUE(menu.deviceIds.empty());
}

TEST(TrayMenu, GamepadSubmenuWithoutViGEmBusAndWithACustomMapping) {
    TrayView v = sample_view();
    v.vigemFound = false;
    v.host.mapping.preset = Preset::Custom;
    v.host.mapping.useMapping = false;  // the file may ask for the pad; there is none
    const Menu menu = build_menu(v);
    EXPECT_EQ(menu.items[9],
              sub("Gamepad output", {cmd("Virtual controller (ViGEmBus driver not installed)", 0, true),
                                     cmd("Keyboard / mouse mapping", 3101, false, true), sep(),
                                     cmd("Shooter (WASD + mouse look)", 3000), cmd("Arrow keys / emulator", 3001),
                                     cmd("Mouse only (desktop)", 3002), cmd("Twin stick (WASD + arrow keys)", 3003),
                                     cmd("Custom", 0, true, true)}));
}

TEST(TrayMenu, GamepadSubmenuChecksTheMappingOutputAndThePreset) {
    TrayView v = sample_view();
    v.host.mapping = pad_mapping::applyPreset(v.host.mapping, 3);
    v.host.mapping.useMapping = true;
    const auto items = build_menu(v).items[9].items;
    ASSERT_EQ(items.size(), 7u);  // no "Custom"
    EXPECT_FALSE(items[0].checked);
    EXPECT_TRUE(items[1].checked);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(items[3 + i].checked, i == 3) << i;
}

class RecordingActions : public TrayActions {
public:
    std::vector<std::string> calls;
    void open_pairing_window() override { calls.push_back("pair"); }
    void set_start_entry(bool enable) override { calls.push_back(std::string("start ") + (enable ? "on" : "off")); }
    void toggle_elevated_task(bool exists) override {
        calls.push_back(std::string("task ") + (exists ? "exists" : "absent"));
    }
    void check_for_updates() override { calls.push_back("updates"); }
    void exit() override { calls.push_back("exit"); }
    void remove_device(const std::string& id) override { calls.push_back("remove " + id); }
    void apply_preset(std::uint8_t i) override { calls.push_back("preset " + std::to_string(i)); }
    void set_output(bool useMapping) override { calls.push_back(useMapping ? "output mapping" : "output pad"); }
    void open_mapping_window() override { calls.push_back("mapping window"); }
    void open_connection_check() override { calls.push_back("connection check"); }
};

TEST(TrayCommands, EveryIdDoesWhatTheTableSays) {
    TrayView v = sample_view();
    v.host.devices = {{"id-a", "A", false}, {"id-b", "B", true}, {"id-c", "C", false}};
    v.elevatedTaskExists = true;
    const Menu menu = build_menu(v);
    struct Case {
        unsigned id;
        const char* call;  // nullptr: nothing
    };
    const Case cases[] = {
        {1001, "pair"},        {1002, "start on"},        {1003, "task exists"},     {1004, "updates"},
        {1099, "exit"},        {2000, "remove id-a"},     {2002, "remove id-c"},     {2003, nullptr},
        {3000, "preset 0"},    {3003, "preset 3"},        {3004, nullptr},           {3100, "output pad"},
        {3101, "output mapping"}, {3102, "mapping window"}, {0, nullptr},          {1005, "connection check"},
        {1006, nullptr},
        {1999, nullptr},       {9999, nullptr},
    };
    for (const auto& c : cases) {
        RecordingActions actions;
        run_command(command_for(c.id, menu), actions);
        if (c.call) {
            EXPECT_EQ(actions.calls, std::vector<std::string>{c.call}) << c.id;
        } else {
            EXPECT_TRUE(actions.calls.empty()) << c.id;
        }
    }
}

TEST(TrayCommands, StartEntryAndTaskFollowTheCheckMarksAsShown) {
    TrayView v = sample_view();
    v.startEntryEnabled = true;
    v.elevatedTaskExists = false;
    const Menu menu = build_menu(v);
    EXPECT_FALSE(command_for(1002, menu).enable);
    EXPECT_FALSE(command_for(1003, menu).currentlyExists);
}

// A desktop without an elevated mode (Linux): the item is gone, its id does
// nothing, the start entry carries that desktop's own text, and every other
// item stays where the Windows menu has it.
TEST(TrayMenu, WithoutTheElevatedItem) {
    TrayView windows = sample_view();
    windows.elevatedTaskExists = true;
    TrayView linux = windows;
    linux.elevatedItem = false;
    linux.startEntryText = "Start on Login";
    linux.startEntryEnabled = true;
    const Menu w = build_menu(windows);
    const Menu l = build_menu(linux);
    ASSERT_EQ(l.items.size() + 1, w.items.size());
    std::size_t j = 0;
    for (const auto& item : w.items) {
        if (item.id == kIdRunElevated) continue;
        if (item.id == kIdStartOnLogin) {
            EXPECT_EQ(l.items[j], cmd("Start on Login", 1002, false, true));
        } else {
            EXPECT_EQ(l.items[j], item) << "item " << j + 1;
        }
        ++j;
    }
    RecordingActions actions;
    run_command(command_for(kIdRunElevated, l), actions);
    EXPECT_TRUE(actions.calls.empty());
    run_command(command_for(kIdStartOnLogin, l), actions);
    EXPECT_EQ(actions.calls, std::vector<std::string>{"start off"});
}

// The ids were handed out when the menu was built; a device that came or
// went meanwhile does not move the command to another device.
TEST(TrayCommands, RemovingTheSecondOfThreeUsesTheRememberedIdAfterTheListChanged) {
    TrayView v = sample_view();
    v.host.devices = {{"id-a", "A", false}, {"id-b", "B", false}, {"id-c", "C", false}};
    const Menu menu = build_menu(v);
    v.host.devices.erase(v.host.devices.begin());  // "A" removed by a client meanwhile
    const Command c = command_for(2001, menu);
    EXPECT_EQ(c.kind, Command::Kind::RemoveDevice);
    EXPECT_EQ(c.clientId, "id-b");
}

}  // namespace
}  // namespace hp::tray
