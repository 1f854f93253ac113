#pragma once
// The one object through which synthetic input, text, clipboard and system
// actions reach the operating system. Implementations keep no protocol
// knowledge: the core decodes commands and hands typed values here.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hp::platform {

// What one Windows key event needs.
struct KeyRecord {
    std::uint16_t vk = 0;
    std::uint16_t scan = 0;
    bool extended = false;
    friend bool operator==(const KeyRecord&, const KeyRecord&) = default;
};

class PlatformServices {
public:
    virtual ~PlatformServices() = default;
    // The synthetic-input calls answer whether their events went in: false
    // when the system took fewer than it was handed (on Windows SendInput
    // injects nothing while the secure desktop is up, or when blocked by
    // UIPI). True is no proof of delivery: UIPI may drop events without the
    // count showing it. A call that has nothing to send answers true.
    virtual bool moveRelative(std::int32_t dx, std::int32_t dy) = 0;
    virtual bool mouseButton(std::uint8_t button, bool down) = 0;
    virtual bool wheel(std::int32_t amount) = 0;
    virtual bool hwheel(std::int32_t amount) = 0;
    virtual bool key(const KeyRecord& record, bool down) = 0;
    virtual bool typeText(std::u16string_view units) = 0;
    virtual void lockWorkstation() = 0;
    virtual void keepAwake() = 0;
    virtual void setClipboard(std::string_view utf8) = 0;
    virtual std::optional<std::string> getClipboard() = 0;
    virtual void stepBrightness(bool up) = 0;
};

}  // namespace hp::platform
