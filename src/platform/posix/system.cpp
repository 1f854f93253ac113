#include "platform/system.h"

#include "common/utf8.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace hp::platform {


std::optional<std::string> env_utf8(const char* name) {
    const char* v = std::getenv(name);
    if (!v) return std::nullopt;
    std::string s(v);
    if (!is_valid_utf8(s)) return std::nullopt;
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
