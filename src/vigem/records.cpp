#include "vigem/records.h"

#include <cstddef>

namespace hp::vigem {

namespace {

template <std::size_t N>
class RecordWriter {
public:
    RecordWriter& u8(std::uint8_t v) {
        bytes_[at_++] = v;
        return *this;
    }
    RecordWriter& u16(std::uint16_t v) { return u8(static_cast<std::uint8_t>(v)).u8(static_cast<std::uint8_t>(v >> 8)); }
    RecordWriter& i16(std::int16_t v) { return u16(static_cast<std::uint16_t>(v)); }
    RecordWriter& u32(std::uint32_t v) { return u16(static_cast<std::uint16_t>(v)).u16(static_cast<std::uint16_t>(v >> 16)); }
    std::array<std::uint8_t, N> done() const { return bytes_; }

private:
    std::array<std::uint8_t, N> bytes_{};
    std::size_t at_ = 0;
};

// Report bits of PadState buttons bits 0-10: A, B, X, Y, LB, RB, L3, R3,
// Start, Back, Guide.
constexpr std::uint16_t kButtonBits[11] = {0x1000, 0x2000, 0x4000, 0x8000, 0x0100, 0x0200,
                                           0x0040, 0x0080, 0x0010, 0x0020, 0x0400};
// Report bits of d-pad values 1-8 (up, up-right, ... up-left).
constexpr std::uint16_t kDpadBits[9] = {0, 0x0001, 0x0009, 0x0008, 0x000A, 0x0002, 0x0006, 0x0004, 0x0005};

}  // namespace

std::uint16_t dpad_bits(std::uint8_t dpad) { return dpad < 9 ? kDpadBits[dpad] : 0; }

Xbox360Report to_report(const PadState& state) {
    Xbox360Report r;
    r.buttons = dpad_bits(state.dpad);
    for (int bit = 0; bit < 11; ++bit)
        if (state.buttons & (1u << bit)) r.buttons |= kButtonBits[bit];
    r.leftTrigger = state.leftTrigger;
    r.rightTrigger = state.rightTrigger;
    r.thumbLX = state.leftX;
    r.thumbLY = state.leftY;
    r.thumbRX = state.rightX;
    r.thumbRY = state.rightY;
    return r;
}

std::array<std::uint8_t, 8> check_version_record() { return RecordWriter<8>().u32(8).u32(kBusVersion).done(); }

std::array<std::uint8_t, 16> plug_in_record(std::uint32_t serial) {
    return RecordWriter<16>().u32(16).u32(serial).u32(kTargetXbox360Wired).u16(kVendorId).u16(kProductId).done();
}

std::array<std::uint8_t, 8> wait_until_ready_record(std::uint32_t serial) {
    return RecordWriter<8>().u32(8).u32(serial).done();
}

std::array<std::uint8_t, 8> unplug_record(std::uint32_t serial) { return RecordWriter<8>().u32(8).u32(serial).done(); }

std::array<std::uint8_t, 20> submit_record(std::uint32_t serial, const Xbox360Report& report) {
    return RecordWriter<20>()
        .u32(20)
        .u32(serial)
        .u16(report.buttons)
        .u8(report.leftTrigger)
        .u8(report.rightTrigger)
        .i16(report.thumbLX)
        .i16(report.thumbLY)
        .i16(report.thumbRX)
        .i16(report.thumbRY)
        .done();
}

}  // namespace hp::vigem
