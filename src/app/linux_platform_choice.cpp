// For now the console platform (input is written out as text) with the
// session's own lock, keep-awake and brightness.
#include <iostream>

#include "app/linux_platform_choice.h"
#include "platform/posix/console_platform.h"

namespace hp::app {

namespace {

class SessionActionPlatform final : public platform::PlatformServices {
public:
    SessionActionPlatform(std::shared_ptr<platform::PlatformServices> input, DesktopPlatformOptions options)
        : input_(std::move(input)), options_(std::move(options)) {}

    bool moveRelative(std::int32_t dx, std::int32_t dy) override { return input_->moveRelative(dx, dy); }
    bool mouseButton(std::uint8_t button, bool down) override { return input_->mouseButton(button, down); }
    bool wheel(std::int32_t amount) override { return input_->wheel(amount); }
    bool hwheel(std::int32_t amount) override { return input_->hwheel(amount); }
    bool key(const platform::KeyRecord& record, bool down) override { return input_->key(record, down); }
    bool typeText(std::u16string_view units) override { return input_->typeText(units); }
    void setClipboard(std::string_view utf8) override { input_->setClipboard(utf8); }
    std::optional<std::string> getClipboard() override { return input_->getClipboard(); }
    void lockWorkstation() override {
        if (options_.lock) options_.lock();
    }
    void keepAwake() override {
        if (options_.keepAwake) options_.keepAwake();
    }
    void stepBrightness(bool up) override {
        if (options_.stepBrightness) options_.stepBrightness(up);
    }

private:
    std::shared_ptr<platform::PlatformServices> input_;
    DesktopPlatformOptions options_;
};

}  // namespace

Result<std::shared_ptr<platform::PlatformServices>> make_desktop_platform(DesktopPlatformOptions options) {
    auto input = platform::make_console_platform(options.log ? *options.log : std::cout);
    return std::make_shared<SessionActionPlatform>(std::move(input), std::move(options));
}

}  // namespace hp::app
