#include "startup/start_at_login.h"

#include <system_error>

#include "base/atomic_file.h"
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

std::string task_name(std::string_view userSid) {
    if (userSid.empty()) return std::string(kSharedTaskName);
    return std::string(kSharedTaskName) + "-" + std::string(userSid);
}

std::vector<std::string> query_task_arguments(std::string_view name) { return {"/Query", "/TN", std::string(name)}; }

std::vector<std::string> create_task_arguments(std::string_view name, std::string_view xmlFile) {
    return {"/Create", "/TN", std::string(name), "/XML", std::string(xmlFile), "/F"};
}

std::vector<std::string> delete_task_arguments(std::string_view name) {
    return {"/Delete", "/TN", std::string(name), "/F"};
}

std::vector<std::string> run_task_arguments(std::string_view name) { return {"/Run", "/TN", std::string(name)}; }

std::string xml_escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string task_definition_xml(std::string_view exePath, std::string_view userSid) {
    // A logon trigger without a user fires at every user's logon
    // (LogonTrigger.UserId: "NULL: the task is started when any user logs
    // on"): it names the same account as the principal.
    const std::string userId =
        userSid.empty() ? std::string() : "      <UserId>" + xml_escape(userSid) + "</UserId>\r\n";
    std::string principal = "    <Principal id=\"Author\">\r\n" + userId;
    principal +=
        "      <LogonType>InteractiveToken</LogonType>\r\n"
        "      <RunLevel>HighestAvailable</RunLevel>\r\n"
        "    </Principal>\r\n";
    // Priority 5: a normal priority class and normal I/O and memory
    // priority, as a program the user starts gets (the scheduler's default,
    // 7, is below normal in all three).
    return "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
           "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n"
           "  <Triggers>\r\n"
           "    <LogonTrigger>\r\n"
           "      <Enabled>true</Enabled>\r\n" +
           userId +
           "    </LogonTrigger>\r\n"
           "  </Triggers>\r\n"
           "  <Principals>\r\n" +
           principal +
           "  </Principals>\r\n"
           "  <Settings>\r\n"
           "    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>\r\n"
           "    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>\r\n"
           "    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>\r\n"
           "    <ExecutionTimeLimit>PT0S</ExecutionTimeLimit>\r\n"
           "    <Priority>5</Priority>\r\n"
           "  </Settings>\r\n"
           "  <Actions Context=\"Author\">\r\n"
           "    <Exec>\r\n"
           "      <Command>" +
           xml_escape(exePath) +
           "</Command>\r\n"
           "      <Arguments>--background</Arguments>\r\n"
           "    </Exec>\r\n"
           "  </Actions>\r\n"
           "</Task>\r\n";
}

Bytes task_definition_file(std::string_view exePath, std::string_view userSid) {
    const std::u16string units = utf8_to_utf16(task_definition_xml(exePath, userSid));
    Bytes out{0xFF, 0xFE};
    out.reserve(2 + units.size() * 2);
    for (const char16_t u : units) {
        out.push_back(static_cast<std::uint8_t>(u & 0xFF));
        out.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    return out;
}

namespace {

// The definition file, removed when schtasks.exe is done with it.
class DefinitionFile {
public:
    explicit DefinitionFile(std::filesystem::path path) : path_(std::move(path)) {}
    DefinitionFile(const DefinitionFile&) = delete;
    DefinitionFile& operator=(const DefinitionFile&) = delete;
    ~DefinitionFile() {
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace

StartAtLogin::StartAtLogin(StartAtLoginOptions options)
    : options_(std::move(options)),
      command_(launch_command(options_.executablePath)),
      task_(task_name(options_.userSid)) {}

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
    bool exists = run_schtasks(query_task_arguments(task_));
    if (!exists) {
        const Shared shared = shared_task();
        exists = shared != Shared::NotOurs;
        // Replaced only without a prompt: a look at the menu never asks
        // for rights. The shared one goes only once the user's own exists.
        if (shared == Shared::OursForThisProgram && create_task(false, 0))
            (void)run_schtasks(delete_task_arguments(kSharedTaskName));
    }
    std::lock_guard lock(cacheMutex_);
    cachedAnswer_ = exists;
    cachedAt_ = options_.now();
    return exists;
}

void StartAtLogin::toggle_elevated_task(bool currentlyExists, std::uintptr_t owner) {
    {
        std::lock_guard lock(cacheMutex_);
        cachedAnswer_ = !currentlyExists;
        const Instant now = options_.now();
        if (now.time_since_epoch() >= kToggleAnswerAge)
            cachedAt_ = now - kToggleAnswerAge;
        else
            cachedAt_.reset();
    }
    if (currentlyExists) {
        // Each form that is there (a /Delete of a missing task would fail
        // and ask for rights for nothing).
        if (run_schtasks(query_task_arguments(task_))) (void)change_task(delete_task_arguments(task_), owner);
        if (shared_task() != Shared::NotOurs) (void)change_task(delete_task_arguments(kSharedTaskName), owner);
        return;
    }
    if (create_task(true, owner) && shared_task() != Shared::NotOurs)
        (void)change_task(delete_task_arguments(kSharedTaskName), owner);
}

bool StartAtLogin::create_task(bool prompt, std::uintptr_t owner) {
    std::error_code ec;
    std::filesystem::path dir = options_.temporaryDirectory;
    if (dir.empty()) dir = std::filesystem::temp_directory_path(ec);
    if (ec || dir.empty()) return false;
    const DefinitionFile file(dir / (std::string(kSharedTaskName) + "-" + std::to_string(++definitions_) + ".xml"));
    if (!write_file_atomically(file.path(), tmp_sibling(file.path()),
                               task_definition_file(options_.executablePath, options_.userSid)))
        return false;
    const auto args = create_task_arguments(task_, path_text(file.path()));
    return prompt ? change_task(args, owner) : run_schtasks(args);
}

StartAtLogin::Shared StartAtLogin::shared_task() {
    // Without the user's SID the user's own name is the shared one.
    if (options_.userSid.empty() || !options_.processes) return Shared::NotOurs;
    const auto definition =
        query_task_definition(*options_.processes, std::string(kSchtasks), kSharedTaskName, options_.schtasksLimit);
    if (!definition || !task_runs_as_user(*definition, options_.userSid, options_.sameUser)) return Shared::NotOurs;
    return task_starts_program(*definition, options_.executablePath, options_.samePath) ? Shared::OursForThisProgram
                                                                                          : Shared::Ours;
}

bool StartAtLogin::change_task(const std::vector<std::string>& args, std::uintptr_t owner) {
    if (run_schtasks(args)) return true;  // the program already has the rights
    if (!options_.elevated || !options_.processes) return false;
    // The same program the direct start found, by its full path: the
    // elevated start must not search folders of its own.
    platform::ProcessRequest request;
    request.program = std::string(kSchtasks);
    const auto program = options_.processes->locate(request);
    if (!program) return false;
    // Waits for the user's answer and for schtasks.exe, which reads the
    // definition file: it is removed only after this returns. A refusal
    // leaves things as they were.
    const auto outcome = options_.elevated->run_elevated_and_wait(*program, args, owner);
    return outcome && !outcome->declined && outcome->exitCode == 0;
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
