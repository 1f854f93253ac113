#pragma once
// A notification-area item for Linux desktops: an org.kde.StatusNotifierItem
// at /StatusNotifierItem with its menu exported as com.canonical.dbusmenu at
// /MenuBar, under the name "org.kde.StatusNotifierItem-<pid>-1". The item
// registers with org.kde.StatusNotifierWatcher, and again whenever a watcher
// appears later (a panel that starts or restarts). Everything runs on the
// thread that processes the connection.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/result.h"
#include "platform/dbus/bus.h"
#include "platform/dbus/menu.h"

namespace hp::platform::dbus {

inline constexpr const char* kItemPath = "/StatusNotifierItem";
inline constexpr const char* kMenuPath = "/MenuBar";

// One image of the icon: ARGB32, most significant byte first, row by row.
struct Pixmap {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> argb;
    friend bool operator==(const Pixmap&, const Pixmap&) = default;
};

struct ItemLook {
    std::string iconName;          // from the icon theme; empty: the pixmaps
    std::vector<Pixmap> pixmaps;
    std::string tooltipTitle;
    std::string tooltipText;
    friend bool operator==(const ItemLook&, const ItemLook&) = default;
};

struct ItemCallbacks {
    std::function<void(std::int32_t id)> clicked;  // a menu item was chosen
    std::function<void()> aboutToShow;             // the menu opens: a fresh set_menu is welcome
    std::function<void()> activate;                // a click on the icon of a host that shows no menu
    std::function<void(bool registered)> watcher;  // registration with a watcher succeeded or failed
};

class StatusNotifierItem {
public:
    // Exports the item and its menu and starts the registration; the bus
    // must outlive the item.
    static Result<std::unique_ptr<StatusNotifierItem>> create(Bus& bus, std::string id, std::string title,
                                                              ItemCallbacks callbacks);
    // Use create(); public for std::make_unique.
    StatusNotifierItem(Bus& bus, std::string id, std::string title, ItemCallbacks callbacks);
    ~StatusNotifierItem();
    StatusNotifierItem(const StatusNotifierItem&) = delete;
    StatusNotifierItem& operator=(const StatusNotifierItem&) = delete;

    const std::string& service_name() const { return serviceName_; }
    bool registered() const { return registered_; }

    // Each sends its change signal (NewIcon, NewToolTip; LayoutUpdated with
    // a new revision) when something changed.
    void set_look(ItemLook look);
    void set_menu(MenuNode root);
    std::uint32_t revision() const { return revision_; }
    const MenuNode& menu() const { return menu_; }

    struct Glue;  // the sd-bus callbacks, in the source

private:
    void register_with_watcher();
    friend struct Glue;

    Bus& bus_;
    std::string id_;
    std::string title_;
    ItemCallbacks callbacks_;
    std::string serviceName_;
    ItemLook look_;
    MenuNode menu_;
    std::uint32_t revision_ = 1;
    bool registered_ = false;
    SlotPtr itemSlot_, menuSlot_, ownerSlot_, registerSlot_;
};

}  // namespace hp::platform::dbus
