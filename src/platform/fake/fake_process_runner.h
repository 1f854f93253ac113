#pragma once
// A process runner that answers from a script instead of starting programs,
// and records every request.
#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/process_runner.h"

namespace hp::fake {

class FakeProcessRunner : public platform::ProcessRunner {
public:
    Result<platform::ProcessOutcome> run(const platform::ProcessRequest& request) override;

    // Answers given in order; when none is left, the program "cannot be
    // started" (as when it is not installed).
    void push(Result<platform::ProcessOutcome> answer);
    // locate() finds every program except these (not installed).
    std::optional<std::string> locate(const platform::ProcessRequest& request) override;
    void set_missing(std::string program);
    std::vector<platform::ProcessRequest> requests() const;

private:
    mutable std::mutex mutex_;
    std::deque<Result<platform::ProcessOutcome>> answers_;
    std::vector<platform::ProcessRequest> requests_;
    std::set<std::string> missing_;
};

}  // namespace hp::fake
