// The frame reader, fed the stream in chunks of sizes the input chooses.
//
// Input: a 32-bit seed for the chunk sizes, then the stream.
// Invariants: the frames and the final state do not depend on how the stream
// was cut (compared with a plain reading of the whole stream); a reader that
// went Bad stays Bad and keeps nothing; a reader that is not Bad has handed
// out or still holds every byte it was given.
#include <vector>

#include "fuzz_support.h"
#include "protocol/frame.h"

namespace {

using hp::ByteView;
using hp::protocol::Frame;
using hp::protocol::FrameReader;

struct Reading {
    std::vector<Frame> frames;
    bool bad = false;
};

// The stream read the obvious way: lengths 1..65536, whole frames only.
Reading read_whole(ByteView s) {
    Reading r;
    std::size_t pos = 0;
    while (s.size() - pos >= 4) {
        const std::uint32_t length = hp::get_u32le(s.data() + pos);
        if (length == 0 || length > 65536) {
            r.bad = true;
            break;
        }
        if (s.size() - pos - 4 < length) break;
        r.frames.push_back(Frame{s[pos + 4], hp::Bytes(s.begin() + static_cast<std::ptrdiff_t>(pos + 5),
                                                       s.begin() + static_cast<std::ptrdiff_t>(pos + 4 + length))});
        pos += 4 + length;
    }
    return r;
}

bool same(const Frame& a, const Frame& b) { return a.type == b.type && a.body == b.body; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    hp::fuzz::Input in(data, size);
    std::uint32_t cut = in.u32() | 1;
    const ByteView stream = in.rest();
    const Reading expected = read_whole(stream);

    FrameReader reader;
    Reading got;
    std::size_t fed = 0, handed_out = 0;
    while (fed < stream.size()) {
        // xorshift32 picks chunk sizes 0..96, now and then all that is left.
        cut ^= cut << 13;
        cut ^= cut >> 17;
        cut ^= cut << 5;
        const std::size_t want = cut % 16 == 0 ? stream.size() : cut % 97;
        const std::size_t n = std::min(want, stream.size() - fed);
        reader.feed(stream.subspan(fed, n));
        fed += n;
        for (;;) {
            Frame frame;
            const auto status = reader.next(frame);
            if (status == FrameReader::Status::NeedMore) break;
            if (status == FrameReader::Status::Bad) {
                got.bad = true;
                break;
            }
            FUZZ_CHECK(!got.bad);
            handed_out += 5 + frame.body.size();
            got.frames.push_back(std::move(frame));
        }
        if (got.bad) {
            FUZZ_CHECK(reader.buffered() == 0);
        } else {
            FUZZ_CHECK(handed_out + reader.buffered() == fed);
        }
    }
    FUZZ_CHECK(got.bad == expected.bad);
    FUZZ_CHECK(got.frames.size() == expected.frames.size());
    for (std::size_t i = 0; i < got.frames.size(); ++i) FUZZ_CHECK(same(got.frames[i], expected.frames[i]));

    if (got.bad) {
        // Bad for good: more bytes, even a well-formed frame, change nothing.
        static const std::uint8_t ping[] = {1, 0, 0, 0, 0x30};
        reader.feed(ByteView(ping));
        Frame frame;
        FUZZ_CHECK(reader.next(frame) == FrameReader::Status::Bad);
        FUZZ_CHECK(reader.next(frame) == FrameReader::Status::Bad);
        FUZZ_CHECK(reader.buffered() == 0);
    }
    return 0;
}
