#pragma once
// Programs the host starts without a window and without reading what they
// print: here, PowerShell for the display-brightness step. Each run is
// waited for at most a bound and then ended, so one that hangs (a WMI
// provider that never answers) cannot hold back every later step.
#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace hp::platform::win32 {

// How long one brightness step may run before it is ended. PowerShell
// starts in a second or two and the WMI calls take well under a second.
inline constexpr std::chrono::seconds kBrightnessRunLimit{15};

enum class HiddenRun {
    NotStarted,  // CreateProcessW failed
    Exited,      // the program ended by itself within the bound
    Ended,       // it was still running at the bound and was terminated
};

// Starts the file `program` (a full path) with the command line `name`
// followed by `args`, CREATE_NO_WINDOW, no handles inherited, and waits for
// it at most `limit`; past that, TerminateProcess.
HiddenRun run_hidden(const std::wstring& program, const std::string& name, const std::vector<std::string>& args,
                     std::chrono::milliseconds limit);

// powershell.exe of the system: System32\WindowsPowerShell\v1.0 below the
// system directory; nothing when the system directory cannot be told.
std::optional<std::wstring> powershell_path();

// One brightness step as the host runs it: the system's PowerShell, with
// the command line kBrightnessProgram and the step's arguments, bounded by
// kBrightnessRunLimit. Failures are silent.
void run_brightness_step(bool up);

}  // namespace hp::platform::win32
