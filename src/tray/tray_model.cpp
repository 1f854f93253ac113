#include "tray/tray_model.h"

#include "base/utf8.h"

namespace hp::tray {

namespace {

using text_catalogue::Catalogue;

using Kind = MenuItem::Kind;

MenuItem item(std::string text, unsigned id, bool grayed = false, bool checked = false) {
    return MenuItem{Kind::Command, std::move(text), id, grayed, checked, {}};
}

MenuItem separator() { return MenuItem{Kind::Separator, {}, 0, false, false, {}}; }

MenuItem submenu(std::string text, std::vector<MenuItem> items) {
    return MenuItem{Kind::Submenu, std::move(text), 0, false, false, std::move(items)};
}

// The first IPv4 address of the list, else its first address; plain text.
std::string shown_address(const std::vector<IpAddress>& list, const Catalogue& texts) {
    for (const auto& a : list)
        if (a.is_v4()) return a.to_string();
    return list.empty() ? std::string(texts.tr("Not connected")) : list.front().to_string();
}

std::string controller_line(const TrayView& view, const Catalogue& texts) {
    if (!view.host.controllerOn) return std::string(texts.tr("Controller: Off \u2014 no controller attached"));
    if (view.vigemFound && !view.host.mapping.useMapping)
        return std::string(texts.tr("Controller: On \u2014 virtual Xbox 360 attached"));
    return std::string(texts.tr("Controller: On \u2014 mapped to keyboard / mouse"));
}

std::vector<MenuItem> device_items(const TrayView& view, const Catalogue& texts) {
    if (view.host.devices.empty()) return {item(std::string(texts.tr("No Paired Devices")), 0, true)};
    std::vector<MenuItem> out;
    for (std::size_t i = 0; i < view.host.devices.size(); ++i) {
        const auto& d = view.host.devices[i];
        out.push_back(submenu(d.online ? texts.tr("{0} (Online)", {d.deviceName})
                                       : texts.tr("{0} (Offline)", {d.deviceName}),
                              {item(std::string(texts.tr("Remove Device")),
                                    kIdRemoveDevice + static_cast<unsigned>(i))}));
    }
    return out;
}

std::vector<MenuItem> gamepad_items(const TrayView& view, const Catalogue& texts) {
    const auto& mapping = view.host.mapping;
    const std::string keyboardMouse(texts.tr("Keyboard / mouse mapping"));
    std::vector<MenuItem> out;
    if (!view.vigemFound) {
        out.push_back(item(std::string(texts.tr("Virtual controller (ViGEmBus driver not installed)")), 0, true));
        out.push_back(item(keyboardMouse, kIdOutputMapping, false, true));
    } else {
        out.push_back(item(std::string(texts.tr("Virtual controller (ViGEmBus)")), kIdOutputVirtualPad, false,
                           !mapping.useMapping));
        out.push_back(item(keyboardMouse, kIdOutputMapping, false, mapping.useMapping));
    }
    out.push_back(separator());
    static constexpr pad_mapping::Preset kPresets[] = {pad_mapping::Preset::Shooter, pad_mapping::Preset::Arrows,
                                                       pad_mapping::Preset::MouseOnly,
                                                       pad_mapping::Preset::TwinStick};
    for (const auto preset : kPresets)
        out.push_back(item(std::string(texts.tr(pad_mapping::presetLabel(preset))),
                           kIdPreset + static_cast<unsigned>(preset), false, mapping.preset == preset));
    if (mapping.preset == pad_mapping::Preset::Custom)
        out.push_back(item(std::string(texts.tr("Custom")), 0, true, true));
    return out;
}

}  // namespace

IconRole icon_role(const host_ops::HostView& host) {
    return host.controllingDevice ? IconRole::Controlled : IconRole::Idle;
}

std::u16string tooltip(const host_ops::HostView& host, const Catalogue& texts) {
    std::string text(texts.tr("Hearthpad - Ready"));
    if (host.controllingDevice)
        text = host.controllerOn ? texts.tr("Hearthpad - Controlled by {0} (controller on)", {*host.controllingDevice})
                                 : texts.tr("Hearthpad - Controlled by {0}", {*host.controllingDevice});
    std::u16string units = utf8_to_utf16(text);
    if (units.size() > kTooltipUnits) units.resize(kTooltipUnits);
    return units;
}

std::string addresses_line(const discovery::NetworkSnapshot& network, const Catalogue& texts) {
    return texts.tr("LAN: {0} \u00b7 Tailscale: {1}",
                        {shown_address(network.lan, texts), shown_address(network.tailscale, texts)});
}

Menu build_menu(const TrayView& view, const Catalogue& texts) {
    const auto tr = [&](std::string_view english) { return std::string(texts.tr(english)); };
    Menu menu;
    const auto& host = view.host;
    menu.items = {
        item(texts.tr("Hearthpad \u2014 {0}", {view.hostName}), 0, true),
        item(addresses_line(view.network, texts), 0, true),
        item(host.controllingDevice ? texts.tr("Status: Controlled by {0}", {*host.controllingDevice})
                                    : tr("Status: Ready"),
             0, true),
        item(controller_line(view, texts), 0, true),
        separator(),
        item(tr("Pair New Device\u2026"), kIdPairNewDevice),
        submenu(tr("Paired Devices"), device_items(view, texts)),
        item(tr("Connection Check\u2026"), kIdConnectionCheck),
        separator(),
        submenu(tr("Gamepad output"), gamepad_items(view, texts)),
        item(tr("Gamepad Mapping\u2026"), kIdMappingWindow),
        separator(),
        item(tr(view.startEntryText), kIdStartOnLogin, false, view.startEntryEnabled),
        item(tr("Run with Administrator Access (Control UAC/Admin Windows)"), kIdRunElevated, false,
             view.elevatedTaskExists),
        separator(),
        item(tr("Check for Updates\u2026"), kIdCheckForUpdates),
        item(tr("Exit Hearthpad"), kIdExit),
    };
    if (!view.elevatedItem) {
        std::erase_if(menu.items, [](const MenuItem& i) { return i.id == kIdRunElevated; });
    }
    for (const auto& d : host.devices) menu.deviceIds.push_back(d.clientId);
    menu.startEntryShown = view.startEntryEnabled;
    menu.elevatedTaskShown = view.elevatedTaskExists;
    menu.elevatedItemShown = view.elevatedItem;
    return menu;
}

Command command_for(unsigned id, const Menu& menu) {
    using K = Command::Kind;
    Command c;
    switch (id) {
        case kIdPairNewDevice: c.kind = K::OpenPairingWindow; return c;
        case kIdStartOnLogin:
            c.kind = K::SetStartEntry;
            c.enable = !menu.startEntryShown;
            return c;
        case kIdRunElevated:
            if (!menu.elevatedItemShown) return c;
            c.kind = K::ToggleElevatedTask;
            c.currentlyExists = menu.elevatedTaskShown;
            return c;
        case kIdCheckForUpdates: c.kind = K::CheckForUpdates; return c;
        case kIdExit: c.kind = K::Exit; return c;
        case kIdOutputVirtualPad:
        case kIdOutputMapping:
            c.kind = K::SetOutput;
            c.useMapping = id == kIdOutputMapping;
            return c;
        case kIdMappingWindow: c.kind = K::OpenMappingWindow; return c;
        case kIdConnectionCheck: c.kind = K::OpenConnectionCheck; return c;
        default: break;
    }
    if (id >= kIdRemoveDevice && id < kIdPreset) {
        const std::size_t i = id - kIdRemoveDevice;
        if (i < menu.deviceIds.size()) {
            c.kind = K::RemoveDevice;
            c.clientId = menu.deviceIds[i];
        }
        return c;
    }
    if (id >= kIdPreset && id <= kIdPreset + 3) {
        c.kind = K::ApplyPreset;
        c.preset = static_cast<std::uint8_t>(id - kIdPreset);
    }
    return c;
}

void run_command(const Command& command, TrayActions& actions) {
    using K = Command::Kind;
    switch (command.kind) {
        case K::None: return;
        case K::OpenPairingWindow: actions.open_pairing_window(); return;
        case K::SetStartEntry: actions.set_start_entry(command.enable); return;
        case K::ToggleElevatedTask: actions.toggle_elevated_task(command.currentlyExists); return;
        case K::CheckForUpdates: actions.check_for_updates(); return;
        case K::Exit: actions.exit(); return;
        case K::RemoveDevice: actions.remove_device(command.clientId); return;
        case K::ApplyPreset: actions.apply_preset(command.preset); return;
        case K::SetOutput: actions.set_output(command.useMapping); return;
        case K::OpenMappingWindow: actions.open_mapping_window(); return;
        case K::OpenConnectionCheck: actions.open_connection_check(); return;
    }
}

}  // namespace hp::tray
