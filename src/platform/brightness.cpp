#include "platform/brightness.h"

#include <exception>
#include <mutex>
#include <optional>
#include <thread>

namespace hp::platform {

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

struct BrightnessStepper::Shared {
    explicit Shared(Runner r) : runner(std::move(r)) {}
    const Runner runner;
    std::mutex mutex;
    bool running = false;
    std::optional<bool> waiting;
};

BrightnessStepper::BrightnessStepper(Runner runner)
    : shared_(std::make_shared<Shared>(std::move(runner))) {}

BrightnessStepper::~BrightnessStepper() = default;

bool BrightnessStepper::request(bool up) {
    {
        std::lock_guard lock(shared_->mutex);
        if (shared_->running) {
            if (shared_->waiting) return false;
            shared_->waiting = up;
            return true;
        }
        shared_->running = true;
    }
    // The worker owns a reference to the shared state, so it may outlive the
    // stepper; it ends once nothing waits.
    try {
        std::thread([shared = shared_, up] {
            bool next = up;
            for (;;) {
                shared->runner(next);
                std::lock_guard lock(shared->mutex);
                if (!shared->waiting) {
                    shared->running = false;
                    return;
                }
                next = *shared->waiting;
                shared->waiting.reset();
            }
        }).detach();
    } catch (const std::exception&) {
        // No thread, no step; brightness failures are silent.
        std::lock_guard lock(shared_->mutex);
        shared_->running = false;
        return false;
    }
    return true;
}

}  // namespace hp::platform
