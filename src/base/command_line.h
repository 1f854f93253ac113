#pragma once
// Windows command lines: arguments quoted so that the C runtime's parser
// (and CommandLineToArgvW) reads back exactly what was meant.
#include <string>
#include <vector>

namespace hp {

// One Windows command-line argument, quoted so that the C runtime's argument
// parser (and CommandLineToArgvW) reads back exactly `arg`.
std::string quote_windows_argument(const std::string& arg);

// The program followed by its quoted arguments, separated by single spaces.
std::string windows_command_line(const std::string& program, const std::vector<std::string>& args);

}  // namespace hp
