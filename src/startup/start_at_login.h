#pragma once
// Starting the host at login, two ways: the per-user start entry (a value
// under the current user's Run key, normal rights) and the elevated mode (a
// Task Scheduler task that starts the host at the user's logon with the
// highest available rights, made with schtasks.exe). Both start the
// program's own path with the argument "--background".
//
// Tasks are machine-wide, so each user has a task of their own, named
// "HearthpadHost-" followed by the user's SID: users of one PC never
// replace, delete or read each other's. Earlier versions named the one
// task "HearthpadHost" for everybody; such a task still counts as this
// user's when its principal is this user, and is replaced by the user's
// own name (the new one created first, then the old one deleted) whenever
// that needs no elevation prompt.
//
// The task is registered from a full XML definition (schtasks /Create /XML):
// created from command-line options alone it would take the scheduler's
// defaults, which stop it after 72 hours and keep it from starting on
// battery, and run it at below-normal priority.
//
// The task's existence is asked of schtasks.exe, which is slow to start, so
// the answer is kept for 60 seconds; a toggle updates the kept answer at once
// and lets it expire 5 seconds later, so a refused elevation prompt corrects
// itself on the next look.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/bytes.h"
#include "base/clock.h"
#include "platform/elevation.h"
#include "platform/process_runner.h"
#include "platform/user_registry.h"
#include "startup/task_query.h"

namespace hp::startup {

inline constexpr std::string_view kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr std::string_view kRunValueName = "Hearthpad";
inline constexpr std::size_t kRunValueBufferBytes = 2048;  // 1024 UTF-16 units
// The task name every user shared before tasks were per user.
inline constexpr std::string_view kSharedTaskName = "HearthpadHost";
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

// The user's own task: "HearthpadHost-<SID>" ("HearthpadHost-S-1-5-21-…");
// the shared name when the SID is unknown.
std::string task_name(std::string_view userSid);

// schtasks.exe argument lists for the task `name`; it is created from the
// definition in `xmlFile`.
std::vector<std::string> query_task_arguments(std::string_view name);
std::vector<std::string> create_task_arguments(std::string_view name, std::string_view xmlFile);
std::vector<std::string> delete_task_arguments(std::string_view name);
std::vector<std::string> run_task_arguments(std::string_view name);

// Text for XML element content: & < > " as &amp; &lt; &gt; &quot;.
std::string xml_escape(std::string_view text);

// The task's definition (Task Scheduler schema 1.2): a logon trigger for
// `userSid` alone, the principal `userSid` (the account the host runs as)
// with its interactive token and the highest available rights (the user
// left out of both when empty, so the trigger would fire at any user's
// logon), no time limit, starting and running on battery, a second start
// ignored while one runs, normal priority (5), and the action: `exePath`
// as the command, "--background" as its arguments. Lines end with CR LF.
std::string task_definition_xml(std::string_view exePath, std::string_view userSid);

// The definition as schtasks.exe reads it from the file: UTF-16LE after a
// byte order mark (the XML declaration names UTF-16).
Bytes task_definition_file(std::string_view exePath, std::string_view userSid);

struct StartAtLoginOptions {
    std::shared_ptr<platform::UserRegistry> registry;
    std::shared_ptr<platform::ProcessRunner> processes;
    // schtasks.exe with administrator rights after the consent prompt.
    std::shared_ptr<platform::ElevatedRunner> elevated;
    std::string executablePath;          // UTF-8; empty when unknown
    std::function<Instant()> now = [] { return Clock::now(); };
    // schtasks.exe is waited for; this only ends one that hangs.
    std::chrono::milliseconds schtasksLimit{120000};
    // The account the task runs as: the current user's SID ("S-1-5-21-…").
    // Named explicitly because the elevated schtasks.exe may run as another
    // account (an administrator's, typed into the consent prompt).
    std::string userSid{};
    // Where the task's definition is written for schtasks.exe to read; the
    // system's temporary directory when empty.
    std::filesystem::path temporaryDirectory{};
    // Whether a task's principal is the user `userSid`; same_user_sid_text
    // when empty.
    SameUser sameUser{};
    // Whether a task's command names executablePath; same_path_ascii_case
    // when empty.
    SamePath samePath{};
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

    // The user's own task name (task_name of the user's SID).
    const std::string& task() const { return task_; }

    // Whether the user's task exists, asked of schtasks.exe at most once a
    // minute: the user's own name, else the shared name with this user as
    // its principal. A shared-name task of this user's that starts this
    // program is replaced by the user's own name when that works without
    // an elevation prompt (the host runs elevated, as the task starts it).
    bool elevated_task_exists();
    // Creates the user's task when `currentlyExists` is false (then deletes
    // a shared-name task of this user's), deletes the user's tasks
    // otherwise (each form that exists); when schtasks.exe fails (not
    // enough rights), the same arguments go to the system's schtasks.exe
    // run elevated, and the call waits for it (and for the user's answer to
    // the consent prompt): never call it on a thread that owns windows.
    // `owner` is the window the consent prompt belongs to (an HWND; 0 for
    // none): the window the user just chose the command in, so that the
    // prompt comes up in front rather than behind other windows. The
    // definition written for a creation is removed once schtasks.exe has
    // ended. The outcome is not reported.
    void toggle_elevated_task(bool currentlyExists, std::uintptr_t owner = 0);

    // Runs schtasks.exe with `args` and waits for it: true only when it
    // started and ended with exit code 0.
    bool run_schtasks(const std::vector<std::string>& args);

private:
    // Runs `args` directly, then elevated if that fails; whether either
    // ended with exit code 0.
    bool change_task(const std::vector<std::string>& args, std::uintptr_t owner);
    // Creates the user's task from this program's definition; `prompt`:
    // elevated after a direct failure. Whether it was created.
    bool create_task(bool prompt, std::uintptr_t owner);
    // What the shared-name task is to this user.
    enum class Shared { NotOurs, Ours, OursForThisProgram };
    Shared shared_task();

    StartAtLoginOptions options_;
    std::string command_;
    std::string task_;
    std::atomic<unsigned> definitions_{0};  // names the definition files
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
