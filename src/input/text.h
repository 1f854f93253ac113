#pragma once
// Clipboard text leaves the host as UTF-8 of bounded size.
#include <cstddef>
#include <string>
#include <string_view>

namespace hp::input {

// The most clipboard text sent to a client in one reply, in bytes.
inline constexpr std::size_t kClipboardReplyLimit = 48000;

struct TruncatedText {
    std::string text;
    bool truncated = false;
    friend bool operator==(const TruncatedText&, const TruncatedText&) = default;
};

// The longest prefix of at most `limit` bytes that ends on a UTF-8 character
// boundary; `truncated` is true when anything was cut. Only a character whose
// lead byte is kept and whose continuation bytes reach past the limit is
// dropped; stray bytes of ill-formed text count as characters of their own.
TruncatedText truncate_utf8(std::string_view utf8, std::size_t limit = kClipboardReplyLimit);

}  // namespace hp::input
