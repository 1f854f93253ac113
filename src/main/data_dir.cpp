#include "main/data_dir.h"

#include <fstream>
#include <optional>
#include <string>
#include <system_error>

#include "platform/system.h"

namespace hp {

namespace {

// FILETIME of 1970-01-01 00:00:00 UTC.
constexpr std::uint64_t kUnixEpochFiletime = 116444736000000000ULL;
constexpr std::uintmax_t kMaxLogSize = 65536;

// UTF-8 text to a path, so that Windows builds get the wide form.
std::filesystem::path utf8_path(const std::string& s) {
    return std::filesystem::path(std::u8string(s.begin(), s.end()));
}

std::optional<std::filesystem::path> env_path(const char* name) {
    auto value = platform::env_utf8(name);
    if (!value) return std::nullopt;
    return utf8_path(*value);
}

}  // namespace

std::filesystem::path data_dir() {
    if (auto dir = env_path("RC_DATA_DIR")) return *dir;
    if (auto appdata = env_path("APPDATA")) return *appdata / "Hearthpad";
    if (auto home = env_path("HOME")) return *home / ".config" / "Hearthpad";
    return std::filesystem::path(".") / ".config" / "Hearthpad";
}

std::uint64_t filetime_to_unix_ms(std::uint64_t filetime) {
    if (filetime < kUnixEpochFiletime) return 0;
    const std::uint64_t t = filetime - kUnixEpochFiletime;
    return (t / 10000000) * 1000 + (t % 10000000) / 10000;
}

void log_controller_event(std::string_view text) {
    try {
        auto local = env_path("LOCALAPPDATA");
        if (!local) return;
        const std::filesystem::path dir = *local / "Hearthpad";
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);

        const std::filesystem::path file = dir / "controller.log";
        const std::uintmax_t size = std::filesystem::file_size(file, ec);
        if (!ec && size > kMaxLogSize) std::filesystem::remove(file, ec);

        std::ofstream out(file, std::ios::binary | std::ios::app);
        if (!out) return;
        std::string line = std::to_string(filetime_to_unix_ms(platform::precise_filetime_now()));
        line.push_back(' ');
        line.append(text);
        line.push_back('\n');
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
    } catch (...) {
        // The log is diagnostic only; nothing about it may disturb the caller.
    }
}

std::filesystem::path tmp_sibling(const std::filesystem::path& target) {
    std::filesystem::path tmp = target;
    tmp.replace_extension("tmp");
    return tmp;
}

}  // namespace hp
