#pragma once
// Every cryptographic computation of the host: primitives over libsodium, hex
// text, the handshake transcripts and the key schedule.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/bytes.h"

namespace hp::crypto {

using Key32 = ByteArray<32>;
using Nonce16 = ByteArray<16>;
using Sig64 = ByteArray<64>;

// Must be called once before any other function (idempotent, thread-safe).
void init();

// --- primitives --------------------------------------------------------------
void random_bytes(std::span<std::uint8_t> out);
Bytes random_bytes(std::size_t count);
std::uint32_t random_u32();

struct X25519KeyPair {
    Key32 secret{};
    Key32 public_key{};
    X25519KeyPair() = default;
    X25519KeyPair(const X25519KeyPair&) = default;
    X25519KeyPair& operator=(const X25519KeyPair&) = default;
    ~X25519KeyPair();
};
X25519KeyPair x25519_keypair();
// The pair of a given secret (public = X25519(secret, 9)).
X25519KeyPair x25519_keypair_from(const Key32& secret);
// Shared secret; all zeros for a low-order peer key (callers must check).
Key32 x25519(const Key32& secret, const Key32& peer_public);
bool is_all_zero(ByteView b);

Key32 ed25519_public_key(const Key32& seed);
Sig64 ed25519_sign(const Key32& seed, ByteView message);
bool ed25519_verify(const Key32& public_key, ByteView message, const Sig64& signature);

Key32 sha256(ByteView message);
Key32 hmac_sha256(ByteView key, ByteView message);
// RFC 5869. Aborts the process for length > 8160 (a programming error).
Bytes hkdf_sha256(ByteView salt, ByteView ikm, ByteView info, std::size_t length);

// ChaCha20-Poly1305 IETF: returns ciphertext || 16-byte tag.
Bytes aead_seal(const Key32& key, const ByteArray<12>& nonce, ByteView aad, ByteView plain);
// Returns the plaintext, or nothing when the tag does not verify.
std::optional<Bytes> aead_open(const Key32& key, const ByteArray<12>& nonce, ByteView aad,
                               ByteView cipher_and_tag);
// 4 ASCII label bytes followed by the counter as u64 little-endian.
ByteArray<12> make_nonce(std::string_view label4, std::uint64_t counter);

// Lengths equal and every byte equal; visits every byte.
bool ct_equal(ByteView a, ByteView b);
void wipe(std::span<std::uint8_t> b);

// --- hex ---------------------------------------------------------------------
std::string hex_encode(ByteView b);
// Accepts either case; must yield exactly `size` bytes.
std::optional<Bytes> hex_decode(std::string_view text, std::size_t size);
// The decoded bytes may be a secret: the temporary copy is wiped.
template <std::size_t N>
std::optional<ByteArray<N>> hex_decode_array(std::string_view text) {
    auto b = hex_decode(text, N);
    if (!b) return std::nullopt;
    ByteArray<N> out{};
    std::copy(b->begin(), b->end(), out.begin());
    wipe(*b);
    return out;
}

// A 32-byte secret key (a session key) that wipes itself when it goes; every
// copy does the same.
class SessionKey {
public:
    SessionKey() = default;
    explicit SessionKey(const Key32& key) : bytes_(key) {}
    SessionKey(const SessionKey&) = default;
    SessionKey& operator=(const SessionKey&) = default;
    ~SessionKey() { wipe(bytes_); }

    const Key32& bytes() const { return bytes_; }

private:
    Key32 bytes_{};
};

// First 16 lowercase hex characters of SHA-256 of the public key.
std::string fingerprint(const Key32& ed25519_public);

// --- transcripts and key schedule --------------------------------------------
Bytes pair_transcript(std::string_view client_id, std::string_view host_id,
                      const Key32& client_x25519, const Key32& host_x25519,
                      const Key32& client_ed25519, const Key32& host_ed25519,
                      const Nonce16& client_nonce, const Nonce16& host_nonce);
Bytes auth_transcript(std::string_view client_id, std::string_view host_id,
                      const Key32& client_x25519, const Key32& host_x25519,
                      const Nonce16& client_nonce, const Nonce16& host_nonce);

struct PairingKeys {
    Key32 session_key{};
    Key32 confirm_key{};
    ~PairingKeys();
};
// One 64-byte HKDF output split 32/32; salt = the pairing code's bytes.
PairingKeys derive_pairing_keys(std::string_view code, const Key32& shared, ByteView transcript);
Key32 derive_auth_session_key(const Nonce16& client_nonce, const Nonce16& host_nonce,
                              const Key32& shared, ByteView transcript);
Key32 derive_store_key(const Key32& identity_seed);

}  // namespace hp::crypto
