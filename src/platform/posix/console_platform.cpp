#include "platform/posix/console_platform.h"

#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "base/json_text.h"
#include "base/utf8.h"

namespace hp::platform {

namespace {

const char* up_down(bool down) { return down ? "down" : "up"; }

class ConsolePlatform final : public PlatformServices {
public:
    explicit ConsolePlatform(std::ostream& out) : out_(out) {}

    // Printing never refuses: every event goes in.
    bool moveRelative(std::int32_t dx, std::int32_t dy) override {
        return line("moveRelative " + std::to_string(dx) + " " + std::to_string(dy));
    }
    bool mouseButton(std::uint8_t button, bool down) override {
        return line("mouseButton " + std::to_string(button) + " " + up_down(down));
    }
    bool wheel(std::int32_t amount) override { return line("wheel " + std::to_string(amount)); }
    bool hwheel(std::int32_t amount) override { return line("hwheel " + std::to_string(amount)); }
    bool key(const KeyRecord& record, bool down) override {
        char buf[64];
        std::snprintf(buf, sizeof buf, "key 0x%02X 0x%02X %d %s", static_cast<unsigned>(record.vk),
                      static_cast<unsigned>(record.scan), record.extended ? 1 : 0, up_down(down));
        return line(buf);
    }
    bool typeText(std::u16string_view units) override {
        return line("typeText " + json_string(utf16_to_utf8(units)));
    }
    void lockWorkstation() override { line("lockWorkstation"); }
    void keepAwake() override { line("keepAwake"); }
    void setClipboard(std::string_view utf8) override {
        std::lock_guard lock(mutex_);
        clipboard_ = std::string(utf8);
        write_locked("setClipboard " + json_string(utf8));
    }
    std::optional<std::string> getClipboard() override {
        std::lock_guard lock(mutex_);
        write_locked("getClipboard");
        return clipboard_;
    }
    void stepBrightness(bool up) override { line(up ? "stepBrightness up" : "stepBrightness down"); }

private:
    bool line(const std::string& text) {
        std::lock_guard lock(mutex_);
        write_locked(text);
        return true;
    }
    void write_locked(const std::string& text) {
        // One write per line, so lines printed by other threads of the
        // console front end never land inside this one.
        const std::string whole = "platform: " + text + "\n";
        out_.write(whole.data(), static_cast<std::streamsize>(whole.size()));
        out_.flush();
    }

    std::mutex mutex_;
    std::ostream& out_;
    std::optional<std::string> clipboard_;
};

}  // namespace

std::shared_ptr<PlatformServices> make_console_platform(std::ostream& out) {
    return std::make_shared<ConsolePlatform>(out);
}

}  // namespace hp::platform
