#pragma once
// A shell launcher that records each elevated start instead of prompting.
#include <mutex>
#include <string>
#include <vector>

#include "platform/shell_launcher.h"

namespace hp::fake {

class RecordingShellLauncher : public platform::ShellLauncher {
public:
    struct Call {
        std::string program;
        std::string parameters;
        friend bool operator==(const Call&, const Call&) = default;
    };
    void run_elevated(std::string_view program, std::string_view parameters) override {
        std::lock_guard lock(mutex_);
        calls_.push_back({std::string(program), std::string(parameters)});
    }
    std::vector<Call> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Call> calls_;
};

}  // namespace hp::fake
