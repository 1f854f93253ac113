#pragma once
// Programs started through the shell rather than directly: here, a program
// run with administrator rights after the system's elevation prompt.
#include <memory>
#include <string_view>

namespace hp::platform {

class ShellLauncher {
public:
    virtual ~ShellLauncher() = default;
    // Asks the shell to run `program` (a full path, or the bare name of a
    // program of the system, taken from the system directory) elevated with
    // the parameter text as given, without a window. The system shows its
    // elevation prompt; whether the program ran is not known here.
    virtual void run_elevated(std::string_view program, std::string_view parameters) = 0;
};

// The real shell (Windows only).
std::shared_ptr<ShellLauncher> make_shell_launcher();

}  // namespace hp::platform
