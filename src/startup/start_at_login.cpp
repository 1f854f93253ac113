#include "startup/start_at_login.h"

#include "base/utf8.h"

namespace hp::startup {

std::string launch_command(std::string_view exePath) {
    std::string command = "\"";
    command += exePath;
    command += "\" --background";
    return command;
}

bool run_value_matches(std::u16string_view units, std::string_view command) {
    std::string text = utf16_to_utf8(units);
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return text == command;
}

std::vector<std::string> query_task_arguments() {
    return {"/Query", "/TN", std::string(kTaskName)};
}

std::vector<std::string> create_task_arguments(std::string_view command) {
    return {"/Create", "/TN", std::string(kTaskName), "/TR", std::string(command), "/SC", "ONLOGON",
            "/RL", "HIGHEST", "/F"};
}

std::vector<std::string> delete_task_arguments() {
    return {"/Delete", "/TN", std::string(kTaskName), "/F"};
}

std::string elevated_parameters(const std::vector<std::string>& args) {
    std::string out;
    for (const std::string& arg : args) {
        if (!out.empty()) out += ' ';
        if (arg.find_first_of(" \"") == std::string::npos) {
            out += arg;
            continue;
        }
        out += '"';
        for (const char c : arg) {
            if (c == '"') out += '\\';
            out += c;
        }
        out += '"';
    }
    return out;
}

StartAtLogin::StartAtLogin(StartAtLoginOptions options)
    : options_(std::move(options)), command_(launch_command(options_.executablePath)) {}

bool StartAtLogin::start_entry_enabled() {
    if (!options_.registry) return false;
    const auto units = options_.registry->read_units(kRunKey, kRunValueName, kRunValueBufferBytes);
    return units && run_value_matches(*units, command_);
}

bool StartAtLogin::set_start_entry(bool enable) {
    if (!options_.registry) return false;
    const Status done = enable ? options_.registry->write_string(kRunKey, kRunValueName, utf8_to_utf16(command_))
                               : options_.registry->delete_value(kRunKey, kRunValueName);
    return done.has_value();
}

bool StartAtLogin::elevated_task_exists() {
    {
        std::lock_guard lock(cacheMutex_);
        if (cachedAt_ && options_.now() - *cachedAt_ < kTaskCacheLife) return cachedAnswer_;
    }
    // No lock while schtasks.exe runs.
    const bool exists = run_schtasks(query_task_arguments());
    std::lock_guard lock(cacheMutex_);
    cachedAnswer_ = exists;
    cachedAt_ = options_.now();
    return exists;
}

void StartAtLogin::toggle_elevated_task(bool currentlyExists) {
    {
        std::lock_guard lock(cacheMutex_);
        cachedAnswer_ = !currentlyExists;
        const Instant now = options_.now();
        if (now.time_since_epoch() >= kToggleAnswerAge)
            cachedAt_ = now - kToggleAnswerAge;
        else
            cachedAt_.reset();
    }
    const auto args = currentlyExists ? delete_task_arguments() : create_task_arguments(command_);
    if (run_schtasks(args)) return;  // the program already has the rights
    if (options_.shell) options_.shell->run_elevated(kSchtasks, elevated_parameters(args));
}

bool StartAtLogin::run_schtasks(const std::vector<std::string>& args) {
    if (!options_.processes) return false;
    platform::ProcessRequest request;
    request.program = std::string(kSchtasks);
    request.args = args;
    request.timeLimit = options_.schtasksLimit;
    const auto outcome = options_.processes->run(request);
    return outcome && outcome->exitCode == 0;
}

std::string program_name(std::u16string_view exeFileName) {
    std::u16string_view file = exeFileName;
    if (const auto slash = file.find_last_of(u"\\/"); slash != std::u16string_view::npos)
        file = file.substr(slash + 1);
    std::u16string_view stem = file;
    if (file.empty() || file == u"." || file == u"..") return "This app";
    if (const auto dot = file.rfind(u'.'); dot != std::u16string_view::npos) stem = file.substr(0, dot);
    if (stem.empty()) return "This app";  // only an extension
    // Unpaired surrogates: the name cannot be shown as it is.
    for (std::size_t i = 0; i < stem.size(); ++i) {
        const char16_t u = stem[i];
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 >= stem.size() || stem[i + 1] < 0xDC00 || stem[i + 1] > 0xDFFF) return "This app";
            ++i;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            return "This app";
        }
    }
    return utf16_to_utf8(stem);
}

std::string login_question_text(std::string_view name) {
    return "Start " + std::string(name) +
           " when you log in to Windows?\n\nYou can change this later from the tray menu.";
}

std::string login_failure_text(std::string_view name) {
    return std::string(name) +
           " could not be set to start at login (the registry entry could not be written). You can try "
           "again from the tray menu.";
}

}  // namespace hp::startup
