#include "app/qr_text.h"

#include <qrencode.h>

#include <memory>

namespace hp::app {

std::string qr_text(std::string_view payload) {
    const std::string text(payload);
    std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_M, QR_MODE_8, 1), &QRcode_free);
    if (!code) return {};
    const int quiet = 2;
    const int n = code->width;
    auto dark = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= n || y >= n) return false;
        return (code->data[y * n + x] & 1) != 0;
    };
    // Light modules are drawn as blocks so the code reads on dark terminals.
    std::string out;
    for (int y = -quiet; y < n + quiet; y += 2) {
        for (int x = -quiet; x < n + quiet; ++x) {
            const bool top = !dark(x, y);
            const bool bottom = !dark(x, y + 1);
            out += top && bottom ? "\u2588" : top ? "\u2580" : bottom ? "\u2584" : " ";
        }
        out += '\n';
    }
    return out;
}

}  // namespace hp::app
