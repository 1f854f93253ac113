#include "base/command_line.h"

namespace hp {

std::string quote_windows_argument(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes are literal unless they precede a quote, where each one
        // must be doubled and the quote itself escaped.
        if (c == '"') {
            out.append(backslashes * 2 + 1, '\\');
        } else {
            out.append(backslashes, '\\');
        }
        backslashes = 0;
        out.push_back(c);
    }
    // The closing quote follows: double any trailing backslashes.
    out.append(backslashes * 2, '\\');
    out.push_back('"');
    return out;
}

std::string windows_command_line(const std::string& program, const std::vector<std::string>& args) {
    std::string line = quote_windows_argument(program);
    for (const auto& a : args) {
        line.push_back(' ');
        line += quote_windows_argument(a);
    }
    return line;
}

}  // namespace hp
