#include "platform/fake/fake_prompts.h"

#include <chrono>

namespace hp::fake {

void FakeMessageBoxes::answer(platform::BoxAnswer yesNo) {
    std::lock_guard lock(mutex_);
    yesNo_ = yesNo;
}

platform::BoxAnswer FakeMessageBoxes::show(std::string_view text, std::string_view caption,
                                           std::uint32_t flags) {
    std::lock_guard lock(mutex_);
    shown_.push_back({std::string(text), std::string(caption), flags});
    changed_.notify_all();
    // The button group is the low four bits of the flags.
    return (flags & 0xF) == platform::box::kYesNo ? yesNo_ : platform::BoxAnswer::Ok;
}

std::vector<ShownBox> FakeMessageBoxes::shown() const {
    std::lock_guard lock(mutex_);
    return shown_;
}

bool FakeMessageBoxes::wait_for_boxes(std::size_t n) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return shown_.size() >= n; });
}

void FakeLinkOpener::open(std::string_view url) {
    std::lock_guard lock(mutex_);
    opened_.emplace_back(url);
}

std::vector<std::string> FakeLinkOpener::opened() const {
    std::lock_guard lock(mutex_);
    return opened_;
}

}  // namespace hp::fake
