#pragma once
// Starting the host at login, two ways: the per-user start entry (a value
// under the current user's Run key, normal rights) and the elevated mode (a
// Task Scheduler task "HearthpadHost" that starts the host at logon with the
// highest available rights, made with schtasks.exe). Both start
// launch_command, the program's own path in quotes followed by
// " --background".
//
// The task's existence is asked of schtasks.exe, which is slow to start, so
// the answer is kept for 60 seconds; a toggle updates the kept answer at once
// and lets it expire 5 seconds later, so a refused elevation prompt corrects
// itself on the next look.
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/clock.h"
#include "platform/process_runner.h"
#include "platform/shell_launcher.h"
#include "platform/user_registry.h"

namespace hp::startup {

inline constexpr std::string_view kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr std::string_view kRunValueName = "Hearthpad";
inline constexpr std::size_t kRunValueBufferBytes = 2048;  // 1024 UTF-16 units
inline constexpr std::string_view kTaskName = "HearthpadHost";
inline constexpr std::string_view kSchtasks = "schtasks.exe";
inline constexpr std::chrono::seconds kTaskCacheLife{60};
// A toggle stores its answer this much in the past: it is asked again after
// the remaining 5 seconds.
inline constexpr std::chrono::seconds kToggleAnswerAge{55};

// "\"<path>\" --background"; the path may be empty when the system cannot
// tell it.
std::string launch_command(std::string_view exePath);

// Whether the units read from the Run value name exactly `command`: they are
// turned into UTF-8 (unpaired surrogates replaced) and trailing NULs are
// dropped; any other difference (letter case, the argument missing, another
// copy of the program) means not set.
bool run_value_matches(std::u16string_view units, std::string_view command);

// schtasks.exe argument lists.
std::vector<std::string> query_task_arguments();
std::vector<std::string> create_task_arguments(std::string_view command);
std::vector<std::string> delete_task_arguments();

// The parameter text of the elevated schtasks.exe start: the arguments in
// order, separated by single spaces; one containing a space or a double
// quote is written in double quotes with each inner double quote as \" (and
// nothing else escaped), the others as they are.
std::string elevated_parameters(const std::vector<std::string>& args);

struct StartAtLoginOptions {
    std::shared_ptr<platform::UserRegistry> registry;
    std::shared_ptr<platform::ProcessRunner> processes;
    std::shared_ptr<platform::ShellLauncher> shell;
    std::string executablePath;          // UTF-8; empty when unknown
    std::function<Instant()> now = [] { return Clock::now(); };
    // schtasks.exe is waited for; this only ends one that hangs.
    std::chrono::milliseconds schtasksLimit{120000};
};

class StartAtLogin {
public:
    explicit StartAtLogin(StartAtLoginOptions options);

    const std::string& command() const { return command_; }

    // The Run value holds exactly command().
    bool start_entry_enabled();
    // Writes command() (enable) or deletes the value (disable; a missing
    // value is success). False when the key cannot be written.
    bool set_start_entry(bool enable);

    // Whether the task exists, asked of schtasks.exe at most once a minute.
    bool elevated_task_exists();
    // Creates the task when `currentlyExists` is false, deletes it
    // otherwise; when schtasks.exe fails (not enough rights), the same
    // arguments go to an elevated schtasks.exe through the shell. The
    // outcome is not reported.
    void toggle_elevated_task(bool currentlyExists);

    // Runs schtasks.exe with `args` and waits for it: true only when it
    // started and ended with exit code 0.
    bool run_schtasks(const std::vector<std::string>& args);

private:
    StartAtLoginOptions options_;
    std::string command_;
    std::mutex cacheMutex_;
    bool cachedAnswer_ = false;
    std::optional<Instant> cachedAt_;
};

// The name the start-at-login question uses for the program: the stem of
// the executable's file name (the name without its last extension). A name
// that is empty, "..", only an extension (".exe"), or not valid UTF-16 gives
// "This app".
std::string program_name(std::u16string_view exeFileName);

// The question and the warning after a failed write, with `name` from
// program_name (also their caption).
std::string login_question_text(std::string_view name);
std::string login_failure_text(std::string_view name);

}  // namespace hp::startup
