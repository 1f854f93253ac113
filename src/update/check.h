#pragma once
// The update checks. The automatic one (thread "update-auto") wakes every 6
// hours, asks the update server at most once a week and offers each newer
// version once; the manual one (thread "update-manual", from the tray menu)
// asks at once and offers a newer version every time. Only one check runs
// at a time in the process (updateCheckRunning), and the update-state lock
// serialises the record file between them. Nothing is ever downloaded or
// installed: an offer the user accepts opens the download link.
//
// The threads are thin: each turn of the automatic check and the body of the
// manual check are plain functions that tests call with fakes.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/https_client.h"
#include "platform/message_box.h"
#include "platform/shell_open.h"
#include "update/manifest.h"
#include "update/record.h"

namespace hp::update {

// --- the message boxes --------------------------------------------------------
inline constexpr std::string_view kCaption = "Hearthpad";
inline constexpr std::string_view kFailedText =
    "Couldn't check for updates. Check your internet connection and try again.";
// "Hearthpad is up to date (version 0.2.0)."
std::string up_to_date_text();
// "Hearthpad 0.3.0 is available (you have 0.2.0). Download it now?"
std::string offer_text(std::string_view latestVersion);
inline constexpr std::uint32_t kNoticeFlags =
    platform::box::kIconInformation | platform::box::kSetForeground | platform::box::kTopmost;
inline constexpr std::uint32_t kOfferFlags = platform::box::kYesNo | kNoticeFlags;

// The pause between turns of the automatic check (6 hours).
inline constexpr std::chrono::seconds kAutomaticPause{21600};

// Seconds since the Unix epoch by the system clock.
std::uint64_t system_unix_now();

// What a check works with; each check's thread keeps its own copy.
struct UpdateServices {
    std::filesystem::path dataDir;  // where "update_check.txt" lives
    std::shared_ptr<platform::HttpsClient> https;
    std::string system = "Windows";                 // named in the user agent
    std::shared_ptr<platform::MessageBoxes> boxes;  // for offers; none: nothing is shown
    std::shared_ptr<platform::LinkOpener> opener;   // for accepted offers
    std::function<std::uint64_t()> nowUnix = system_unix_now;
    // Waits between automatic turns; returning false ends the automatic
    // check (production waits and returns true).
    std::function<bool(std::chrono::seconds)> pause;
    // Names the check's thread; optional.
    std::function<void(std::string_view)> nameThread;
};

// The process-wide updateCheckRunning flag, held: a check is in progress
// until this is destroyed.
class RunningCheck {
public:
    // Swaps the flag to set; nothing when it was set already.
    static std::optional<RunningCheck> try_claim();
    RunningCheck(RunningCheck&& other) noexcept : held_(std::exchange(other.held_, false)) {}
    RunningCheck& operator=(RunningCheck&&) = delete;
    ~RunningCheck();

private:
    RunningCheck() : held_(true) {}
    bool held_;
};

bool update_check_running();

// The offer: a Yes/No box; on Yes the download link is opened, provided it
// passes is_allowed_download_url.
void offer_release(const LatestRelease& latest, platform::MessageBoxes& boxes,
                   platform::LinkOpener& opener);

// --- the automatic check -----------------------------------------------------
enum class AutoOutcome {
    NotDue,            // checked less than a week ago
    Busy,              // another check runs: skipped
    FetchFailed,       // the record is left as it was, so the next turn tries again
    UpToDate,          // nothing newer; the check time is recorded
    AlreadyAnnounced,  // newer, but this version (or a later one) was offered before
    Announced,         // newer and offered now
};
struct AutoTurn {
    AutoOutcome outcome = AutoOutcome::NotDue;
    std::optional<LatestRelease> latest;
};

// One turn: when due and no other check runs, fetch, record the check time
// and the version offered, and offer it (after releasing the lock, while
// still holding updateCheckRunning).
AutoTurn automatic_turn(const UpdateServices& services);
// Turns forever, the first at once, kAutomaticPause apart (until `pause`
// returns false).
void run_automatic_checks(const UpdateServices& services);
// run_automatic_checks on a detached thread named "update-auto"; a default
// pause (sleeping) when none is given.
void start_automatic_check(UpdateServices services);

// --- the manual check ----------------------------------------------------------
enum class ManualOutcome { Failed, UpToDate, Available };
struct ManualResult {
    ManualOutcome outcome = ManualOutcome::Failed;
    std::optional<LatestRelease> latest;  // for Available
};

// Fetch and record the check time (the version offered is left as it was).
// The caller holds updateCheckRunning.
ManualResult manual_check(const UpdateServices& services);

// What the user is shown for a finished manual check: the failure box, the
// up-to-date box or the offer.
void show_manual_result(const ManualResult& result, platform::MessageBoxes& boxes,
                        platform::LinkOpener& opener);

using ManualReport = std::function<void(const ManualResult&)>;
// When no other check runs: claims updateCheckRunning and runs manual_check
// and then `report` on a detached thread named "update-manual", which
// clears the flag at its end; returns true. Otherwise nothing happens and
// the answer is false.
bool start_manual_check(UpdateServices services, ManualReport report);

}  // namespace hp::update
