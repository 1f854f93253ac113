#include "protocol/datagram.h"

#include <algorithm>

namespace hp::protocol {

namespace {
// The first four nonce bytes of each direction.
constexpr std::string_view kClientDatagramLabel = "CUDP";
constexpr std::string_view kHostAckLabel = "HUDP";
}  // namespace

bool looks_like_datagram(ByteView d) { return d.size() == kDatagramSize && d[0] == kDatagramVersion; }

std::uint64_t datagram_sequence(ByteView d) { return get_u64le(d.data() + 4); }

bool wants_ack(ByteView d) { return (d[3] & kAckFlag) != 0; }

std::optional<ByteArray<kInputRecordSize>> open_datagram(const crypto::Key32& key, ByteView d) {
    if (!looks_like_datagram(d)) return std::nullopt;
    const std::uint64_t seq = datagram_sequence(d);
    auto plain = crypto::aead_open(key, crypto::make_nonce(kClientDatagramLabel, seq), d.first(12), d.subspan(12));
    if (!plain || plain->size() != 8) return std::nullopt;
    ByteArray<kInputRecordSize> record{};
    std::copy(d.begin(), d.begin() + 12, record.begin());
    std::copy(plain->begin(), plain->end(), record.begin() + 12);
    return record;
}

ByteArray<kDatagramSize> seal_datagram(const crypto::Key32& key, ByteView record) {
    ByteArray<kDatagramSize> d{};
    if (record.size() != kInputRecordSize) return d;
    std::copy(record.begin(), record.begin() + 12, d.begin());
    const std::uint64_t seq = get_u64le(record.data() + 4);
    const Bytes sealed =
        crypto::aead_seal(key, crypto::make_nonce(kClientDatagramLabel, seq), record.first(12), record.subspan(12));
    std::copy(sealed.begin(), sealed.end(), d.begin() + 12);
    return d;
}

ByteArray<kAckSize> make_ack(const crypto::Key32& key, std::uint64_t seq) {
    ByteArray<kAckSize> ack{};
    ack[0] = 0x01;
    ack[1] = 0xFE;
    for (int i = 0; i < 8; ++i) ack[4 + i] = static_cast<std::uint8_t>(seq >> (8 * i));
    const Bytes tag =
        crypto::aead_seal(key, crypto::make_nonce(kHostAckLabel, seq), ByteView(ack.data(), 12), ByteView());
    std::copy(tag.begin(), tag.end(), ack.begin() + 12);
    return ack;
}

}  // namespace hp::protocol
