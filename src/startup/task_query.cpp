#include "startup/task_query.h"

#include <cstddef>
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


std::vector<std::string> query_task_xml_arguments(std::string_view taskName) {
    return {"/Query", "/TN", std::string(taskName), "/XML"};
}

namespace {

// The text of the element at `path` (from the root element), whose parent
// (the path without its last name) occurs exactly once in the document;
// entities and CDATA decoded. Nothing when the document is cut short or
// ill-formed around it, the parent is missing or repeated, the element is
// missing or repeated, or it holds markup or an unknown entity.
std::optional<std::string> single_element_text(const std::string& text, std::initializer_list<std::string_view> path) {
    const std::vector<std::string_view> leafPath(path);
    const std::vector<std::string_view> parentPath(leafPath.begin(), leafPath.end() - 1);
    std::string_view rest = text;
    std::vector<std::string_view> open;  // the elements around the current position
    std::optional<std::string> found;
    std::string current;  // the element's text being read
    bool inLeaf = false;
    int parents = 0;
    const auto at = [&open](const std::vector<std::string_view>& p) { return open == p; };
    while (!rest.empty()) {
        if (rest[0] == '&' && inLeaf) {
            if (!decode_reference(rest, current)) return std::nullopt;
        } else if (rest[0] != '<') {
            if (inLeaf) current += rest[0];
            rest.remove_prefix(1);
        } else if (const auto skipped = skip_non_element(rest, inLeaf ? &current : nullptr)) {
            if (*skipped == Skip::Bad) return std::nullopt;
        } else {
            const auto end = rest.find('>');
            if (end == std::string_view::npos) return std::nullopt;
            const std::string_view tag = rest.substr(1, end - 1);
            rest.remove_prefix(end + 1);
            if (tag.starts_with('/')) {
                const std::string_view name = element_name(tag.substr(1));
                if (open.empty() || open.back() != name) return std::nullopt;  // includes markup in the text
                open.pop_back();
                if (inLeaf) {
                    if (found) return std::nullopt;  // a second one
                    found = current;
                    inLeaf = false;
                }
                continue;
            }
            if (inLeaf) return std::nullopt;  // an element inside the text
            const std::string_view name = element_name(tag);
            const bool empty = tag.ends_with('/');
            open.push_back(name);
            if (at(parentPath)) ++parents;
            if (!empty && at(leafPath)) {
                inLeaf = true;
                current.clear();
            }
            if (empty) open.pop_back();
        }
    }
    if (!open.empty() || parents != 1 || !found) return std::nullopt;
    return found;
}

}  // namespace

std::optional<std::string> task_command_from_query(std::string_view output) {
    const auto command = single_element_text(as_text(output), {"Task", "Actions", "Exec", "Command"});
    if (!command) return std::nullopt;
    std::string_view cmd = trim_space(*command);
    if (cmd.size() >= 2 && cmd.front() == '"' && cmd.back() == '"') cmd = trim_space(cmd.substr(1, cmd.size() - 2));
    if (cmd.empty() || !is_valid_utf8(cmd)) return std::nullopt;
    return std::string(cmd);
}

std::optional<std::string> task_user_from_query(std::string_view output) {
    const auto user = single_element_text(as_text(output), {"Task", "Principals", "Principal", "UserId"});
    if (!user) return std::nullopt;
    const std::string_view text = trim_space(*user);
    if (text.empty() || !is_valid_utf8(text)) return std::nullopt;
    return std::string(text);
}

bool same_ascii_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

bool same_path_ascii_case(std::string_view a, std::string_view b) { return same_ascii_case(a, b); }

bool same_user_sid_text(std::string_view principal, std::string_view userSid) {
    return !userSid.empty() && same_ascii_case(principal, userSid);
}

bool task_starts_program(std::string_view definition, std::string_view executablePath, const SamePath& samePath) {
    const auto command = task_command_from_query(definition);
    return command && (samePath ? samePath(*command, executablePath) : same_path_ascii_case(*command, executablePath));
}

bool task_runs_as_user(std::string_view definition, std::string_view userSid, const SameUser& sameUser) {
    const auto user = task_user_from_query(definition);
    return user && (sameUser ? sameUser(*user, userSid) : same_user_sid_text(*user, userSid));
}

std::optional<std::string> query_task_definition(platform::ProcessRunner& processes, const std::string& schtasks,
                                                 std::string_view taskName, std::chrono::milliseconds limit) {
    platform::ProcessRequest request;
    request.program = schtasks;
    request.args = query_task_xml_arguments(taskName);
    request.timeLimit = limit;
    auto outcome = processes.run(request);
    if (!outcome || outcome->exitCode != 0 || outcome->truncated) return std::nullopt;
    return std::move(outcome->output);
}

}  // namespace hp::startup
