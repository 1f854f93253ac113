#pragma once
// The display-brightness step: a PowerShell command that reads the first
// monitor's WMI brightness, adds the step, clamps to 0-100 and applies the
// result to every monitor that offers the WMI brightness methods.
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace hp::platform {

// Brightness change of one step, in percent.
inline constexpr int kBrightnessStep = 10;

// The program that runs the script, as its command line names it (Windows
// starts the system's own copy, by its full path).
inline constexpr const char* kBrightnessProgram = "powershell.exe";

// The PowerShell script for one step up (+10) or down (-10).
std::string brightness_script(bool up);

// The arguments after the program name: the PowerShell options for a hidden,
// non-interactive run, then "-Command" and the script.
std::vector<std::string> brightness_arguments(bool up);

// Runs brightness steps one at a time on a background thread: while one step
// runs, at most one more waits; a request that arrives while one already
// waits is dropped (the waiting one still runs). A held brightness key thus
// never starts more than one process at a time, and never piles them up.
class BrightnessStepper {
public:
    // Runs one step and returns when it is done (on the stepper's thread).
    using Runner = std::function<void(bool up)>;

    explicit BrightnessStepper(Runner runner);
    BrightnessStepper(const BrightnessStepper&) = delete;
    BrightnessStepper& operator=(const BrightnessStepper&) = delete;
    ~BrightnessStepper();  // lets a running step finish on its own

    // Returns false when the request was dropped.
    bool request(bool up);

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

}  // namespace hp::platform
