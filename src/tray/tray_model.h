#pragma once
// What the notification-area icon shows, without a window: the icon's role,
// the tooltip, the menu with its ids, texts, flags and submenus, and the
// command each chosen id stands for. The tray window turns these into shell
// and menu calls; everything here is built from one snapshot of the host.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "discovery/network_snapshot.h"
#include "pad_mapping/mapping.h"
#include "host_ops/host_ops.h"
#include "text_catalogue/catalogue.h"

namespace hp::tray {

// Menu command ids (0: the item sends nothing).
inline constexpr unsigned kIdPairNewDevice = 1001;
inline constexpr unsigned kIdStartOnLogin = 1002;
inline constexpr unsigned kIdRunElevated = 1003;
inline constexpr unsigned kIdCheckForUpdates = 1004;
inline constexpr unsigned kIdConnectionCheck = 1005;
inline constexpr unsigned kIdExit = 1099;
inline constexpr unsigned kIdRemoveDevice = 2000;  // + the device's place in the list
inline constexpr unsigned kIdPreset = 3000;        // + the preset index, 0 to 3
inline constexpr unsigned kIdOutputVirtualPad = 3100;
inline constexpr unsigned kIdOutputMapping = 3101;
inline constexpr unsigned kIdMappingWindow = 3102;

// The tooltip field holds 128 units, the last one the terminating NUL.
inline constexpr std::size_t kTooltipUnits = 127;

// One look at the host and its surroundings, taken when the menu opens or
// the icon is refreshed.
struct TrayView {
    std::string hostName;
    host_ops::HostView host;
    discovery::NetworkSnapshot network;
    bool vigemFound = false;
    bool startEntryEnabled = false;
    bool elevatedTaskExists = false;
    // Systems without an elevated mode (the Linux desktop) leave its item
    // out and name their own start entry.
    bool elevatedItem = true;
    std::string startEntryText = std::string(text_catalogue::i18n("Start on Windows Login"));
};

enum class IconRole { Idle, Controlled };
IconRole icon_role(const host_ops::HostView& host);

// "Hearthpad - Ready", or "Hearthpad - Controlled by <name>" with
// " (controller on)" while that device's controller switch is on; at most
// kTooltipUnits UTF-16 units (longer texts are cut there).
// In the language of `texts` (English by default).
std::u16string tooltip(const host_ops::HostView& host, const text_catalogue::Catalogue& texts = {});

struct MenuItem {
    enum class Kind { Command, Separator, Submenu };
    Kind kind = Kind::Command;
    std::string text;  // UTF-8
    unsigned id = 0;
    bool grayed = false;
    bool checked = false;
    std::vector<MenuItem> items;  // a submenu's items
    friend bool operator==(const MenuItem&, const MenuItem&) = default;
};

struct Menu {
    std::vector<MenuItem> items;
    // Remembered for the commands: the client ids in the order of the
    // "Paired Devices" entries, and the two check marks as shown.
    std::vector<std::string> deviceIds;
    bool startEntryShown = false;
    bool elevatedTaskShown = false;
    bool elevatedItemShown = true;  // without the item its id does nothing
};

Menu build_menu(const TrayView& view, const text_catalogue::Catalogue& texts = {});

// The menu's second line: "LAN: <address> · Tailscale: <address>".
std::string addresses_line(const discovery::NetworkSnapshot& network, const text_catalogue::Catalogue& texts = {});

struct Command {
    enum class Kind {
        None,
        OpenPairingWindow,
        SetStartEntry,        // enable: the opposite of the shown check mark
        ToggleElevatedTask,   // currentlyExists: the shown check mark
        CheckForUpdates,
        Exit,
        RemoveDevice,         // clientId
        ApplyPreset,          // preset 0 to 3
        SetOutput,            // useMapping
        OpenMappingWindow,
        OpenConnectionCheck,
    };
    Kind kind = Kind::None;
    bool enable = false;
    bool currentlyExists = false;
    std::string clientId;
    std::uint8_t preset = 0;
    bool useMapping = false;
    friend bool operator==(const Command&, const Command&) = default;
};

// The command for the id TrackPopupMenu returned from `menu`.
Command command_for(unsigned id, const Menu& menu);

// What the tray's commands do; the tray window implements it.
class TrayActions {
public:
    virtual ~TrayActions() = default;
    virtual void open_pairing_window() = 0;
    virtual void set_start_entry(bool enable) = 0;
    virtual void toggle_elevated_task(bool currentlyExists) = 0;
    virtual void check_for_updates() = 0;
    virtual void exit() = 0;
    virtual void remove_device(const std::string& clientId) = 0;  // then refresh the icon
    virtual void apply_preset(std::uint8_t index) = 0;
    virtual void set_output(bool useMapping) = 0;
    virtual void open_mapping_window() = 0;
    virtual void open_connection_check() = 0;
};

void run_command(const Command& command, TrayActions& actions);

}  // namespace hp::tray
