// The X11 platform (XTEST input, text through spare keycodes, the CLIPBOARD
// selection) with the session's own lock, keep-awake and brightness; without
// an X display, a platform that refuses input and keeps those actions.
#include "app/linux_platform_choice.h"

#include "platform/x11/x11_platform.h"

namespace hp::app {

namespace {

class NoInputPlatform final : public platform::PlatformServices {
public:
    explicit NoInputPlatform(DesktopPlatformOptions options) : options_(std::move(options)) {}

    bool moveRelative(std::int32_t, std::int32_t) override { return false; }
    bool mouseButton(std::uint8_t, bool) override { return false; }
    bool wheel(std::int32_t) override { return false; }
    bool hwheel(std::int32_t) override { return false; }
    bool key(const platform::KeyRecord&, bool) override { return false; }
    bool typeText(std::u16string_view) override { return false; }
    void setClipboard(std::string_view) override {}
    std::optional<std::string> getClipboard() override { return std::nullopt; }
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
    DesktopPlatformOptions options_;
};

}  // namespace

DesktopPlatform make_desktop_platform(DesktopPlatformOptions options) {
    platform::x11::X11Options x11;
    x11.display = options.display;
    x11.lock = options.lock;
    x11.keepAwake = options.keepAwake;
    x11.stepBrightness = options.stepBrightness;
    auto made = platform::x11::make_x11_platform(std::move(x11));
    if (made) return {std::move(*made), {}};
    return {std::make_shared<NoInputPlatform>(std::move(options)), made.error().text};
}

}  // namespace hp::app
