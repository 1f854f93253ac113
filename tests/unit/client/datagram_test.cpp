// The client's datagrams against the host's reading of them: what the client
// seals opens with the session key to the record it was given, with the
// acknowledgement flag as asked; and only the host's exact acknowledgement of
// the sequence number is taken as one.
#include "client/datagram.h"

#include <gtest/gtest.h>

#include "client/input.h"

namespace hp::client {
namespace {

crypto::Key32 key_of(std::uint8_t fill) {
    crypto::Key32 k{};
    k.fill(fill);
    return k;
}

TEST(ClientDatagram, OpensToTheRecordWithTheFlagAsAsked) {
    const auto key = key_of(7);
    InputCommand move = mouse_move(3.5f, -2.0f);
    move.seq = 41;
    move.flags = 0x20;  // a gesture phase, kept
    const auto record = protocol::encode_input_record(move);
    for (const bool wantAck : {true, false}) {
        const auto d = seal_input(key, record, wantAck);
        ASSERT_EQ(protocol::datagram_sequence(d), 41u);
        EXPECT_EQ(protocol::wants_ack(d), wantAck);
        const auto opened = protocol::open_datagram(key, d);
        ASSERT_TRUE(opened);
        auto expected = record;
        expected[3] = static_cast<std::uint8_t>(0x20 | (wantAck ? protocol::kAckFlag : 0));
        EXPECT_EQ(*opened, expected);
        EXPECT_FALSE(protocol::open_datagram(key_of(8), d)) << "another key opens it";
    }
}

TEST(ClientDatagram, TakesOnlyTheHostsAcknowledgementOfTheSequence) {
    const auto key = key_of(7);
    const auto expected = expected_ack(key, 41);
    EXPECT_TRUE(is_ack(protocol::make_ack(key, 41), expected));

    struct Case {
        const char* what;
        Bytes reply;
    };
    const auto other_seq = protocol::make_ack(key, 42);
    const auto other_key = protocol::make_ack(key_of(8), 41);
    Bytes flipped(expected.begin(), expected.end());
    flipped.back() ^= 1;
    Bytes longer(expected.begin(), expected.end());
    longer.push_back(0);
    const Case cases[] = {
        {"another sequence number", Bytes(other_seq.begin(), other_seq.end())},
        {"another key", Bytes(other_key.begin(), other_key.end())},
        {"a changed tag", flipped},
        {"a byte more", longer},
        {"a byte less", Bytes(expected.begin(), expected.end() - 1)},
        {"nothing", Bytes{}},
    };
    for (const auto& c : cases) EXPECT_FALSE(is_ack(c.reply, expected)) << c.what;
}

}  // namespace
}  // namespace hp::client
