#pragma once
// The UDP controller datagram and its acknowledgement, as bytes.
//
// Datagram (36 bytes): version 1, kind, modifiers, flags (bit 0: acknowledge),
// sequence number (u64 LE), 8 payload bytes encrypted, 16-byte tag. The
// first 12 bytes travel in clear as the associated data; the nonce is "CUDP"
// followed by the sequence number.
//
// Acknowledgement (28 bytes): 01 FE 00 00, the sequence number (u64 LE), and
// the tag over an empty plaintext with nonce "HUDP" + sequence number and the
// first 12 bytes as associated data.
//
// Pure functions of their input; nothing here knows about sessions.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "base/bytes.h"
#include "crypto/crypto.h"
#include "protocol/input_record.h"

namespace hp::protocol {

inline constexpr std::size_t kDatagramSize = 36;
inline constexpr std::size_t kAckSize = 28;
inline constexpr std::uint8_t kDatagramVersion = 1;
inline constexpr std::uint8_t kAckFlag = 0x01;

// Cheap checks that need no key: exactly 36 bytes, version 1.
bool looks_like_datagram(ByteView datagram);

// The sequence number of a datagram that looks like one.
std::uint64_t datagram_sequence(ByteView datagram);
bool wants_ack(ByteView datagram);

// The 20-byte input record (clear header + decrypted payload), when `key`
// authenticates the datagram.
std::optional<ByteArray<kInputRecordSize>> open_datagram(const crypto::Key32& key, ByteView datagram);

// A datagram as a client builds it (for tests and tools).
ByteArray<kDatagramSize> seal_datagram(const crypto::Key32& key, ByteView inputRecord20);

// The acknowledgement of a sequence number.
ByteArray<kAckSize> make_ack(const crypto::Key32& key, std::uint64_t seq);

}  // namespace hp::protocol
