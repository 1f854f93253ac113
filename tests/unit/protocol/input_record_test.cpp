// The 20-byte input record: the record's fields, and one typed action per
// kind against the bytes the protocol document gives for it.
#include "protocol/input_record.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace hp::protocol {
namespace {

Bytes record_bytes(std::uint8_t kind, std::uint8_t modifiers, std::uint8_t flags,
                   std::initializer_list<std::uint8_t> payload) {
    Bytes b{1, kind, modifiers, flags, 0x2A, 0, 0, 0, 0, 0, 0, 0};  // seq 42
    b.insert(b.end(), payload.begin(), payload.end());
    b.resize(kInputRecordSize, 0);
    return b;
}

TEST(InputRecord, DecodesOnlyTwentyBytesOfVersionOne) {
    const Bytes wire{1, 4, 0x12, 0x31, 0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01,
                     0x04, 0x00, 0x01, 0xEE, 0, 0, 0, 0};
    const auto r = decode_input_record(wire);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->kind, 4);
    EXPECT_EQ(r->modifiers, 0x12);
    EXPECT_EQ(r->flags, 0x31);
    EXPECT_EQ(r->seq, 0x0102030405060708u);
    const auto again = encode_input_record(*r);
    EXPECT_EQ(Bytes(again.begin(), again.end()), wire);

    Bytes other = wire;
    other[0] = 2;
    EXPECT_FALSE(decode_input_record(other));
    EXPECT_FALSE(decode_input_record(ByteView(wire).first(19)));
    other = wire;
    other.push_back(0);
    EXPECT_FALSE(decode_input_record(other));
}

TEST(InputRecord, EachKindReadsAndWritesItsPayload) {
    struct Case {
        InputAction action;
        Bytes wire;
    };
    const Case cases[] = {
        {MouseMove{12.5f, -3.25f}, record_bytes(1, 0, 0, {0x00, 0x00, 0x48, 0x41, 0x00, 0x00, 0x50, 0xC0})},
        {MouseButton{2, true, 0x05}, record_bytes(2, 0x05, 0, {2, 1})},
        {MouseButton{1, false, 0}, record_bytes(2, 0, 0, {1, 0})},
        {Scroll{-1.0f, 0.5f}, record_bytes(3, 0, 0, {0x00, 0x00, 0x80, 0xBF, 0x00, 0x00, 0x00, 0x3F})},
        {Key{0x0104, 2, 0x0A}, record_bytes(4, 0x0A, 0, {0x04, 0x01, 2})},
        {PinchZoom{0.25f, 2}, record_bytes(6, 0, 0x20, {0x00, 0x00, 0x80, 0x3E})},
        {DesktopShortcut{3}, record_bytes(7, 0, 0, {3})},
        {EditShortcut{9}, record_bytes(8, 0, 0, {9})},
        {ModifierSet{0x0F}, record_bytes(9, 0, 0, {0x0F})},
        {MediaKey{8}, record_bytes(10, 0, 0, {8})},
        {PadSticks{-32768, 32767, -1, 1}, record_bytes(11, 0, 0, {0x00, 0x80, 0xFF, 0x7F, 0xFF, 0xFF, 0x01, 0x00})},
        {PadButtons{0xF00F, 8, 0, 255}, record_bytes(12, 0, 0, {0x0F, 0xF0, 0, 0, 8, 0, 255})},
        {ReleaseAll{}, record_bytes(15, 0, 0, {})},
        {UnknownKind{5}, record_bytes(5, 0, 0, {})},
        {UnknownKind{200}, record_bytes(200, 0, 0, {})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << int(c.wire[1]));
        const auto written = encode_input_record(encode_input_action(c.action, 42));
        EXPECT_EQ(Bytes(written.begin(), written.end()), c.wire);
        const auto read = decode_input_record(c.wire);
        ASSERT_TRUE(read);
        EXPECT_EQ(decode_input_action(*read), c.action);
        EXPECT_EQ(is_known_kind(c.wire[1]), !std::holds_alternative<UnknownKind>(c.action));
    }
}

TEST(InputRecord, ReadsWhatOnlyItsKindMeans) {
    // Modifiers beyond the four bits, modifiers on a kind that ignores them,
    // a non-zero press byte other than 1, the acknowledgement flag beside
    // the pinch phase, and NaN all read as the protocol says.
    const auto read = [](const Bytes& wire) { return decode_input_action(*decode_input_record(wire)); };
    EXPECT_EQ(read(record_bytes(4, 0xF3, 0, {0x04, 0x00, 1})), (InputAction{Key{4, 1, 0x03}}));
    EXPECT_EQ(read(record_bytes(10, 0x0F, 0, {3})), (InputAction{MediaKey{3}}));
    EXPECT_EQ(read(record_bytes(2, 0, 0, {3, 0x80})), (InputAction{MouseButton{3, true, 0}}));
    EXPECT_EQ(read(record_bytes(6, 0, 0x31, {0, 0, 0, 0})), (InputAction{PinchZoom{0.0f, 3}}));
    const auto nan = read(record_bytes(1, 0, 0, {0x00, 0x00, 0xC0, 0x7F, 0x00, 0x00, 0x80, 0x7F}));
    ASSERT_TRUE(std::holds_alternative<MouseMove>(nan));
    EXPECT_TRUE(std::isnan(std::get<MouseMove>(nan).dx));
    EXPECT_EQ(std::get<MouseMove>(nan).dy, std::numeric_limits<float>::infinity());
}

}  // namespace
}  // namespace hp::protocol
