#include "platform/fake/recording_mdns.h"

namespace hp::fake {

namespace {

class Registration final : public platform::MdnsRegistration {
public:
    Registration(std::shared_ptr<RecordingMdnsResponder::Log> log, std::string full_name)
        : log_(std::move(log)), fullName_(std::move(full_name)) {}
    ~Registration() override {
        std::lock_guard lock(log_->mutex);
        log_->calls.push_back({MdnsCall::Op::Unregister, fullName_, {}});
        --log_->live;
    }

private:
    std::shared_ptr<RecordingMdnsResponder::Log> log_;
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
    ++log_->live;
    return std::make_unique<Registration>(log_, s.full_name());
}

void RecordingMdnsResponder::refuse_next(int count) {
    std::lock_guard lock(log_->mutex);
    log_->refuse = count;
}

std::vector<MdnsCall> RecordingMdnsResponder::calls() const {
    std::lock_guard lock(log_->mutex);
    return log_->calls;
}

std::vector<std::string> RecordingMdnsResponder::lines() const {
    std::vector<std::string> out;
    for (const auto& c : calls())
        out.push_back((c.op == MdnsCall::Op::Register ? "register " : "unregister ") + c.fullName);
    return out;
}

int RecordingMdnsResponder::live() const {
    std::lock_guard lock(log_->mutex);
    return log_->live;
}

void RecordingMdnsResponder::clear() {
    std::lock_guard lock(log_->mutex);
    log_->calls.clear();
}

}  // namespace hp::fake
