// The tray model's menu as the Linux desktop exports it (DBusMenu items), and
// the cuts GetLayout answers with.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "app/linux_tray.h"
#include "platform/dbus/menu.h"

namespace hp::app {
namespace {

using platform::dbus::MenuNode;
using platform::dbus::MenuProperty;

tray::TrayView linux_view() {
    tray::TrayView v = linux_tray_view(nullptr, true);
    v.hostName = "desk_top";
    v.host.devices = {{"id-a", "my_phone", true}, {"id-b", "Tab", false}};
    return v;
}

void collect(const MenuNode& node, std::vector<const MenuNode*>& out) {
    out.push_back(&node);
    for (const auto& child : node.children) collect(child, out);
}

const MenuNode& child_with_label(const MenuNode& node, const std::string& label) {
    for (const auto& child : node.children)
        if (child.label == label) return child;
    ADD_FAILURE() << "no item " << label;
    return node;
}

TEST(LinuxTrayMenu, SameItemsAndIdsAsTheModelWithUniqueIdsForTheRest) {
    const tray::Menu menu = tray::build_menu(linux_view());
    const MenuNode root = menu_layout(menu);
    EXPECT_EQ(root.id, 0);
    EXPECT_TRUE(root.submenu);
    ASSERT_EQ(root.children.size(), menu.items.size());
    std::vector<const MenuNode*> all;
    collect(root, all);
    std::set<std::int32_t> ids;
    for (const auto* node : all) EXPECT_TRUE(ids.insert(node->id).second) << "id " << node->id << " twice";
    for (const unsigned id : {1001u, 1002u, 1004u, 1005u, 1099u, 2000u, 2001u, 3000u, 3003u, 3101u, 3102u})
        EXPECT_TRUE(ids.count(static_cast<std::int32_t>(id))) << id;
    EXPECT_FALSE(ids.count(1003)) << "no elevated mode on Linux";
    for (const auto* node : all) {
        if (node->id < kFirstPlainId) continue;
        EXPECT_TRUE(!node->enabled || node->submenu || node->type == MenuNode::Type::Separator) << node->label;
    }
}

TEST(LinuxTrayMenu, ItemsCarryTheirStatesAndTextsAsShown) {
    const MenuNode root = menu_layout(tray::build_menu(linux_view()));
    struct Case {
        std::string label;
        bool enabled, checkmark, toggled, submenu;
    };
    const Case cases[] = {
        {"Hearthpad \u2014 desk__top", false, false, false, false},
        {"Pair New Device\u2026", true, false, false, false},
        {"Paired Devices", true, false, false, true},
        {"Start on Login", true, true, true, false},
        {"Exit Hearthpad", true, false, false, false},
    };
    for (const auto& c : cases) {
        const MenuNode& n = child_with_label(root, c.label);
        EXPECT_EQ(n.enabled, c.enabled) << c.label;
        EXPECT_EQ(n.checkmark, c.checkmark) << c.label;
        EXPECT_EQ(n.toggled, c.toggled) << c.label;
        EXPECT_EQ(n.submenu, c.submenu) << c.label;
    }
    const MenuNode& devices = child_with_label(root, "Paired Devices");
    ASSERT_EQ(devices.children.size(), 2u);
    EXPECT_EQ(devices.children[0].label, "my__phone (Online)");
    EXPECT_TRUE(devices.children[0].submenu);
    ASSERT_EQ(devices.children[0].children.size(), 1u);
    EXPECT_EQ(devices.children[0].children[0].id, 2000);
    // Without ViGEmBus: the grey pad item, the mapping item checked; the
    // presets can be checked, the current one is.
    const MenuNode& output = child_with_label(root, "Gamepad output");
    EXPECT_FALSE(output.children[0].enabled);
    EXPECT_EQ(output.children[1].id, 3101);
    EXPECT_TRUE(output.children[1].toggled);
    EXPECT_EQ(output.children[2].type, MenuNode::Type::Separator);
    EXPECT_TRUE(output.children[3].checkmark);
    EXPECT_TRUE(output.children[3].toggled);   // shooter, the default
    EXPECT_TRUE(output.children[4].checkmark);
    EXPECT_FALSE(output.children[4].toggled);
}

TEST(LinuxTrayMenu, StartEntryClearIsAnEmptyCheckMark) {
    tray::TrayView v = linux_view();
    v.startEntryEnabled = false;
    const MenuNode root = menu_layout(tray::build_menu(v));
    const MenuNode& item = child_with_label(root, "Start on Login");
    EXPECT_TRUE(item.checkmark);
    EXPECT_FALSE(item.toggled);
}

TEST(LinuxTrayMenu, NoticesComeFirstGreyAndSeparated) {
    const tray::Menu menu = tray::build_menu(linux_view());
    const MenuNode root = menu_layout(menu, {std::string(kWaylandNotice)});
    ASSERT_EQ(root.children.size(), menu.items.size() + 2);
    EXPECT_EQ(root.children[0].label, kWaylandNotice);
    EXPECT_FALSE(root.children[0].enabled);
    EXPECT_EQ(root.children[1].type, MenuNode::Type::Separator);
    EXPECT_EQ(root.children[2].label, "Hearthpad \u2014 desk__top");
}

TEST(DbusMenuLayout, SubtreeByParentAndDepth) {
    const MenuNode root = menu_layout(tray::build_menu(linux_view()));
    const std::int32_t devicesId = child_with_label(root, "Paired Devices").id;
    struct Case {
        std::int32_t parent;
        int depth;
        std::size_t children;       // of the answered node
        std::size_t grandchildren;  // of its first child
    };
    const Case cases[] = {
        {0, 0, 0, 0}, {0, 1, root.children.size(), 0}, {devicesId, -1, 2, 1}, {devicesId, 1, 2, 0},
    };
    for (const auto& c : cases) {
        const auto cut = platform::dbus::layout_subtree(root, c.parent, c.depth);
        ASSERT_TRUE(cut) << c.parent;
        EXPECT_EQ(cut->id, c.parent);
        ASSERT_EQ(cut->children.size(), c.children) << c.parent << " depth " << c.depth;
        if (c.children) {
            EXPECT_EQ(cut->children[0].children.size(), c.grandchildren);
        }
    }
    const auto full = platform::dbus::layout_subtree(root, 0, -1);
    ASSERT_TRUE(full);
    EXPECT_EQ(*full, root);
    EXPECT_FALSE(platform::dbus::layout_subtree(root, 424242, -1));
}

TEST(DbusMenuLayout, PropertiesOnlyWhereTheyDifferFromTheDefaults) {
    using K = MenuProperty::Kind;
    MenuNode plain;
    plain.label = "Pair";
    EXPECT_EQ(platform::dbus::menu_properties(plain), (std::vector<MenuProperty>{{"label", K::String, "Pair", false, 0}}));
    MenuNode checked = plain;
    checked.enabled = false;
    checked.checkmark = true;
    checked.toggled = true;
    checked.submenu = true;
    EXPECT_EQ(platform::dbus::menu_properties(checked),
              (std::vector<MenuProperty>{{"label", K::String, "Pair", false, 0},
                                         {"enabled", K::Bool, {}, false, 0},
                                         {"toggle-type", K::String, "checkmark", false, 0},
                                         {"toggle-state", K::Int32, {}, false, 1},
                                         {"children-display", K::String, "submenu", false, 0}}));
    EXPECT_EQ(platform::dbus::menu_properties(checked, {"toggle-state"}),
              (std::vector<MenuProperty>{{"toggle-state", K::Int32, {}, false, 1}}));
    MenuNode separator;
    separator.type = MenuNode::Type::Separator;
    EXPECT_EQ(platform::dbus::menu_properties(separator),
              (std::vector<MenuProperty>{{"type", K::String, "separator", false, 0}}));
}

TEST(LinuxTrayLook, IconFollowsRoleAndPanelTooltipCarriesTheNotices) {
    using platform::dbus::ColorScheme;
    const auto idleDark = item_look(tray::IconRole::Idle, ColorScheme::Dark, u"Hearthpad - Ready", {});
    const auto idleDefault = item_look(tray::IconRole::Idle, ColorScheme::NoPreference, u"Hearthpad - Ready", {});
    const auto idleLight = item_look(tray::IconRole::Idle, ColorScheme::Light, u"Hearthpad - Ready", {});
    const auto controlledDark = item_look(tray::IconRole::Controlled, ColorScheme::Dark, u"x", {});
    EXPECT_EQ(idleDark.pixmaps, idleDefault.pixmaps);
    EXPECT_NE(idleDark.pixmaps, idleLight.pixmaps);
    EXPECT_NE(idleDark.pixmaps, controlledDark.pixmaps);
    ASSERT_FALSE(idleDark.pixmaps.empty());
    for (const auto& p : idleDark.pixmaps)
        EXPECT_EQ(p.argb.size(), static_cast<std::size_t>(p.width) * p.height * 4);
    EXPECT_EQ(idleDark.tooltipTitle, "Hearthpad");
    EXPECT_EQ(idleDark.tooltipText, "Hearthpad - Ready");
    const auto wayland = item_look(tray::IconRole::Idle, ColorScheme::Dark, u"Hearthpad - Ready",
                                   {std::string(kWaylandNotice)});
    EXPECT_EQ(wayland.tooltipText, "Hearthpad - Ready\n" + std::string(kWaylandNotice));
}

}  // namespace
}  // namespace hp::app
