#include "update/record.h"

#include <limits>
#include <system_error>

#include "base/atomic_file.h"
#include "base/utf8.h"
#include "update/version.h"
#include "update/white_space.h"

namespace hp::update {

namespace {

// Far more than two lines can need; anything longer is not ours.
constexpr std::size_t kMaxRecordBytes = 4096;

// The line without white space at either end (the text is valid UTF-8).
std::string_view trim(std::string_view line) {
    std::size_t begin = 0;
    while (begin < line.size()) {
        std::size_t next = begin;
        const auto c = decode_utf8(line, next);
        if (!c || !is_white_space(*c)) break;
        begin = next;
    }
    std::size_t end = begin;
    for (std::size_t i = begin; i < line.size();) {
        const auto c = decode_utf8(line, i);
        if (!c || !is_white_space(*c)) end = i;
    }
    return line.substr(begin, end - begin);
}

std::optional<std::uint64_t> parse_unix_time(std::string_view text) {
    if (text.starts_with('+')) text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

}  // namespace

UpdateRecord parse_update_record(std::string_view text) {
    UpdateRecord record;
    if (!is_valid_utf8(text)) return record;
    const std::size_t nl = text.find('\n');
    const std::string_view first = text.substr(0, nl);
    record.lastCheckUnix = parse_unix_time(trim(first));
    if (nl != std::string_view::npos) {
        const std::string_view rest = text.substr(nl + 1);
        const std::string_view second = trim(rest.substr(0, rest.find('\n')));
        if (parse_version(second)) record.lastAnnouncedVersion = std::string(second);
    }
    return record;
}

std::string format_update_record(const UpdateRecord& record) {
    std::string text;
    if (record.lastCheckUnix) text += std::to_string(*record.lastCheckUnix);
    text += '\n';
    if (record.lastAnnouncedVersion) text += *record.lastAnnouncedVersion;
    text += '\n';
    return text;
}

UpdateRecord read_update_record(const std::filesystem::path& dataDir) {
    const auto bytes = read_file_capped(dataDir / kRecordFileName, kMaxRecordBytes);
    if (!bytes) return {};
    return parse_update_record(to_string(*bytes));
}

void write_update_record(const std::filesystem::path& dataDir, const UpdateRecord& record) {
    std::error_code ignored;
    std::filesystem::create_directories(dataDir, ignored);
    const auto target = dataDir / kRecordFileName;
    (void)write_file_atomically(target, tmp_sibling(target),
                                as_bytes(format_update_record(record)));
}

bool is_check_due(const UpdateRecord& record, std::uint64_t nowUnix) {
    if (!record.lastCheckUnix) return true;
    const std::uint64_t last = *record.lastCheckUnix;
    return last > nowUnix || nowUnix - last >= kCheckIntervalSeconds;
}

}  // namespace hp::update
