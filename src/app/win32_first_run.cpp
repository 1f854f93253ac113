#include "app/win32_first_run.h"

#include <system_error>

#include "base/atomic_file.h"

namespace hp::app {

namespace {

std::filesystem::path marker_path(const std::filesystem::path& dir, std::string_view name) {
    return dir / std::filesystem::path(std::u8string(name.begin(), name.end()));
}

}  // namespace

bool marker_exists(const std::filesystem::path& dir, std::string_view name) {
    std::error_code ec;
    return std::filesystem::exists(marker_path(dir, name), ec);
}

Status write_marker(const std::filesystem::path& dir, std::string_view name) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) return fail("Could not create the data directory: " + ec.message());

    const std::filesystem::path target = marker_path(dir, name);
    if (auto ok = write_file_atomically(target, tmp_sibling(target), as_bytes("1")); !ok)
        return fail("Could not write " + std::string(name) + ": " + ok.error().text);
    return {};
}

bool claim_marker(const std::filesystem::path& dir, std::string_view name) {
    if (marker_exists(dir, name)) return false;
    (void)write_marker(dir, name);  // a failure only means the notice may repeat
    return true;
}

bool claim_vigem_notice(const std::filesystem::path& dir, bool vigemMissing) {
    return vigemMissing && claim_marker(dir, kVigemNotifiedMarker);
}

bool ask_start_at_login_once(const std::filesystem::path& dir, startup::StartAtLogin& startAtLogin,
                             const std::string& name, const LoginQuestionBoxes& boxes) {
    if (!claim_marker(dir, kStartupPromptedMarker)) return false;
    if (startAtLogin.start_entry_enabled() || startAtLogin.elevated_task_exists()) return false;
    if (!boxes.askYesNo(startup::login_question_text(name), name)) return true;
    if (!startAtLogin.set_start_entry(true)) boxes.warn(startup::login_failure_text(name), name);
    return true;
}

std::string start_failure_text(const Error& error) {
    return "Hearthpad could not start: " + error.text;
}

}  // namespace hp::app

namespace hp::app {

InstanceOutcome single_instance_outcome(bool gotHandle, unsigned long lastError) {
    constexpr unsigned long kAccessDenied = 5;    // ERROR_ACCESS_DENIED
    constexpr unsigned long kAlreadyExists = 183; // ERROR_ALREADY_EXISTS
    if (gotHandle) return lastError == kAlreadyExists ? InstanceOutcome::AlreadyRunning : InstanceOutcome::Acquired;
    return lastError == kAccessDenied ? InstanceOutcome::AlreadyRunning : InstanceOutcome::Unprotected;
}

}  // namespace hp::app
