#include "sas/brightness.h"

namespace hp::sas {

std::string brightness_script(bool up) {
    const int step = up ? kBrightnessStep : -kBrightnessStep;
    return "$b=(Get-CimInstance -Namespace root/WMI -ClassName WmiMonitorBrightness | Select-Object -First 1)"
           ".CurrentBrightness;$n=[Math]::Min(100,[Math]::Max(0,$b+(" +
           std::to_string(step) +
           ")));Get-CimInstance -Namespace root/WMI -ClassName WmiMonitorBrightnessMethods | ForEach-Object { $_ | "
           "Invoke-CimMethod -MethodName WmiSetBrightness -Arguments @{Timeout=1;Brightness=$n} | Out-Null }";
}

std::vector<std::string> brightness_arguments(bool up) {
    return {"-NoProfile", "-NonInteractive", "-WindowStyle", "Hidden", "-Command", brightness_script(up)};
}

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

}  // namespace hp::sas
