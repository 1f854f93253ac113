#pragma once
// Programs the host starts without a window and without reading what they
// print: here, PowerShell for the display-brightness step.
#include <optional>
#include <string>
#include <vector>

namespace hp::platform::win32 {

// Starts the file `program` (a full path) with the command line `name`
// followed by `args`, CREATE_NO_WINDOW, no handles inherited, and waits for
// it to end. False when it could not be started.
bool run_hidden(const std::wstring& program, const std::string& name, const std::vector<std::string>& args);

// powershell.exe of the system: System32\WindowsPowerShell\v1.0 below the
// system directory; nothing when the system directory cannot be told.
std::optional<std::wstring> powershell_path();

// One brightness step as the host runs it: the system's PowerShell, with
// the command line kBrightnessProgram and the step's arguments. Failures are
// silent.
void run_brightness_step(bool up);

}  // namespace hp::platform::win32
