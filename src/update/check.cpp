#include "update/check.h"

#include <atomic>
#include <exception>
#include <mutex>
#include <thread>

#include "update/version.h"

namespace hp::update {

namespace {

// The one piece of process-wide state the checks share: the flag that keeps
// them exclusive and the lock around the record file.
struct CheckState {
    std::atomic<bool> updateCheckRunning{false};
    std::mutex updateStateLock;
};

CheckState& check_state() {
    static CheckState state;
    return state;
}

bool sleep_then_continue(std::chrono::seconds pause) {
    std::this_thread::sleep_for(pause);
    return true;
}

}  // namespace

std::string up_to_date_text() {
    return "Hearthpad is up to date (version " + std::string(running_version()) + ").";
}

std::string offer_text(std::string_view latestVersion) {
    return "Hearthpad " + std::string(latestVersion) + " is available (you have " +
           std::string(running_version()) + "). Download it now?";
}

std::uint64_t system_unix_now() {
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since).count();
    return seconds > 0 ? static_cast<std::uint64_t>(seconds) : 0;
}

std::optional<RunningCheck> RunningCheck::try_claim() {
    if (check_state().updateCheckRunning.exchange(true)) return std::nullopt;
    return RunningCheck();
}

RunningCheck::~RunningCheck() {
    if (held_) check_state().updateCheckRunning.store(false);
}

bool update_check_running() {
    return check_state().updateCheckRunning.load();
}

void offer_release(const LatestRelease& latest, platform::MessageBoxes& boxes,
                   platform::LinkOpener& opener) {
    if (boxes.show(offer_text(latest.version), kCaption, kOfferFlags) != platform::BoxAnswer::Yes)
        return;
    if (is_allowed_download_url(latest.url)) opener.open(latest.url);
}

// --- the automatic check -------------------------------------------------------

AutoTurn automatic_turn(const UpdateServices& services) {
    const std::uint64_t now = services.nowUnix();
    {
        std::lock_guard lock(check_state().updateStateLock);
        if (!is_check_due(read_update_record(services.dataDir), now))
            return {AutoOutcome::NotDue, {}};
    }
    const auto running = RunningCheck::try_claim();
    if (!running) return {AutoOutcome::Busy, {}};
    auto latest = fetch_latest(*services.https, services.system);
    if (!latest) return {AutoOutcome::FetchFailed, {}};

    AutoOutcome outcome = AutoOutcome::UpToDate;
    {
        std::lock_guard lock(check_state().updateStateLock);
        UpdateRecord record = read_update_record(services.dataDir);
        record.lastCheckUnix = now;
        if (is_newer(latest->version)) {
            const auto& announced = record.lastAnnouncedVersion;
            if (!announced || !parse_version(*announced) ||
                version_greater(latest->version, *announced)) {
                record.lastAnnouncedVersion = latest->version;
                outcome = AutoOutcome::Announced;
            } else {
                outcome = AutoOutcome::AlreadyAnnounced;
            }
        }
        write_update_record(services.dataDir, record);
    }
    if (outcome == AutoOutcome::Announced && services.boxes && services.opener)
        offer_release(*latest, *services.boxes, *services.opener);
    return {outcome, std::move(latest)};
}

void run_automatic_checks(const UpdateServices& services) {
    const auto pause = services.pause ? services.pause : sleep_then_continue;
    do {
        (void)automatic_turn(services);
    } while (pause(kAutomaticPause));
}

void start_automatic_check(UpdateServices services) {
    try {
        std::thread([services = std::move(services)] {
            if (services.nameThread) services.nameThread("update-auto");
            run_automatic_checks(services);
        }).detach();
    } catch (const std::exception&) {
        // No thread: no automatic check in this run.
    }
}

// --- the manual check ----------------------------------------------------------

ManualResult manual_check(const UpdateServices& services) {
    auto latest = fetch_latest(*services.https, services.system);
    if (!latest) return {ManualOutcome::Failed, {}};
    {
        std::lock_guard lock(check_state().updateStateLock);
        UpdateRecord record = read_update_record(services.dataDir);
        record.lastCheckUnix = services.nowUnix();
        write_update_record(services.dataDir, record);
    }
    if (!is_newer(latest->version)) return {ManualOutcome::UpToDate, std::move(latest)};
    return {ManualOutcome::Available, std::move(latest)};
}

void show_manual_result(const ManualResult& result, platform::MessageBoxes& boxes,
                        platform::LinkOpener& opener) {
    switch (result.outcome) {
        case ManualOutcome::Failed:
            (void)boxes.show(kFailedText, kCaption, kNoticeFlags);
            break;
        case ManualOutcome::UpToDate:
            (void)boxes.show(up_to_date_text(), kCaption, kNoticeFlags);
            break;
        case ManualOutcome::Available:
            if (result.latest) offer_release(*result.latest, boxes, opener);
            break;
    }
}

bool start_manual_check(UpdateServices services, ManualReport report) {
    auto running = RunningCheck::try_claim();
    if (!running) return false;
    try {
        // The thread owns the claim: the flag clears when the report is done.
        std::thread([services = std::move(services), report = std::move(report),
                     claim = std::move(*running)] {
            if (services.nameThread) services.nameThread("update-manual");
            const ManualResult result = manual_check(services);
            if (report) report(result);
        }).detach();
    } catch (const std::exception&) {
        return false;  // the claim went with the thread that never started
    }
    return true;
}

}  // namespace hp::update
