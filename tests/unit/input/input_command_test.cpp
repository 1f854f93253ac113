// The 20-byte input record: decoding, encoding and its typed payload reads.
#include <gtest/gtest.h>

#include "input/input_command.h"
#include "unit/commands/harness.h"

namespace hp::input {
namespace {

using commands::testing::move_cmd;
using commands::testing::sticks_cmd;

TEST(InputCommandCodec, DecodesTheTwentyByteRecord) {
    const Bytes wire{1, 4, 0x12, 0x31, 0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01,
                     0x04, 0x00, 0x01, 0xEE, 0, 0, 0, 0};
    const auto c = decode_input_command(wire);
    ASSERT_TRUE(c.has_value());
    EXPECT_EQ(c->kind, 4);
    EXPECT_EQ(c->modifiers, 0x12);
    EXPECT_EQ(c->flags, 0x31);
    EXPECT_EQ(c->seq, 0x0102030405060708u);
    EXPECT_EQ(c->u16(0), 4);
    EXPECT_EQ(c->u8(2), 1);
    const auto again = encode_input_command(*c);
    EXPECT_EQ(Bytes(again.begin(), again.end()), wire);
}

TEST(InputCommandCodec, RejectsOtherSizesAndVersions) {
    Bytes wire(20, 0);
    wire[0] = 1;
    EXPECT_TRUE(decode_input_command(wire).has_value());
    wire[0] = 2;
    EXPECT_FALSE(decode_input_command(wire).has_value());
    wire[0] = 1;
    wire.push_back(0);
    EXPECT_FALSE(decode_input_command(wire).has_value());
    wire.resize(19);
    EXPECT_FALSE(decode_input_command(wire).has_value());
}

TEST(InputCommandCodec, PayloadFloatsAndSignedShortsAreLittleEndian) {
    auto c = move_cmd(1, -1.5f, 2.25f);
    EXPECT_EQ(c.f32(0), -1.5f);
    EXPECT_EQ(c.f32(4), 2.25f);
    c = sticks_cmd(1, -32768, 32767, -1, 1);
    EXPECT_EQ(c.i16(0), -32768);
    EXPECT_EQ(c.i16(2), 32767);
    EXPECT_EQ(c.i16(4), -1);
    EXPECT_EQ(c.i16(6), 1);
}

}  // namespace
}  // namespace hp::input
