#pragma once
// Where the host keeps its files, and the controller event log.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/system.h"

namespace hp::store {

// RC_DATA_DIR, else APPDATA\Hearthpad, else HOME/.config/Hearthpad, else
// ./.config/Hearthpad. Reads the environment, creates nothing.
std::filesystem::path data_dir(const platform::System& system);

// The timestamp written for a FILETIME value (100-ns units since 1601).
std::uint64_t filetime_to_unix_ms(std::uint64_t filetime);

// One line of the controller log, with the time it was made.
struct LogLine {
    std::uint64_t unixMs = 0;
    std::string text;
};

// The small append-only log of virtual-controller events in
// LOCALAPPDATA/Hearthpad/controller.log. Writing never fails visibly: every
// problem skips the entry.
class ControllerLog {
public:
    using ClockMs = std::function<std::uint64_t()>;

    // `dir` is where controller.log lives (nothing: the log is off); `clock`
    // gives the Unix time in milliseconds for new lines.
    ControllerLog(std::optional<std::filesystem::path> dir, ClockMs clock);

    // The log of this system: LOCALAPPDATA/Hearthpad with the system's clock.
    static ControllerLog for_system(std::shared_ptr<const platform::System> system);

    // A line stamped now, to be written later (outside any lock).
    LogLine line(std::string text) const { return LogLine{clock_(), std::move(text)}; }

    // Appends "<unix ms> <text>\n", starting a fresh file when the old one
    // exceeds 65536 bytes.
    void write(const LogLine& line) const;
    void write(std::string_view text) const { write(line(std::string(text))); }

    const std::optional<std::filesystem::path>& dir() const { return dir_; }

private:
    std::optional<std::filesystem::path> dir_;
    ClockMs clock_;
};

}  // namespace hp::store
