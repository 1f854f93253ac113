#pragma once
// Quoting of program arguments for a Windows command line, so that the
// program's own argument splitting (CommandLineToArgvW and the C runtime)
// gives back each argument unchanged.
#include <string>
#include <string_view>
#include <vector>

namespace hp {

inline std::string quote_windows_argument(std::string_view arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string_view::npos)
        return std::string(arg);
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count as escapes only in front of a quote.
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out.push_back(c);
    }
    out.append(backslashes * 2, '\\');  // before the closing quote
    out.push_back('"');
    return out;
}

// The program followed by its arguments, each quoted as needed.
inline std::string windows_command_line(std::string_view program, const std::vector<std::string>& args) {
    std::string line = quote_windows_argument(program);
    for (const auto& a : args) line += " " + quote_windows_argument(a);
    return line;
}

}  // namespace hp
