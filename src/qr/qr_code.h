#pragma once
// QR codes for the pairing link: the module matrix that every drawing of a
// QR code (console text blocks, the pairing window) starts from.
#include <cstdint>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace hp::qr {

// Light modules on every side of a drawn symbol, so readers can find it.
inline constexpr int kQuietZone = 4;

// A square grid of modules in rows from the top: modules[y * side + x] is
// 1 for a dark module, 0 for a light one.
struct Matrix {
    int side = 0;
    std::vector<std::uint8_t> modules;

    // False outside the grid: the space around a symbol is light.
    bool dark(int x, int y) const {
        if (x < 0 || y < 0 || x >= side || y >= side) return false;
        return modules[static_cast<std::size_t>(y) * static_cast<std::size_t>(side) +
                       static_cast<std::size_t>(x)] != 0;
    }
};

// The QR symbol (no border) for the bytes of `text`: error-correction level
// M, never raised even when a higher level would fit the same version; the
// smallest version that holds the text; numeric, alphanumeric or byte mode
// chosen by the encoder. An error when even version 40 cannot hold it.
Result<Matrix> encode(std::string_view text);

// `symbol` with `border` light modules added on every side (none if negative).
Matrix with_border(const Matrix& symbol, int border = kQuietZone);

// What a QR code is drawn from: the symbol of `text` inside its quiet zone.
Result<Matrix> encode_with_border(std::string_view text);

}  // namespace hp::qr
