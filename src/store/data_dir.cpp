#include "store/data_dir.h"

#include <fstream>
#include <string>
#include <system_error>

namespace hp::store {

namespace {

// FILETIME of 1970-01-01 00:00:00 UTC.
constexpr std::uint64_t kUnixEpochFiletime = 116444736000000000ULL;
constexpr std::uintmax_t kMaxLogSize = 65536;

// UTF-8 text to a path, so that Windows builds get the wide form.
std::filesystem::path utf8_path(const std::string& s) {
    return std::filesystem::path(std::u8string(s.begin(), s.end()));
}

std::optional<std::filesystem::path> env_path(const platform::System& system, const char* name) {
    auto value = system.env(name);
    if (!value) return std::nullopt;
    return utf8_path(*value);
}

}  // namespace

std::filesystem::path data_dir(const platform::System& system) {
    if (auto dir = env_path(system, "RC_DATA_DIR")) return *dir;
    if (auto appdata = env_path(system, "APPDATA")) return *appdata / "Hearthpad";
    if (auto home = env_path(system, "HOME")) return *home / ".config" / "Hearthpad";
    return std::filesystem::path(".") / ".config" / "Hearthpad";
}

std::uint64_t filetime_to_unix_ms(std::uint64_t filetime) {
    if (filetime < kUnixEpochFiletime) return 0;
    const std::uint64_t t = filetime - kUnixEpochFiletime;
    return (t / 10000000) * 1000 + (t % 10000000) / 10000;
}

ControllerLog::ControllerLog(std::optional<std::filesystem::path> dir, ClockMs clock)
    : dir_(std::move(dir)), clock_(std::move(clock)) {}

ControllerLog ControllerLog::for_system(std::shared_ptr<const platform::System> system) {
    std::optional<std::filesystem::path> dir;
    if (auto local = env_path(*system, "LOCALAPPDATA")) dir = *local / "Hearthpad";
    return ControllerLog(std::move(dir), [system] { return filetime_to_unix_ms(system->filetime_now()); });
}

void ControllerLog::write(const LogLine& entry) const {
    if (!dir_) return;
    try {
        std::error_code ec;
        std::filesystem::create_directories(*dir_, ec);
        const std::filesystem::path file = *dir_ / "controller.log";
        const std::uintmax_t size = std::filesystem::file_size(file, ec);
        if (!ec && size > kMaxLogSize) std::filesystem::remove(file, ec);

        std::ofstream out(file, std::ios::binary | std::ios::app);
        if (!out) return;
        std::string text = std::to_string(entry.unixMs);
        text.push_back(' ');
        text.append(entry.text);
        text.push_back('\n');
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    } catch (...) {
        // The log is diagnostic only; nothing about it may disturb the caller.
    }
}

}  // namespace hp::store
