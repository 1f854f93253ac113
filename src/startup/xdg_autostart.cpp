#include "startup/xdg_autostart.h"

#include <system_error>

#include "base/atomic_file.h"
#include "base/bytes.h"

namespace hp::startup {

namespace {

constexpr std::size_t kEntryCap = 64 * 1024;

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

}  // namespace

std::optional<std::filesystem::path> autostart_file(const EnvReader& env) {
    if (auto config = env("XDG_CONFIG_HOME"); config && !config->empty()) {
        std::filesystem::path dir(*config);
        if (dir.is_absolute()) return dir / "autostart" / kAutostartFileName;
    }
    if (auto home = env("HOME"); home && !home->empty()) {
        std::filesystem::path dir(*home);
        if (dir.is_absolute()) return dir / ".config" / "autostart" / kAutostartFileName;
    }
    return std::nullopt;
}

std::string autostart_exec(std::string_view exePath) {
    std::string quoted = "\"";
    for (const char c : exePath) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    // The value is a string too: its backslashes are escaped once more, and
    // "%" introduces field codes.
    std::string out;
    for (const char c : quoted) {
        if (c == '\\') out += '\\';
        if (c == '%') out += '%';
        out += c;
    }
    return out + " --background";
}

std::string autostart_entry(std::string_view exePath) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Hearthpad\n"
           "Comment=Control this computer from your phone\n"
           "Exec=" +
           autostart_exec(exePath) +
           "\n"
           "Icon=hearthpad\n"
           "Terminal=false\n"
           "NoDisplay=true\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool autostart_entry_matches(std::string_view content, std::string_view exePath) {
    const std::string wanted = autostart_exec(exePath);
    bool inMain = false;
    bool execMatches = false;
    bool active = true;
    while (!content.empty()) {
        const std::size_t nl = content.find('\n');
        const std::string_view line = trimmed(content.substr(0, nl));
        content.remove_prefix(nl == std::string_view::npos ? content.size() : nl + 1);
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '[') {
            inMain = line == "[Desktop Entry]";
            continue;
        }
        if (!inMain) continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string_view key = trimmed(line.substr(0, eq));
        const std::string_view value = trimmed(line.substr(eq + 1));
        if (key == "Exec") execMatches = value == wanted;
        if (key == "Hidden" && value == "true") active = false;
        if (key == "X-GNOME-Autostart-enabled" && value == "false") active = false;
    }
    return execMatches && active;
}

bool autostart_enabled(const std::filesystem::path& file, std::string_view exePath) {
    const auto data = read_file_capped(file, kEntryCap);
    if (!data) return false;
    return autostart_entry_matches(to_string(*data), exePath);
}

Status set_autostart(const std::filesystem::path& file, std::string_view exePath, bool enable) {
    std::error_code error;
    if (!enable) {
        std::filesystem::remove(file, error);
        if (error) return fail("Could not remove " + path_text(file) + ": " + error.message());
        return {};
    }
    std::filesystem::create_directories(file.parent_path(), error);
    if (error) return fail("Could not create " + path_text(file.parent_path()) + ": " + error.message());
    const std::string entry = autostart_entry(exePath);
    return write_file_atomically(file, tmp_sibling(file), as_bytes(entry));
}

}  // namespace hp::startup
