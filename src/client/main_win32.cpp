// hearthpad-client on Windows: a console program whose arguments arrive as
// UTF-16 and whose output is UTF-8.
#include <windows.h>

#include <iostream>
#include <string>
#include <vector>

#include "base/utf8.h"
#include "client/commands.h"

int wmain(int argc, wchar_t** argv) {
    SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::wstring_view w(argv[i]);
        args.push_back(hp::utf16_to_utf8(std::u16string(w.begin(), w.end())));
    }
    auto invocation = hp::client::parse_command_line(args);
    if (!invocation) {
        std::cerr << "error: " << invocation.error().text << "\n" << hp::client::usage_text();
        return hp::client::kExitUsage;
    }
    return hp::client::run(*invocation, std::cout, std::cerr);
}
