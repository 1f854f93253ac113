#pragma once
// Where the host keeps its files, and the controller event log.
#include <cstdint>
#include <filesystem>
#include <string_view>

namespace hp {

// RC_DATA_DIR, else APPDATA\Hearthpad, else HOME/.config/Hearthpad, else
// ./.config/Hearthpad. Pure: reads the environment, creates nothing.
std::filesystem::path data_dir();

// Appends "<unix ms> <text>\n" to LOCALAPPDATA/Hearthpad/controller.log,
// starting a fresh file when the old one exceeds 65536 bytes. Never fails.
void log_controller_event(std::string_view text);

// The timestamp written for a FILETIME value (100-ns units since 1601).
std::uint64_t filetime_to_unix_ms(std::uint64_t filetime);

// "name.ext" -> "name.tmp" beside it; used for atomic replacement.
std::filesystem::path tmp_sibling(const std::filesystem::path& target);

}  // namespace hp
