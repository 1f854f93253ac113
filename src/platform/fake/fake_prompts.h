#pragma once
// Message boxes and a link opener for tests: every box is recorded with its
// text, caption and flags and answered with a preset button; every link
// opened is recorded.
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/message_box.h"
#include "platform/shell_open.h"

namespace hp::fake {

struct ShownBox {
    std::string text;
    std::string caption;
    std::uint32_t flags = 0;
    friend bool operator==(const ShownBox&, const ShownBox&) = default;
};

class FakeMessageBoxes final : public platform::MessageBoxes {
public:
    // The button every Yes/No box answers with (Ok for the others).
    void answer(platform::BoxAnswer yesNo);

    platform::BoxAnswer show(std::string_view text, std::string_view caption,
                             std::uint32_t flags) override;

    std::vector<ShownBox> shown() const;
    // Waits until at least `n` boxes were shown; false after 10 s.
    bool wait_for_boxes(std::size_t n) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    platform::BoxAnswer yesNo_ = platform::BoxAnswer::No;
    std::vector<ShownBox> shown_;
};

class FakeLinkOpener final : public platform::LinkOpener {
public:
    void open(std::string_view url) override;
    std::vector<std::string> opened() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> opened_;
};

}  // namespace hp::fake
