#pragma once
// A desktop shell that records what it was asked to open and answers from
// the test's settings; it starts nothing.
#include <mutex>
#include <string>
#include <vector>

#include "platform/shell_launcher.h"

namespace hp::fake {

class FakeShellLauncher : public platform::ShellLauncher {
public:
    struct Launch {
        std::string program;
        std::string folder;
        friend bool operator==(const Launch&, const Launch&) = default;
    };

    explicit FakeShellLauncher(bool present = true) : present_(present) {}

    bool shell_present() override {
        std::lock_guard lock(mutex_);
        ++presenceChecks_;
        return present_;
    }
    Status shell_execute(const std::string& program, const std::string& folder) override {
        std::lock_guard lock(mutex_);
        launches_.push_back({program, folder});
        return answer_;
    }

    // The answer to every launch (default: accepted).
    void answer(Status status) {
        std::lock_guard lock(mutex_);
        answer_ = std::move(status);
    }
    std::vector<Launch> launches() const {
        std::lock_guard lock(mutex_);
        return launches_;
    }
    int presence_checks() const {
        std::lock_guard lock(mutex_);
        return presenceChecks_;
    }

private:
    mutable std::mutex mutex_;
    bool present_;
    int presenceChecks_ = 0;
    Status answer_{};
    std::vector<Launch> launches_;
};

}  // namespace hp::fake
