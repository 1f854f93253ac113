// The secure-frame decoder with a fixed key and a receive counter the input
// picks, as the host opens what a client sent ("CTCP").
//
// Input: counter choice, frame type, then the wire body (ciphertext || tag).
// Invariants: a body that opens re-seals to the same bytes under the same
// counter, advances the counter by one and does not open in the other
// direction; a body that does not open leaves the counter alone; nothing
// opens once the counter is exhausted. The rest of the input, taken as a
// plain body, survives sealing, framing and opening, and only once.
#include <limits>

#include "fuzz_fixture.h"
#include "fuzz_support.h"
#include "protocol/frame.h"

namespace {

using namespace hp;
using protocol::SessionKeys;

constexpr std::uint64_t kCounters[] = {0, 1, 2, 0xFFFFFFFFull, 0x100000000ull,
                                       std::numeric_limits<std::uint64_t>::max() - 1,
                                       std::numeric_limits<std::uint64_t>::max()};

SessionKeys keys_at(std::uint64_t counter) {
    return SessionKeys{crypto::SessionKey(fuzz::fixture::channel_key()), counter, counter};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::uint64_t counter = kCounters[in.u8() % std::size(kCounters)];
    const std::uint8_t type = in.u8();
    const ByteView body = in.rest();
    constexpr auto kMax = std::numeric_limits<std::uint64_t>::max();

    // What a client sent, opened.
    SessionKeys receiver = keys_at(counter);
    const auto plain = protocol::decode_secure(receiver, protocol::kClientToHost, type, body);
    if (plain) {
        FUZZ_CHECK(counter != kMax);
        FUZZ_CHECK(receiver.recvCounter == counter + 1);
        FUZZ_CHECK(plain->size() + protocol::kTagSize == body.size());
        SessionKeys sender = keys_at(counter);
        const auto again = protocol::encode_secure(sender, protocol::kClientToHost, type, *plain);
        FUZZ_CHECK(again.has_value());
        FUZZ_CHECK(again->size() == protocol::kFrameHeaderSize + 1 + body.size());
        FUZZ_CHECK(get_u32le(again->data()) == 1 + body.size());
        FUZZ_CHECK((*again)[4] == type);
        FUZZ_CHECK(std::equal(body.begin(), body.end(), again->begin() + 5));
        SessionKeys other = keys_at(counter);
        FUZZ_CHECK(!protocol::decode_secure(other, protocol::kHostToClient, type, body));
    } else {
        FUZZ_CHECK(receiver.recvCounter == counter);
    }

    // The same bytes as a plain body, sealed by the host and opened by a reader.
    SessionKeys host = keys_at(counter);
    const auto sealed = protocol::encode_secure(host, protocol::kHostToClient, type, body);
    if (counter == kMax || body.size() > protocol::kMaxSecurePlainBody) {
        FUZZ_CHECK(!sealed);
        FUZZ_CHECK(host.sendCounter == counter);
        return 0;
    }
    FUZZ_CHECK(sealed.has_value());
    FUZZ_CHECK(host.sendCounter == counter + 1);
    protocol::FrameReader reader;
    reader.feed(*sealed);
    protocol::Frame frame;
    FUZZ_CHECK(reader.next(frame) == protocol::FrameReader::Status::Frame);
    FUZZ_CHECK(frame.type == type);
    SessionKeys client = keys_at(counter);
    const auto opened = protocol::decode_secure(client, protocol::kHostToClient, type, frame.body);
    FUZZ_CHECK(opened && std::equal(opened->begin(), opened->end(), body.begin(), body.end()));
    // Replayed, or with the type changed, it no longer opens.
    FUZZ_CHECK(!protocol::decode_secure(client, protocol::kHostToClient, type, frame.body));
    SessionKeys fresh = keys_at(counter);
    FUZZ_CHECK(!protocol::decode_secure(fresh, protocol::kHostToClient, static_cast<std::uint8_t>(type ^ 1),
                                        frame.body));
    return 0;
}
