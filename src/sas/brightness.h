#pragma once
// The display-brightness step: a PowerShell command that reads the first
// monitor's WMI brightness, adds the step, clamps to 0-100 and applies the
// result to every monitor that offers the WMI brightness methods.
#include <string>
#include <vector>

namespace hp::sas {

// Brightness change of one step, in percent.
inline constexpr int kBrightnessStep = 10;

// The program that runs the script.
inline constexpr const char* kBrightnessProgram = "powershell.exe";

// The PowerShell script for one step up (+10) or down (-10).
std::string brightness_script(bool up);

// The arguments after the program name: the PowerShell options for a hidden,
// non-interactive run, then "-Command" and the script.
std::vector<std::string> brightness_arguments(bool up);

// One Windows command-line argument, quoted so that the C runtime's argument
// parser (and CommandLineToArgvW) reads back exactly `arg`.
std::string quote_windows_argument(const std::string& arg);

// The program followed by its quoted arguments, separated by single spaces.
std::string windows_command_line(const std::string& program, const std::vector<std::string>& args);

}  // namespace hp::sas
