#include "platform/fake/fake_process_runner.h"

namespace hp::fake {

Result<platform::ProcessOutcome> FakeProcessRunner::run(const platform::ProcessRequest& request) {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
    if (answers_.empty()) return fail(request.program + ": not found");
    auto answer = std::move(answers_.front());
    answers_.pop_front();
    return answer;
}

void FakeProcessRunner::push(Result<platform::ProcessOutcome> answer) {
    std::lock_guard lock(mutex_);
    answers_.push_back(std::move(answer));
}

std::optional<std::string> FakeProcessRunner::locate(const platform::ProcessRequest& request) {
    std::lock_guard lock(mutex_);
    if (missing_.contains(request.program)) return std::nullopt;
    return request.program;
}

void FakeProcessRunner::set_missing(std::string program) {
    std::lock_guard lock(mutex_);
    missing_.insert(std::move(program));
}

std::vector<platform::ProcessRequest> FakeProcessRunner::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

}  // namespace hp::fake
