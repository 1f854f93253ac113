#pragma once
// The session's UDP datagrams as this client sends them, and the check of the
// host's acknowledgement. Pure functions of their input (Connection sends
// and waits; the measuring tools in bench/ time the same bytes).
#include <cstdint>

#include "base/bytes.h"
#include "crypto/crypto.h"
#include "protocol/datagram.h"

namespace hp::client {

// The datagram for a 20-byte input record that already carries its sequence
// number, with the acknowledgement flag set when `wantAck`, sealed with the
// session key.
ByteArray<protocol::kDatagramSize> seal_input(const crypto::Key32& key, ByteView inputRecord,
                                              bool wantAck);

// The acknowledgement the host sends for `seq`; computed before sending, so
// that waiting for it costs one comparison.
ByteArray<protocol::kAckSize> expected_ack(const crypto::Key32& key, std::uint64_t seq);

// True when `reply` is exactly `expected` (compared in constant time).
bool is_ack(ByteView reply, ByteView expected);

}  // namespace hp::client
