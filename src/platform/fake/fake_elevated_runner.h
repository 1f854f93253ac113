#pragma once
// An elevated runner that records each request and answers from a script
// (or by calling the test's handler, which may stand in for the program).
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/elevation.h"

namespace hp::fake {

class FakeElevatedRunner : public platform::ElevatedRunner {
public:
    struct Request {
        std::string program;
        std::vector<std::string> args;
        std::uintptr_t owner = 0;
        friend bool operator==(const Request&, const Request&) = default;
    };
    using Handler = std::function<Result<platform::ElevatedOutcome>(const Request&)>;

    Result<platform::ElevatedOutcome> run_elevated_and_wait(const std::string& program,
                                                            const std::vector<std::string>& args,
                                                            std::uintptr_t owner) override {
        const Request request{program, args, owner};
        Handler handler;
        Result<platform::ElevatedOutcome> answer;
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
            handler = handler_;
            answer = answer_;
        }
        return handler ? handler(request) : answer;
    }

    // The answer to every request (default: the program ran and exited 0).
    void answer(Result<platform::ElevatedOutcome> outcome) {
        std::lock_guard lock(mutex_);
        answer_ = std::move(outcome);
        handler_ = nullptr;
    }
    // Or a handler that makes the answer; it runs outside the fake's lock.
    void answer_with(Handler handler) {
        std::lock_guard lock(mutex_);
        handler_ = std::move(handler);
    }
    std::vector<Request> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Request> requests_;
    Result<platform::ElevatedOutcome> answer_ = platform::ElevatedOutcome{};
    Handler handler_;
};

}  // namespace hp::fake
