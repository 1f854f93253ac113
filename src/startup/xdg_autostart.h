#pragma once
// Start at login on Linux desktops: an XDG autostart entry,
// $XDG_CONFIG_HOME/autostart/hearthpad.desktop (~/.config when the variable
// is unset or not absolute), that starts this program with "--background".
// The entry counts as set only when it is active and starts exactly this
// program with that argument, as the Windows start entry does.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"

namespace hp::startup {

inline constexpr std::string_view kAutostartFileName = "hearthpad.desktop";

// Reads an environment variable (System::env in the programs).
using EnvReader = std::function<std::optional<std::string>(const char* name)>;

// The entry's path; nothing when neither XDG_CONFIG_HOME nor HOME is usable.
std::optional<std::filesystem::path> autostart_file(const EnvReader& env);

// The Exec value for `exePath`: the path quoted as the desktop-entry rules
// ask (\" \` \$ \\ inside double quotes, then each backslash doubled again
// for the string value), "%" written as "%%", then " --background".
std::string autostart_exec(std::string_view exePath);

// The whole entry for `exePath`.
std::string autostart_entry(std::string_view exePath);

// Whether `content` is an active entry whose Exec is autostart_exec(exePath):
// keys are read from the [Desktop Entry] group only; Hidden=true or
// X-GNOME-Autostart-enabled=false make it inactive.
bool autostart_entry_matches(std::string_view content, std::string_view exePath);

// The file at `file` is such an entry.
bool autostart_enabled(const std::filesystem::path& file, std::string_view exePath);

// Writes the entry (creating the folder, replacing the file whole) or
// removes it; removing a missing entry succeeds.
Status set_autostart(const std::filesystem::path& file, std::string_view exePath, bool enable);

}  // namespace hp::startup
