#pragma once
// A QR code drawn with text blocks for terminals.
#include <string>
#include <string_view>

namespace hp::app {

// Two modules per character row (upper/lower half blocks), inside the
// 4-module quiet zone. Empty when the text cannot be encoded.
std::string qr_text(std::string_view payload);

}  // namespace hp::app
