#pragma once
// Once-only start-up notices of hearthpad.exe (the ViGEmBus notice and the
// start-at-login question), remembered by marker files in the data directory.
// Window-free, so the rules are tested natively.
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "base/result.h"
#include "startup/start_at_login.h"

namespace hp::app {

inline constexpr std::string_view kVigemNotifiedMarker = "vigem_notified";
inline constexpr std::string_view kStartupPromptedMarker = "startup_prompted";

bool marker_exists(const std::filesystem::path& dir, std::string_view name);

// Creates dir (all levels) and writes dir/name with the single character "1",
// through a temporary sibling that is renamed over the target.
Status write_marker(const std::filesystem::path& dir, std::string_view name);

// True when dir/name does not exist yet: the caller then shows its notice or
// asks its question, once. The marker is written first (a failure is
// ignored; the notice may then come again next time), so a box the user
// closes without answering is not shown again either.
bool claim_marker(const std::filesystem::path& dir, std::string_view name);

// True when the ViGEmBus notice is due: the driver is missing and the notice
// has not been shown for this data directory. Claims its marker.
bool claim_vigem_notice(const std::filesystem::path& dir, bool vigemMissing);

// How the start-at-login question reaches the user: a Yes/No question (true
// for Yes) and a warning, each with its text and caption.
struct LoginQuestionBoxes {
    std::function<bool(const std::string& text, const std::string& caption)> askYesNo;
    std::function<void(const std::string& text, const std::string& caption)> warn;
};

// The start-at-login question, once per data directory: the marker is
// claimed first; the question is asked only when neither the start entry
// nor the elevated task exists; Yes writes the start entry, and a failed
// write is followed by the warning. `name` is startup::program_name's.
// Returns true when the question was asked.
bool ask_start_at_login_once(const std::filesystem::path& dir, startup::StartAtLogin& startAtLogin,
                             const std::string& name, const LoginQuestionBoxes& boxes);

// The fatal start-up text shown in the message box.
std::string start_failure_text(const Error& error);

}  // namespace hp::app

namespace hp::app {

// The single-instance mutex: its name, and the security descriptor it is
// created with. Every process of the machine's users may wait on it
// (SYNCHRONIZE for authenticated users), so a host started without
// elevation finds one that an elevated task started; the medium integrity
// label keeps a high-integrity creator from hiding it from medium processes.
inline constexpr wchar_t kSingletonMutexName[] = L"Global\\HearthpadHostSingletonMutex";
inline constexpr wchar_t kSingletonMutexSddl[] =
    L"D:(A;;0x001F0001;;;SY)(A;;0x001F0001;;;BA)(A;;0x00100000;;;AU)S:(ML;;NW;;;ME)";

enum class InstanceOutcome {
    Acquired,        // this process is the host
    AlreadyRunning,  // another host runs: leave quietly
    Unprotected,     // the mutex could not be made: run without the guard
};

// What CreateMutexExW's result means. A mutex that another user or
// integrity level created can be refused (ERROR_ACCESS_DENIED) instead of
// opened (ERROR_ALREADY_EXISTS): both say a host already runs.
InstanceOutcome single_instance_outcome(bool gotHandle, unsigned long lastError);

}  // namespace hp::app
