#include "platform/system.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace hp::platform {

namespace {
bool valid_utf8(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = 0;
        std::uint32_t cp = 0;
        if (c < 0x80) { ++i; continue; }
        if ((c & 0xE0) == 0xC0) { n = 1; cp = c & 0x1F; }
        else if ((c & 0xF0) == 0xE0) { n = 2; cp = c & 0x0F; }
        else if ((c & 0xF8) == 0xF0) { n = 3; cp = c & 0x07; }
        else return false;
        for (std::size_t k = 1; k <= n; ++k) {
            if (i + k >= s.size()) return false;
            const auto d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        if ((n == 1 && cp < 0x80) || (n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) ||
            cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n + 1;
    }
    return true;
}
}  // namespace

std::optional<std::string> env_utf8(const char* name) {
    const char* v = std::getenv(name);
    if (!v) return std::nullopt;
    std::string s(v);
    if (!valid_utf8(s)) return std::nullopt;
    return s;
}

std::uint64_t precise_filetime_now() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    constexpr std::uint64_t kEpochDiff = 116444736000000000ULL;  // 1601 -> 1970 in 100 ns
    if (ts.tv_sec < 0) return 0;
    return kEpochDiff + static_cast<std::uint64_t>(ts.tv_sec) * 10000000ULL +
           static_cast<std::uint64_t>(ts.tv_nsec) / 100;
}

std::string device_type() {
    // A laptop reports a battery under power_supply.
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/class/power_supply", ec)) {
        std::ifstream type(entry.path() / "type");
        std::string t;
        if (type >> t && t == "Battery") return "laptop";
    }
    return "desktop";
}

void time_begin_period() {}
void time_end_period() {}
void trim_working_set() {}

}  // namespace hp::platform
