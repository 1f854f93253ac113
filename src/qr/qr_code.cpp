#include "qr/qr_code.h"

#include <qrcodegen.hpp>

#include <exception>
#include <string>

namespace hp::qr {

using qrcodegen::QrCode;
using qrcodegen::QrSegment;

Result<Matrix> encode(std::string_view text) {
    try {
        // The encoder's text entry stops at a NUL byte; such a text can only
        // be encoded in byte mode, which is what its mode choice would be.
        std::vector<QrSegment> segments;
        if (text.find('\0') == std::string_view::npos) {
            segments = QrSegment::makeSegments(std::string(text).c_str());
        } else {
            segments.push_back(QrSegment::makeBytes(std::vector<std::uint8_t>(text.begin(), text.end())));
        }
        const QrCode code = QrCode::encodeSegments(segments, QrCode::Ecc::MEDIUM, QrCode::MIN_VERSION,
                                                   QrCode::MAX_VERSION, -1, /*boostEcl=*/false);
        Matrix m;
        m.side = code.getSize();
        m.modules.resize(static_cast<std::size_t>(m.side) * static_cast<std::size_t>(m.side));
        for (int y = 0; y < m.side; ++y)
            for (int x = 0; x < m.side; ++x)
                m.modules[static_cast<std::size_t>(y * m.side + x)] = code.getModule(x, y) ? 1 : 0;
        return m;
    } catch (const qrcodegen::data_too_long&) {
        return fail("The text is too long for a QR code (" + std::to_string(text.size()) + " bytes).");
    } catch (const std::exception& e) {
        return fail(std::string("The QR code could not be made: ") + e.what());
    }
}

Matrix with_border(const Matrix& symbol, int border) {
    if (border < 0) border = 0;
    Matrix out;
    out.side = symbol.side + 2 * border;
    out.modules.assign(static_cast<std::size_t>(out.side) * static_cast<std::size_t>(out.side), 0);
    for (int y = 0; y < symbol.side; ++y)
        for (int x = 0; x < symbol.side; ++x)
            out.modules[static_cast<std::size_t>((y + border) * out.side + x + border)] =
                symbol.modules[static_cast<std::size_t>(y * symbol.side + x)];
    return out;
}

Result<Matrix> encode_with_border(std::string_view text) {
    auto symbol = encode(text);
    if (!symbol) return std::unexpected(symbol.error());
    return with_border(*symbol);
}

}  // namespace hp::qr
