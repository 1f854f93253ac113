// The ViGEmBus records byte by byte and the conversion of a PadState into
// an Xbox 360 report.
#include <gtest/gtest.h>

#include <string>

#include "vigem/records.h"

namespace hp::vigem {
namespace {

template <std::size_t N>
std::string hex(const std::array<std::uint8_t, N>& bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    for (std::uint8_t b : bytes) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
    }
    return out;
}

TEST(Records, AreLittleEndianWithTheirSizeFirst) {
    EXPECT_EQ(hex(check_version_record()), "0800000001000000");
    EXPECT_EQ(hex(plug_in_record(2)), "10000000" "02000000" "00000000" "5e04" "8e02");
    EXPECT_EQ(hex(plug_in_record(0x0102FFFE)), "10000000" "feff0201" "00000000" "5e04" "8e02");
    EXPECT_EQ(hex(wait_until_ready_record(65534)), "08000000feff0000");
    EXPECT_EQ(hex(unplug_record(1)), "0800000001000000");
}

TEST(Records, SubmitCarriesTheTwelveByteReport) {
    Xbox360Report r;
    r.buttons = 0xF7F0;
    r.leftTrigger = 0x11;
    r.rightTrigger = 0xFF;
    r.thumbLX = -32768;
    r.thumbLY = 32767;
    r.thumbRX = -1;
    r.thumbRY = 0x0102;
    EXPECT_EQ(hex(submit_record(3, r)), "1400000003000000" "f0f7" "11ff" "0080" "ff7f" "ffff" "0201");
}

TEST(Report, ElevenButtonsGiveF7F0) {
    PadState s;
    s.buttons = 0x7FF;
    EXPECT_EQ(to_report(s).buttons, 0xF7F0);
    const std::uint16_t single[11] = {0x1000, 0x2000, 0x4000, 0x8000, 0x0100, 0x0200,
                                      0x0040, 0x0080, 0x0010, 0x0020, 0x0400};
    for (int bit = 0; bit < 11; ++bit) {
        s.buttons = static_cast<std::uint16_t>(1u << bit);
        EXPECT_EQ(to_report(s).buttons, single[bit]) << bit;
    }
}

TEST(Report, EachDpadValueGivesItsBits) {
    const std::uint16_t expected[] = {0, 0x0001, 0x0009, 0x0008, 0x000A, 0x0002, 0x0006, 0x0004, 0x0005, 0, 0};
    for (std::uint8_t d = 0; d < std::size(expected); ++d) {
        PadState s;
        s.dpad = d;
        EXPECT_EQ(to_report(s).buttons, expected[d]) << int(d);
    }
    PadState s;
    s.dpad = 255;
    EXPECT_EQ(to_report(s).buttons, 0);
    s.dpad = 3;
    s.buttons = 1;
    EXPECT_EQ(to_report(s).buttons, 0x1008);
}

TEST(Report, TriggersAndSticksPassUnchanged) {
    PadState s;
    s.leftTrigger = 1;
    s.rightTrigger = 254;
    s.leftX = -32768;
    s.leftY = 12;
    s.rightX = 32767;
    s.rightY = -5;
    const Xbox360Report r = to_report(s);
    EXPECT_EQ(r.buttons, 0);
    EXPECT_EQ(r.leftTrigger, 1);
    EXPECT_EQ(r.rightTrigger, 254);
    EXPECT_EQ(r.thumbLX, -32768);
    EXPECT_EQ(r.thumbLY, 12);
    EXPECT_EQ(r.thumbRX, 32767);
    EXPECT_EQ(r.thumbRY, -5);
}

}  // namespace
}  // namespace hp::vigem
