#include "client/datagram.h"

#include <algorithm>

namespace hp::client {

ByteArray<protocol::kDatagramSize> seal_input(const crypto::Key32& key, ByteView inputRecord,
                                              bool wantAck) {
    ByteArray<protocol::kInputRecordSize> record{};
    std::copy_n(inputRecord.begin(), std::min(inputRecord.size(), record.size()), record.begin());
    if (wantAck)
        record[3] |= protocol::kAckFlag;
    else
        record[3] &= static_cast<std::uint8_t>(~protocol::kAckFlag);
    return protocol::seal_datagram(key, record);
}

ByteArray<protocol::kAckSize> expected_ack(const crypto::Key32& key, std::uint64_t seq) {
    return protocol::make_ack(key, seq);
}

bool is_ack(ByteView reply, ByteView expected) {
    return reply.size() == protocol::kAckSize && expected.size() == protocol::kAckSize &&
           crypto::ct_equal(reply, expected);
}

}  // namespace hp::client
