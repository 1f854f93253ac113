// The UDP datagram codec, the input record and the replay window, as the
// host's datagram loop uses them, one operation after another.
//
// Input: a list of operations, each an opcode byte and its bytes:
//   0  a datagram as received (36 bytes): opened with the fixed key
//   1  an input record (20 bytes) sealed by a client, then opened
//   2  a record decoded on its own (up to 20 bytes)
//   3  a sequence number (u64) offered to the window
//   4  a sequence number relative to the highest (i16) offered to the window
// Invariants: what open_datagram returns re-seals to the very bytes received
// and decodes as an input record; a sealed record opens to itself and no
// longer opens with any bit changed; records of other lengths or versions
// never decode; a decoded record reads as an action of its own kind (unknown
// exactly for the kinds not known), which written again keeps the kind and
// reads back to itself; the window never accepts a number twice and agrees
// with a plain set of the numbers accepted so far.
#include <set>

#include "fuzz_fixture.h"
#include "fuzz_support.h"
#include "protocol/datagram.h"
#include "protocol/input_record.h"
#include "protocol/replay_window.h"

namespace {

using namespace hp;

// The window's rule stated with a set: a number is accepted once, and only
// while it lies within 512 of the highest accepted so far.
class ReferenceWindow {
public:
    bool accept(std::uint64_t seq) {
        if (accepted_.contains(seq)) return false;
        if (seq < highest_ && highest_ - seq >= protocol::ReplayWindow::kBits) return false;
        accepted_.insert(seq);
        if (seq > highest_) highest_ = seq;
        // What fell behind the window can never be accepted again anyway.
        while (!accepted_.empty() && highest_ - *accepted_.begin() >= protocol::ReplayWindow::kBits)
            accepted_.erase(accepted_.begin());
        return true;
    }
    bool seen(std::uint64_t seq) const { return accepted_.contains(seq); }
    std::uint64_t highest() const { return highest_; }

private:
    std::set<std::uint64_t> accepted_;
    std::uint64_t highest_ = 0;
};

struct Run {
    crypto::Key32 key = fuzz::fixture::channel_key();
    protocol::ReplayWindow window;
    ReferenceWindow reference;

    void offer(std::uint64_t seq) {
        const bool was_seen = reference.seen(seq);
        const bool accepted = window.accept(seq);
        FUZZ_CHECK(!(accepted && was_seen));
        FUZZ_CHECK(accepted == reference.accept(seq));
        FUZZ_CHECK(window.highest() == reference.highest());
    }

    void received(ByteView datagram) {
        const auto record = protocol::open_datagram(key, datagram);
        if (!record) return;
        FUZZ_CHECK(datagram.size() == protocol::kDatagramSize);
        const auto resealed = protocol::seal_datagram(key, *record);
        FUZZ_CHECK(std::equal(resealed.begin(), resealed.end(), datagram.begin(), datagram.end()));
        const auto command = protocol::decode_input_record(*record);
        FUZZ_CHECK(command.has_value());
        FUZZ_CHECK(command->seq == protocol::datagram_sequence(datagram));
        offer(command->seq);
    }

    void sealed(ByteView bytes, std::uint8_t flip) {
        ByteArray<protocol::kInputRecordSize> record{};
        std::copy(bytes.begin(), bytes.end(), record.begin());
        record[0] = protocol::kDatagramVersion;
        const auto datagram = protocol::seal_datagram(key, record);
        FUZZ_CHECK(protocol::looks_like_datagram(datagram));
        const auto opened = protocol::open_datagram(key, datagram);
        FUZZ_CHECK(opened && *opened == record);
        auto damaged = datagram;
        damaged[flip % damaged.size()] ^= static_cast<std::uint8_t>(1u << (flip / damaged.size() % 8));
        FUZZ_CHECK(!protocol::open_datagram(key, damaged));
        const std::uint64_t seq = protocol::datagram_sequence(datagram);
        const auto ack = protocol::make_ack(key, seq);
        FUZZ_CHECK(ack[0] == 0x01 && ack[1] == 0xFE && ack[2] == 0 && ack[3] == 0);
        FUZZ_CHECK(get_u64le(ack.data() + 4) == seq);
        offer(seq);
    }

    static void decoded(ByteView bytes) {
        const auto command = protocol::decode_input_record(bytes);
        FUZZ_CHECK(command.has_value() == (bytes.size() == protocol::kInputRecordSize && bytes[0] == 1));
        if (!command) return;
        const auto encoded = protocol::encode_input_record(*command);
        FUZZ_CHECK(std::equal(encoded.begin(), encoded.end(), bytes.begin(), bytes.end()));
        const auto action = protocol::decode_input_action(*command);
        FUZZ_CHECK(std::holds_alternative<protocol::UnknownKind>(action) == !protocol::is_known_kind(command->kind));
        const auto written = protocol::encode_input_action(action, command->seq);
        FUZZ_CHECK(written.kind == command->kind && written.seq == command->seq);
        FUZZ_CHECK(protocol::encode_input_action(protocol::decode_input_action(written), written.seq) == written);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    Run run;
    while (!in.empty()) {
        const std::uint8_t op = in.u8();
        switch (op % 5) {
            case 0: run.received(in.take(protocol::kDatagramSize)); break;
            case 1: run.sealed(in.take(protocol::kInputRecordSize), in.u8()); break;
            case 2: Run::decoded(in.take(op >> 3)); break;
            case 3: run.offer(in.u64()); break;
            default: {
                const auto delta = static_cast<std::int16_t>(in.u16());
                const std::uint64_t highest = run.window.highest();
                run.offer(delta < 0 ? highest - std::min<std::uint64_t>(highest, -std::int64_t{delta})
                                    : highest + static_cast<std::uint64_t>(delta));
            }
        }
    }
    return 0;
}
