#pragma once
// The notification-area icon of the Linux desktop: the tray model's icon
// role, tooltip and menu (the same ids, texts and states as on Windows, less
// the elevated mode) exported as a StatusNotifierItem with a DBusMenu. Runs
// on the thread that processes the session bus connection.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "platform/dbus/bus.h"
#include "platform/dbus/desktop_services.h"
#include "platform/dbus/menu.h"
#include "platform/dbus/status_notifier.h"
#include "tray/tray_model.h"

namespace hp::main {
struct HostHandle;
}  // namespace hp::main

namespace hp::app {

// What a Wayland session lacks, said in the menu, the tooltip and the first
// notification.
inline constexpr std::string_view kWaylandNotice =
    "Wayland session: input into other programs does not work yet (use an X11 session)";
inline constexpr std::string_view kStartEntryText = "Start on Login";

// Items without a command id (titles, separators, submenus, notices) are
// numbered from here on, in menu order.
inline constexpr std::int32_t kFirstPlainId = 10000;

// The DBusMenu tree of `menu`: each command keeps its id; items that send
// nothing are disabled as the grey items of Windows; checked items carry a
// check mark (unchecked ones with a command none, as on Windows); texts are
// shown as they are (underscores escaped). Each notice comes first as a
// disabled item, followed by a separator.
platform::dbus::MenuNode menu_layout(const tray::Menu& menu, const std::vector<std::string>& notices = {});

// The tray model's view with the Linux desktop's differences: no elevated
// mode, the start entry named "Start on Login".
tray::TrayView linux_tray_view(main::HostHandle* host, bool startEntryEnabled);

// The item's look for an icon role and panel colour: the tray images drawn
// for that role (the dark panel's when the desktop states no preference),
// the title "Hearthpad" and the tray model's tooltip, with the notices on
// further lines.
platform::dbus::ItemLook item_look(tray::IconRole role, platform::dbus::ColorScheme scheme,
                                   const std::u16string& tooltip, const std::vector<std::string>& notices);

struct LinuxTrayContext {
    main::HostHandle* host = nullptr;              // outlives the tray
    tray::TrayActions* actions = nullptr;          // outlives the tray
    std::function<bool()> startEntryEnabled;       // the menu's check mark, asked at every refresh
    std::vector<std::string> notices;              // kWaylandNotice in a Wayland session
    std::function<void(bool registered)> watcher;  // a panel took the icon, or none did
};

class LinuxTray {
public:
    static Result<std::unique_ptr<LinuxTray>> create(platform::dbus::Bus& bus, LinuxTrayContext context);
    explicit LinuxTray(LinuxTrayContext context) : context_(std::move(context)) {}

    // Icon, tooltip and menu from a fresh look at the host.
    void refresh();
    void set_color_scheme(platform::dbus::ColorScheme scheme);
    bool registered() const { return item_ && item_->registered(); }
    std::string service_name() const { return item_ ? item_->service_name() : std::string(); }

private:
    void clicked(std::int32_t id);

    LinuxTrayContext context_;
    platform::dbus::ColorScheme scheme_ = platform::dbus::ColorScheme::NoPreference;
    tray::Menu menu_;  // what the exported menu was built from
    std::unique_ptr<platform::dbus::StatusNotifierItem> item_;
};

}  // namespace hp::app
