#pragma once
// Modal message boxes owned by no window, shown on the calling thread.
#include <cstdint>
#include <string_view>

namespace hp::platform {

// Flags as Windows numbers them (MB_*), so the Windows side hands them on
// unchanged.
namespace box {
inline constexpr std::uint32_t kOk = 0x0;
inline constexpr std::uint32_t kYesNo = 0x4;
inline constexpr std::uint32_t kIconError = 0x10;
inline constexpr std::uint32_t kIconQuestion = 0x20;
inline constexpr std::uint32_t kIconWarning = 0x30;
inline constexpr std::uint32_t kIconInformation = 0x40;
inline constexpr std::uint32_t kSetForeground = 0x10000;
inline constexpr std::uint32_t kTopmost = 0x40000;
}  // namespace box

enum class BoxAnswer { Failed, Ok, Yes, No, Other };

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Shows the box (UTF-8 text and caption) and returns the button chosen;
    // Failed when the box could not be shown.
    virtual BoxAnswer show(std::string_view text, std::string_view caption,
                           std::uint32_t flags) = 0;
};

}  // namespace hp::platform
