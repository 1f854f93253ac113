// hearthpad-client on Linux: arguments are UTF-8 already.
#include <iostream>
#include <string>
#include <vector>

#include "client/commands.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    auto invocation = hp::client::parse_command_line(args);
    if (!invocation) {
        std::cerr << "error: " << invocation.error().text << "\n" << hp::client::usage_text();
        return hp::client::kExitUsage;
    }
    return hp::client::run(*invocation, std::cout, std::cerr);
}
