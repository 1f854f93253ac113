#include "app/linux_tray.h"

#include "base/utf8.h"
#include "host_ops/host_ops.h"
#include "main/start_host.h"
#include "sni_pixmaps.h"

namespace hp::app {

namespace {

using platform::dbus::MenuNode;

MenuNode node_of(const tray::MenuItem& item, std::int32_t& nextPlain) {
    MenuNode node;
    node.id = item.id != 0 ? static_cast<std::int32_t>(item.id) : nextPlain++;
    switch (item.kind) {
        case tray::MenuItem::Kind::Separator: node.type = MenuNode::Type::Separator; break;
        case tray::MenuItem::Kind::Submenu:
            node.submenu = true;
            for (const auto& child : item.items) node.children.push_back(node_of(child, nextPlain));
            break;
        case tray::MenuItem::Kind::Command: break;
    }
    if (item.kind != tray::MenuItem::Kind::Separator) node.label = platform::dbus::escape_mnemonics(item.text);
    node.enabled = item.kind != tray::MenuItem::Kind::Command || (!item.grayed && item.id != 0);
    // A checked item shows its mark; the items that can be checked carry an
    // empty one while clear (mark_checkable).
    if (item.checked) {
        node.checkmark = true;
        node.toggled = true;
    }
    return node;
}

bool checkable(unsigned id) {
    return id == tray::kIdStartOnLogin || id == tray::kIdRunElevated || id == tray::kIdOutputVirtualPad ||
           id == tray::kIdOutputMapping || (id >= tray::kIdPreset && id <= tray::kIdPreset + 3);
}

void mark_checkable(MenuNode& node) {
    if (node.id > 0 && checkable(static_cast<unsigned>(node.id))) node.checkmark = true;
    for (auto& child : node.children) mark_checkable(child);
}

std::vector<platform::dbus::Pixmap> pixmaps_of(const auto& images) {
    std::vector<platform::dbus::Pixmap> out;
    for (const auto& image : images) {
        const std::size_t bytes = static_cast<std::size_t>(image.size) * image.size * 4;
        out.push_back({image.size, image.size, std::vector<std::uint8_t>(image.argb, image.argb + bytes)});
    }
    return out;
}

}  // namespace

MenuNode menu_layout(const tray::Menu& menu, const std::vector<std::string>& notices) {
    MenuNode root;
    root.id = 0;
    root.submenu = true;
    std::int32_t nextPlain = kFirstPlainId;
    for (const auto& notice : notices) {
        MenuNode line;
        line.id = nextPlain++;
        line.label = platform::dbus::escape_mnemonics(notice);
        line.enabled = false;
        root.children.push_back(std::move(line));
    }
    if (!notices.empty()) {
        MenuNode separator;
        separator.id = nextPlain++;
        separator.type = MenuNode::Type::Separator;
        root.children.push_back(std::move(separator));
    }
    for (const auto& item : menu.items) root.children.push_back(node_of(item, nextPlain));
    mark_checkable(root);
    return root;
}

tray::TrayView linux_tray_view(main::HostHandle* host, bool startEntryEnabled) {
    tray::TrayView view;
    if (host) {
        view.hostName = host->hostName;
        view.host = host_ops::host_view(*host->state, host->gamepad.get());
        if (host->network) view.network = host->network->get();
        view.vigemFound = !host->vigemMissing;
    }
    view.startEntryEnabled = startEntryEnabled;
    view.elevatedItem = false;
    view.startEntryText = std::string(kStartEntryText);
    return view;
}

platform::dbus::ItemLook item_look(tray::IconRole role, platform::dbus::ColorScheme scheme,
                                   const std::u16string& tooltip, const std::vector<std::string>& notices) {
    namespace px = sni_pixmaps;
    const bool light = scheme == platform::dbus::ColorScheme::Light;
    const bool controlled = role == tray::IconRole::Controlled;
    platform::dbus::ItemLook look;
    look.pixmaps = controlled ? pixmaps_of(light ? px::controlled_light : px::controlled_dark)
                              : pixmaps_of(light ? px::idle_light : px::idle_dark);
    look.tooltipTitle = "Hearthpad";
    look.tooltipText = utf16_to_utf8(tooltip);
    for (const auto& notice : notices) look.tooltipText += "\n" + notice;
    return look;
}

Result<std::unique_ptr<LinuxTray>> LinuxTray::create(platform::dbus::Bus& bus, LinuxTrayContext context) {
    auto tray = std::make_unique<LinuxTray>(std::move(context));
    LinuxTray* self = tray.get();
    platform::dbus::ItemCallbacks callbacks;
    callbacks.clicked = [self](std::int32_t id) { self->clicked(id); };
    callbacks.aboutToShow = [self] { self->refresh(); };
    callbacks.watcher = [self](bool registered) {
        if (self->context_.watcher) self->context_.watcher(registered);
    };
    auto item = platform::dbus::StatusNotifierItem::create(bus, "hearthpad", "Hearthpad", std::move(callbacks));
    if (!item) return std::unexpected(item.error());
    tray->item_ = std::move(*item);
    tray->refresh();
    return tray;
}

void LinuxTray::refresh() {
    const bool startEntry = context_.startEntryEnabled && context_.startEntryEnabled();
    const tray::TrayView view = linux_tray_view(context_.host, startEntry);
    menu_ = tray::build_menu(view);
    item_->set_look(item_look(tray::icon_role(view.host), scheme_, tray::tooltip(view.host), context_.notices));
    item_->set_menu(menu_layout(menu_, context_.notices));
}

void LinuxTray::set_color_scheme(platform::dbus::ColorScheme scheme) {
    if (scheme == scheme_) return;
    scheme_ = scheme;
    refresh();
}

void LinuxTray::clicked(std::int32_t id) {
    if (id <= 0 || !context_.actions) return;
    // The command is read from the menu as it was exported (the device ids
    // it listed), as Windows reads it from the menu it showed.
    tray::run_command(tray::command_for(static_cast<unsigned>(id), menu_), *context_.actions);
}

}  // namespace hp::app
