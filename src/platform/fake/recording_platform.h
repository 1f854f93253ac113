#pragma once
// A PlatformServices that records every call as a value, for tests.
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/platform_services.h"

namespace hp::fake {

struct Call {
    enum class Op {
        MoveRelative, MouseButton, Wheel, HWheel, Key, TypeText, LockWorkstation, KeepAwake,
        SetClipboard, GetClipboard, StepBrightness
    };
    Op op{};
    std::int32_t a = 0, b = 0;  // dx/dy, button/down, amount, up
    platform::KeyRecord key{};
    bool down = false;
    std::u16string units;
    std::string text;
    friend bool operator==(const Call&, const Call&) = default;
};

// Helpers that build expected calls.
Call move(std::int32_t dx, std::int32_t dy);
Call button(std::uint8_t b, bool down);
Call wheel(std::int32_t amount);
Call hwheel(std::int32_t amount);

std::string describe(const Call& c);

class RecordingPlatform : public platform::PlatformServices {
public:
    // The synthetic-input calls are recorded either way, and answer false
    // while input is refused.
    bool moveRelative(std::int32_t dx, std::int32_t dy) override;
    bool mouseButton(std::uint8_t button, bool down) override;
    bool wheel(std::int32_t amount) override;
    bool hwheel(std::int32_t amount) override;
    bool key(const platform::KeyRecord& record, bool down) override;
    bool typeText(std::u16string_view units) override;
    void lockWorkstation() override;
    void keepAwake() override;
    void setClipboard(std::string_view utf8) override;
    std::optional<std::string> getClipboard() override;
    void stepBrightness(bool up) override;

    std::vector<Call> calls() const;
    // One line per call, e.g. "key 0xA2 down", "move 1 0", "wheel 5".
    std::vector<std::string> lines() const;
    void clear();
    void setClipboardContent(std::optional<std::string> text);
    // Plays the system refusing synthetic input (the secure desktop is up).
    void refuseInput(bool refuse);
    // Runs `probe` inside every getClipboard call, on the caller's thread,
    // before the text is read (for example to see which locks the caller
    // holds).
    void setClipboardProbe(std::function<void()> probe);

private:
    void record(Call c);
    bool injected(Call c);
    mutable std::mutex mutex_;
    bool refuseInput_ = false;
    std::vector<Call> calls_;
    std::optional<std::string> clipboard_;
    std::function<void()> clipboardProbe_;
};

}  // namespace hp::fake
