#include "startup/forget_startup.h"

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <utility>

#include "base/utf8.h"

namespace hp::startup {

namespace {

// The output as text whose markup is ASCII: UTF-16LE becomes UTF-8 (an
// unpaired surrogate becomes U+FFFD); 8-bit output stays as it is, so bytes
// of another code page outside the command do not matter.
std::string as_text(std::string_view bytes) {
    bool utf16 = false;
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
        bytes.remove_prefix(2);
        utf16 = true;
    } else if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        bytes.remove_prefix(3);
    } else if (bytes.size() >= 2 && bytes[0] != '\0' && bytes[1] == '\0') {
        // No mark, but an ASCII character ('<', white space) as its first
        // unit.
        utf16 = true;
    }
    if (!utf16) return std::string(bytes);
    std::u16string units(bytes.size() / 2, u'\0');  // an odd last byte is cut-off output
    for (std::size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(static_cast<std::uint8_t>(bytes[2 * i]) |
                                         (static_cast<std::uint8_t>(bytes[2 * i + 1]) << 8));
    return utf16_to_utf8(units);
}

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trim_space(std::string_view s) {
    while (!s.empty() && is_space(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_space(s.back())) s.remove_suffix(1);
    return s;
}

// Appends the character of the reference "&...;" at the start of `s` and
// moves past it; false for an unknown or ill-formed one.
bool decode_reference(std::string_view& s, std::string& out) {
    const auto end = s.find(';');
    if (end == std::string_view::npos) return false;
    const std::string_view name = s.substr(1, end - 1);
    s.remove_prefix(end + 1);
    if (name == "amp") out += '&';
    else if (name == "lt") out += '<';
    else if (name == "gt") out += '>';
    else if (name == "quot") out += '"';
    else if (name == "apos") out += '\'';
    else if (name.size() >= 2 && name[0] == '#') {
        const bool hex = name[1] == 'x';
        const std::string_view digits = name.substr(hex ? 2 : 1);
        if (digits.empty() || digits.size() > 6) return false;
        char32_t cp = 0;
        for (const char c : digits) {
            int d = -1;
            if (c >= '0' && c <= '9') d = c - '0';
            else if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
            else if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
            if (d < 0) return false;
            cp = cp * (hex ? 16 : 10) + static_cast<char32_t>(d);
        }
        if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return false;
        append_utf8(out, cp);
    } else {
        return false;
    }
    return true;
}

// The element name of a tag's inside ("Exec", "/Exec", "task:Exec a='1'"),
// without a namespace prefix.
std::string_view element_name(std::string_view tag) {
    std::size_t n = 0;
    while (n < tag.size() && !is_space(tag[n]) && tag[n] != '/') ++n;
    std::string_view name = tag.substr(0, n);
    if (const auto colon = name.find(':'); colon != std::string_view::npos) name.remove_prefix(colon + 1);
    return name;
}

enum class Skip { Done, Bad };

// Markup at the start of `rest` that is not an element (a declaration, a
// processing instruction, a comment, a document type, a CDATA section) is
// skipped whole; a CDATA section's text goes to `text` when given.
std::optional<Skip> skip_non_element(std::string_view& rest, std::string* text) {
    static constexpr std::pair<std::string_view, std::string_view> kinds[] = {
        {"<?", "?>"}, {"<!--", "-->"}, {"<![CDATA[", "]]>"}, {"<!", ">"}};
    for (const auto& [start, stop] : kinds) {
        if (!rest.starts_with(start)) continue;
        const auto end = rest.find(stop, start.size());
        if (end == std::string_view::npos) return Skip::Bad;
        if (text && start == "<![CDATA[") *text += rest.substr(start.size(), end - start.size());
        rest.remove_prefix(end + stop.size());
        return Skip::Done;
    }
    return std::nullopt;
}

}  // namespace

std::vector<std::string> query_task_xml_arguments() { return {"/Query", "/TN", std::string(kTaskName), "/XML"}; }

std::optional<std::string> task_command_from_query(std::string_view output) {
    const std::string text = as_text(output);
    std::string_view rest = text;
    std::vector<std::string_view> open;  // the elements around the current position
    std::optional<std::string> command;
    std::string current;  // the command being read
    bool inCommand = false;
    int execs = 0;
    const auto at = [&open](std::initializer_list<std::string_view> path) {
        return std::equal(open.begin(), open.end(), path.begin(), path.end());
    };
    while (!rest.empty()) {
        if (rest[0] == '&' && inCommand) {
            if (!decode_reference(rest, current)) return std::nullopt;
        } else if (rest[0] != '<') {
            if (inCommand) current += rest[0];
            rest.remove_prefix(1);
        } else if (const auto skipped = skip_non_element(rest, inCommand ? &current : nullptr)) {
            if (*skipped == Skip::Bad) return std::nullopt;
        } else {
            const auto end = rest.find('>');
            if (end == std::string_view::npos) return std::nullopt;
            const std::string_view tag = rest.substr(1, end - 1);
            rest.remove_prefix(end + 1);
            if (tag.starts_with('/')) {
                const std::string_view name = element_name(tag.substr(1));
                if (open.empty() || open.back() != name) return std::nullopt;  // includes markup in the command
                open.pop_back();
                if (inCommand) {
                    if (command) return std::nullopt;  // a second command
                    command = current;
                    inCommand = false;
                }
                continue;
            }
            if (inCommand) return std::nullopt;  // an element inside the command
            const std::string_view name = element_name(tag);
            const bool empty = tag.ends_with('/');
            if (name == "Exec" && at({"Task", "Actions"})) ++execs;
            if (name == "Command" && !empty && at({"Task", "Actions", "Exec"})) {
                inCommand = true;
                current.clear();
            }
            if (!empty) open.push_back(name);
        }
    }
    if (!open.empty() || execs != 1 || !command) return std::nullopt;
    std::string_view cmd = trim_space(*command);
    if (cmd.size() >= 2 && cmd.front() == '"' && cmd.back() == '"') cmd = trim_space(cmd.substr(1, cmd.size() - 2));
    if (cmd.empty() || !is_valid_utf8(cmd)) return std::nullopt;
    return std::string(cmd);
}

bool same_path_ascii_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

namespace {

// The Run value, when it holds exactly the command this program writes.
void forget_run_value(const ForgetStartupOptions& options, bool& remains) {
    if (!options.registry) return;
    const auto units = options.registry->read_units(kRunKey, kRunValueName, kRunValueBufferBytes);
    if (!units || !run_value_matches(*units, launch_command(options.executablePath))) return;
    if (!options.registry->delete_value(kRunKey, kRunValueName)) remains = true;
}

// The task, when its definition can be read and its command is this
// program.
void forget_task(const ForgetStartupOptions& options, bool& remains) {
    if (!options.processes) return;
    platform::ProcessRequest request;
    request.program = options.schtasks;
    request.args = query_task_xml_arguments();
    request.timeLimit = options.schtasksLimit;
    const auto query = options.processes->run(request);
    if (!query || query->exitCode != 0 || query->truncated) return;  // no task, or none we can read
    const auto command = task_command_from_query(query->output);
    if (!command) return;
    const bool ours = options.samePath ? options.samePath(*command, options.executablePath)
                                       : same_path_ascii_case(*command, options.executablePath);
    if (!ours) return;
    request.args = delete_task_arguments();
    const auto deleted = options.processes->run(request);
    if (!deleted || deleted->exitCode != 0) remains = true;
}

}  // namespace

ForgetStartupExit forget_startup(const ForgetStartupOptions& options) {
    if (options.executablePath.empty()) return ForgetStartupExit::UnknownProgram;
    bool remains = false;
    forget_run_value(options, remains);
    forget_task(options, remains);
    return remains ? ForgetStartupExit::EntryRemains : ForgetStartupExit::Done;
}

}  // namespace hp::startup
