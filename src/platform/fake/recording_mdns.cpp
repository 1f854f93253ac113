#include "platform/fake/recording_mdns.h"

#include <algorithm>

namespace hp::fake {

namespace {

using platform::MdnsRegistrationState;

class Registration final : public platform::MdnsRegistration {
public:
    Registration(std::shared_ptr<RecordingMdnsResponder::Log> log, std::size_t index, std::string full_name)
        : log_(std::move(log)), index_(index), fullName_(std::move(full_name)) {}
    ~Registration() override {
        std::lock_guard lock(log_->mutex);
        auto& entry = log_->registrations[index_];
        entry.live = false;
        switch (entry.state) {
            case MdnsRegistrationState::Registered:
                log_->calls.push_back({MdnsCall::Op::Unregister, fullName_, {}});
                break;
            case MdnsRegistrationState::Pending:
                log_->calls.push_back({MdnsCall::Op::Cancel, fullName_, {}});
                break;
            case MdnsRegistrationState::Failed:
                break;
        }
    }
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;

    MdnsRegistrationState state() const override {
        std::lock_guard lock(log_->mutex);
        return log_->registrations[index_].state;
    }

private:
    std::shared_ptr<RecordingMdnsResponder::Log> log_;
    std::size_t index_;
    std::string fullName_;
};

}  // namespace

RecordingMdnsResponder::RecordingMdnsResponder() : log_(std::make_shared<Log>()) {}

Result<std::unique_ptr<platform::MdnsRegistration>> RecordingMdnsResponder::register_service(
    const platform::MdnsService& s) {
    std::lock_guard lock(log_->mutex);
    if (log_->refuse > 0) {
        --log_->refuse;
        return fail("refused");
    }
    log_->calls.push_back({MdnsCall::Op::Register, s.full_name(), s});
    log_->registrations.push_back({log_->startAs});
    return std::make_unique<Registration>(log_, log_->registrations.size() - 1, s.full_name());
}

void RecordingMdnsResponder::refuse_next(int count) {
    std::lock_guard lock(log_->mutex);
    log_->refuse = count;
}

void RecordingMdnsResponder::start_new_as(MdnsRegistrationState state) {
    std::lock_guard lock(log_->mutex);
    log_->startAs = state;
}

void RecordingMdnsResponder::answer_live(MdnsRegistrationState state) {
    std::lock_guard lock(log_->mutex);
    for (auto& r : log_->registrations)
        if (r.live) r.state = state;
}

std::vector<MdnsCall> RecordingMdnsResponder::calls() const {
    std::lock_guard lock(log_->mutex);
    return log_->calls;
}

std::vector<std::string> RecordingMdnsResponder::lines() const {
    std::vector<std::string> out;
    for (const auto& c : calls()) {
        const char* op = c.op == MdnsCall::Op::Register     ? "register "
                         : c.op == MdnsCall::Op::Unregister ? "unregister "
                                                            : "cancel ";
        out.push_back(op + c.fullName);
    }
    return out;
}

int RecordingMdnsResponder::live() const {
    std::lock_guard lock(log_->mutex);
    return static_cast<int>(std::count_if(log_->registrations.begin(), log_->registrations.end(),
                                           [](const Log::Entry& r) { return r.live; }));
}

void RecordingMdnsResponder::clear() {
    std::lock_guard lock(log_->mutex);
    log_->calls.clear();
}

}  // namespace hp::fake
