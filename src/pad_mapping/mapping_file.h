#pragma once
// "gamepad_mapping.json": the mapping as people may edit it, read leniently
// (a field that cannot be used keeps the value of the preset the file names)
// and written pretty-printed with two-space indentation.
//
// Example of the written form (bindings shortened):
//   {
//     "version": 1,
//     "mode": "keyboardMouse",
//     "preset": "shooter",
//     "leftStick": {
//       "mode": "keys",
//       "up": "w",
//       ...
//       "deadzone": 0.25,
//       "sensitivity": 1.0,
//       "invertY": false
//     },
//     "rightStick": { ... },
//     "bindings": {
//       "a": {
//         "type": "key",
//         "key": "space",
//         "mods": []
//       },
//       ...
//     }
//   }
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"
#include "pad_mapping/mapping.h"

namespace hp::pad_mapping {

inline constexpr std::string_view kMappingFileName = "gamepad_mapping.json";
inline constexpr std::string_view kMappingTempFileName = "gamepad_mapping.json.tmp";
// The single-value file of older versions, read only when the mapping file
// cannot be read.
inline constexpr std::string_view kLegacyOutputFileName = "pad_output";
// Larger files are not read: they are treated as unusable.
inline constexpr std::size_t kMaxMappingFileSize = 1 << 20;

// The mapping a file's text describes. Never fails: text that is not a JSON
// object, or names a "version" above 1, gives defaultMapping(); every other
// unusable part falls back to the named preset's value.
PadMapping loadMapping(std::string_view text);

// The mapping the legacy file's whole text selects: "wasdMouse", "arrows" or
// "dualKeys" give the shooter, arrows or twinStick preset (virtual pad
// output); anything else gives nothing.
std::optional<PadMapping> loadLegacyOutput(std::string_view text);

// The text written to the mapping file (no trailing line break). Deadzone
// and sensitivity are rounded to 3 decimals; reading it back with
// loadMapping gives the same mapping up to that rounding.
std::string saveMapping(const PadMapping& mapping);

// Reads the mapping from the data directory. A mapping file that cannot be
// read (missing, unreadable) lets the legacy file decide, else the default
// mapping applies; a mapping file that can be read but is too large or not
// usable JSON gives the default mapping, and the legacy file is not
// consulted. Nothing is written or removed.
PadMapping load_mapping(const std::filesystem::path& dataDir);

// Creates the data directory if needed, writes "gamepad_mapping.json.tmp",
// flushes it to disk and renames it over "gamepad_mapping.json". Any failure
// is returned with a text for the user; the temporary file is removed then.
Status save_mapping(const std::filesystem::path& dataDir, const PadMapping& mapping);

}  // namespace hp::pad_mapping
