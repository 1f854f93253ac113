#include "app/qr_text.h"

#include "qr/qr_code.h"

namespace hp::app {

std::string qr_text(std::string_view payload) {
    const auto code = qr::encode_with_border(payload);
    if (!code) return {};
    // Light modules are drawn as blocks so the code reads on dark terminals;
    // an odd last row is paired with light space below the border.
    std::string out;
    for (int y = 0; y < code->side; y += 2) {
        for (int x = 0; x < code->side; ++x) {
            const bool top = !code->dark(x, y);
            const bool bottom = !code->dark(x, y + 1);
            out += top && bottom ? "\u2588" : top ? "\u2580" : bottom ? "\u2584" : " ";
        }
        out += '\n';
    }
    return out;
}

}  // namespace hp::app
