#pragma once
// Release versions: the running one and the rules for comparing versions.
//
// A version is 1 to 4 components separated by ".", each 1 to 9 decimal
// digits, and the whole text is 1 to 40 bytes: "0.2.0", "1.10", "3".
// Nothing else is a version: no "v" prefix, no suffix, no empty component.
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace hp::update {

// The version of this program ("0.2.0"), from the VERSION file.
std::string_view running_version();

// The component values, or nothing when the text is not a version.
std::optional<std::vector<std::uint32_t>> parse_version(std::string_view text);

// True when both parse and `a` is greater: components are compared from the
// first, a missing component counting as 0, so 0.2.0 equals 0.2 and 0.10.0
// is greater than 0.9.9.
bool version_greater(std::string_view a, std::string_view b);

// True when `version` is greater than the running version.
bool is_newer(std::string_view version);

}  // namespace hp::update
