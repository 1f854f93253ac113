#include "platform/fake/recording_platform.h"

#include <cstdio>

namespace hp::fake {

namespace {
Call make(Call::Op op, std::int32_t a = 0, std::int32_t b = 0) {
    Call c;
    c.op = op;
    c.a = a;
    c.b = b;
    return c;
}
}  // namespace

Call move(std::int32_t dx, std::int32_t dy) { return make(Call::Op::MoveRelative, dx, dy); }
Call button(std::uint8_t b, bool down) {
    Call c = make(Call::Op::MouseButton, b);
    c.down = down;
    return c;
}
Call wheel(std::int32_t amount) { return make(Call::Op::Wheel, amount); }
Call hwheel(std::int32_t amount) { return make(Call::Op::HWheel, amount); }

std::string describe(const Call& c) {
    char buf[96];
    switch (c.op) {
        case Call::Op::MoveRelative: std::snprintf(buf, sizeof buf, "move %d %d", c.a, c.b); break;
        case Call::Op::MouseButton:
            std::snprintf(buf, sizeof buf, "button %d %s", c.a, c.down ? "down" : "up");
            break;
        case Call::Op::Wheel: std::snprintf(buf, sizeof buf, "wheel %d", c.a); break;
        case Call::Op::HWheel: std::snprintf(buf, sizeof buf, "hwheel %d", c.a); break;
        case Call::Op::Key:
            std::snprintf(buf, sizeof buf, "key 0x%02X %s", c.key.vk, c.down ? "down" : "up");
            break;
        case Call::Op::TypeText:
            std::snprintf(buf, sizeof buf, "type %zu units", c.units.size());
            break;
        case Call::Op::LockWorkstation: return "lock";
        case Call::Op::KeepAwake: return "keepAwake";
        case Call::Op::SetClipboard: return "setClipboard " + c.text;
        case Call::Op::GetClipboard: return "getClipboard";
        case Call::Op::StepBrightness: return c.down ? "brightness up" : "brightness down";
    }
    return buf;
}

void RecordingPlatform::record(Call c) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(c));
}

bool RecordingPlatform::injected(Call c) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(c));
    return !refuseInput_;
}

bool RecordingPlatform::moveRelative(std::int32_t dx, std::int32_t dy) { return injected(move(dx, dy)); }
bool RecordingPlatform::mouseButton(std::uint8_t b, bool down) { return injected(button(b, down)); }
bool RecordingPlatform::wheel(std::int32_t amount) { return injected(fake::wheel(amount)); }
bool RecordingPlatform::hwheel(std::int32_t amount) { return injected(fake::hwheel(amount)); }
bool RecordingPlatform::key(const platform::KeyRecord& r, bool down) {
    Call c = make(Call::Op::Key);
    c.key = r;
    c.down = down;
    return injected(std::move(c));
}
bool RecordingPlatform::typeText(std::u16string_view units) {
    Call c = make(Call::Op::TypeText);
    c.units = std::u16string(units);
    return injected(std::move(c));
}
void RecordingPlatform::lockWorkstation() { record(make(Call::Op::LockWorkstation)); }
void RecordingPlatform::keepAwake() { record(make(Call::Op::KeepAwake)); }
void RecordingPlatform::setClipboard(std::string_view utf8) {
    Call c = make(Call::Op::SetClipboard);
    c.text = std::string(utf8);
    record(c);
    std::lock_guard lock(mutex_);
    clipboard_ = std::string(utf8);
}
std::optional<std::string> RecordingPlatform::getClipboard() {
    record(make(Call::Op::GetClipboard));
    std::function<void()> probe;
    {
        std::lock_guard lock(mutex_);
        probe = clipboardProbe_;
    }
    if (probe) probe();
    std::lock_guard lock(mutex_);
    return clipboard_;
}
void RecordingPlatform::stepBrightness(bool up) {
    Call c = make(Call::Op::StepBrightness);
    c.down = up;
    record(c);
}

std::vector<Call> RecordingPlatform::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}
std::vector<std::string> RecordingPlatform::lines() const {
    std::vector<std::string> out;
    for (const auto& c : calls()) out.push_back(describe(c));
    return out;
}
void RecordingPlatform::clear() {
    std::lock_guard lock(mutex_);
    calls_.clear();
}
void RecordingPlatform::setClipboardContent(std::optional<std::string> text) {
    std::lock_guard lock(mutex_);
    clipboard_ = std::move(text);
}
void RecordingPlatform::refuseInput(bool refuse) {
    std::lock_guard lock(mutex_);
    refuseInput_ = refuse;
}
void RecordingPlatform::setClipboardProbe(std::function<void()> probe) {
    std::lock_guard lock(mutex_);
    clipboardProbe_ = std::move(probe);
}

}  // namespace hp::fake
