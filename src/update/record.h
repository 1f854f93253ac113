#pragma once
// What the update check remembers between runs, in "update_check.txt" in the
// data directory: two lines, each ended by "\n" — the time of the last
// successful check in Unix seconds, and the last version offered to the
// user; a line is empty when its value is absent.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace hp::update {

inline constexpr std::string_view kRecordFileName = "update_check.txt";
// The automatic check runs again once the last check is this old (7 days).
inline constexpr std::uint64_t kCheckIntervalSeconds = 604800;

struct UpdateRecord {
    std::optional<std::uint64_t> lastCheckUnix;
    std::optional<std::string> lastAnnouncedVersion;
    friend bool operator==(const UpdateRecord&, const UpdateRecord&) = default;
};

// Reading is forgiving: the text is split at "\n" and each line trimmed of
// white space; line 1 counts only as a decimal number that fits 64 bits (an
// optional leading "+" allowed), line 2 only as a version. Text that is not
// UTF-8 gives an empty record. A pure function of the text.
UpdateRecord parse_update_record(std::string_view text);
std::string format_update_record(const UpdateRecord& record);

// The record in `dataDir`; empty when the file is missing or unreadable.
UpdateRecord read_update_record(const std::filesystem::path& dataDir);
// Creates the directory when needed and replaces the file; failures are
// ignored (the next successful check writes it again).
void write_update_record(const std::filesystem::path& dataDir, const UpdateRecord& record);

// The automatic check is due unless the last check is known, not in the
// future, and less than kCheckIntervalSeconds before now.
bool is_check_due(const UpdateRecord& record, std::uint64_t nowUnix);

}  // namespace hp::update
