#include "crypto/crypto.h"

#include <sodium.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace hp::crypto {

void init() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (sodium_init() < 0) {
            std::fputs("libsodium initialisation failed\n", stderr);
            std::abort();
        }
    });
}

void random_bytes(std::span<std::uint8_t> out) {
    init();
    randombytes_buf(out.data(), out.size());
}

Bytes random_bytes(std::size_t count) {
    Bytes b(count);
    random_bytes(b);
    return b;
}

std::uint32_t random_u32() {
    init();
    return randombytes_random();
}

X25519KeyPair::~X25519KeyPair() { sodium_memzero(secret.data(), secret.size()); }

X25519KeyPair x25519_keypair() {
    X25519KeyPair kp;
    random_bytes(kp.secret);
    crypto_scalarmult_base(kp.public_key.data(), kp.secret.data());
    return kp;
}

X25519KeyPair x25519_keypair_from(const Key32& secret) {
    init();
    X25519KeyPair kp;
    kp.secret = secret;
    crypto_scalarmult_base(kp.public_key.data(), kp.secret.data());
    return kp;
}

Key32 x25519(const Key32& secret, const Key32& peer_public) {
    init();
    Key32 out{};
    // libsodium reports low-order points with -1 and leaves zeros behind; the
    // all-zero result is what callers test, so the return value is not needed.
    if (crypto_scalarmult(out.data(), secret.data(), peer_public.data()) != 0) out.fill(0);
    return out;
}

bool is_all_zero(ByteView b) { return sodium_is_zero(b.data(), b.size()) == 1; }

Key32 ed25519_public_key(const Key32& seed) {
    init();
    Key32 pk{};
    ByteArray<64> sk{};
    crypto_sign_seed_keypair(pk.data(), sk.data(), seed.data());
    sodium_memzero(sk.data(), sk.size());
    return pk;
}

Sig64 ed25519_sign(const Key32& seed, ByteView message) {
    init();
    Key32 pk{};
    ByteArray<64> sk{};
    crypto_sign_seed_keypair(pk.data(), sk.data(), seed.data());
    Sig64 sig{};
    crypto_sign_detached(sig.data(), nullptr, message.data(), message.size(), sk.data());
    sodium_memzero(sk.data(), sk.size());
    return sig;
}

bool ed25519_verify(const Key32& public_key, ByteView message, const Sig64& signature) {
    init();
    return crypto_sign_verify_detached(signature.data(), message.data(), message.size(),
                                       public_key.data()) == 0;
}

Key32 sha256(ByteView message) {
    init();
    Key32 out{};
    crypto_hash_sha256(out.data(), message.data(), message.size());
    return out;
}

Key32 hmac_sha256(ByteView key, ByteView message) {
    init();
    crypto_auth_hmacsha256_state st;
    // libsodium declares the key pointer non-null even for an empty key (the
    // empty HKDF salt), so an empty key is passed as a valid zero-length range.
    static constexpr std::uint8_t no_key = 0;
    crypto_auth_hmacsha256_init(&st, key.empty() ? &no_key : key.data(), key.size());
    crypto_auth_hmacsha256_update(&st, message.data(), message.size());
    Key32 out{};
    crypto_auth_hmacsha256_final(&st, out.data());
    sodium_memzero(&st, sizeof st);
    return out;
}

Bytes hkdf_sha256(ByteView salt, ByteView ikm, ByteView info, std::size_t length) {
    if (length > 255 * 32) {
        std::fputs("hkdf output length <= 255*32\n", stderr);
        std::abort();
    }
    init();
    // Extract: an empty salt is passed as given; HMAC pads it to zeros.
    Key32 prk = hmac_sha256(salt, ikm);
    Bytes out;
    out.reserve(length);
    Key32 t{};
    std::size_t t_len = 0;
    for (std::uint8_t i = 1; out.size() < length; ++i) {
        crypto_auth_hmacsha256_state st;
        crypto_auth_hmacsha256_init(&st, prk.data(), prk.size());
        crypto_auth_hmacsha256_update(&st, t.data(), t_len);
        crypto_auth_hmacsha256_update(&st, info.data(), info.size());
        crypto_auth_hmacsha256_update(&st, &i, 1);
        crypto_auth_hmacsha256_final(&st, t.data());
        sodium_memzero(&st, sizeof st);
        t_len = t.size();
        const std::size_t take = std::min(t.size(), length - out.size());
        out.insert(out.end(), t.begin(), t.begin() + static_cast<std::ptrdiff_t>(take));
    }
    sodium_memzero(prk.data(), prk.size());
    sodium_memzero(t.data(), t.size());
    return out;
}

Bytes aead_seal(const Key32& key, const ByteArray<12>& nonce, ByteView aad, ByteView plain) {
    init();
    Bytes out(plain.size() + crypto_aead_chacha20poly1305_ietf_ABYTES);
    unsigned long long len = 0;
    crypto_aead_chacha20poly1305_ietf_encrypt(out.data(), &len, plain.data(), plain.size(),
                                              aad.data(), aad.size(), nullptr, nonce.data(),
                                              key.data());
    out.resize(static_cast<std::size_t>(len));
    return out;
}

std::optional<Bytes> aead_open(const Key32& key, const ByteArray<12>& nonce, ByteView aad,
                               ByteView cipher_and_tag) {
    init();
    if (cipher_and_tag.size() < crypto_aead_chacha20poly1305_ietf_ABYTES) return std::nullopt;
    Bytes out(cipher_and_tag.size() - crypto_aead_chacha20poly1305_ietf_ABYTES);
    unsigned long long len = 0;
    if (crypto_aead_chacha20poly1305_ietf_decrypt(out.data(), &len, nullptr,
                                                  cipher_and_tag.data(), cipher_and_tag.size(),
                                                  aad.data(), aad.size(), nonce.data(),
                                                  key.data()) != 0)
        return std::nullopt;
    out.resize(static_cast<std::size_t>(len));
    return out;
}

ByteArray<12> make_nonce(std::string_view label4, std::uint64_t counter) {
    ByteArray<12> n{};
    for (std::size_t i = 0; i < 4 && i < label4.size(); ++i)
        n[i] = static_cast<std::uint8_t>(label4[i]);
    for (int i = 0; i < 8; ++i) n[4 + i] = static_cast<std::uint8_t>(counter >> (8 * i));
    return n;
}

bool ct_equal(ByteView a, ByteView b) {
    if (a.size() != b.size()) return false;
    init();
    return sodium_memcmp(a.data(), b.data(), a.size()) == 0;
}

void wipe(std::span<std::uint8_t> b) { sodium_memzero(b.data(), b.size()); }

std::string hex_encode(ByteView b) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string s;
    s.reserve(b.size() * 2);
    for (auto c : b) {
        s.push_back(digits[c >> 4]);
        s.push_back(digits[c & 15]);
    }
    return s;
}

namespace {
int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
}  // namespace

std::optional<Bytes> hex_decode(std::string_view text, std::size_t size) {
    if (text.size() != size * 2) return std::nullopt;
    Bytes out(size);
    for (std::size_t i = 0; i < size; ++i) {
        const int hi = hex_value(text[2 * i]);
        const int lo = hex_value(text[2 * i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out[i] = static_cast<std::uint8_t>(hi << 4 | lo);
    }
    return out;
}

std::string fingerprint(const Key32& ed25519_public) {
    return hex_encode(sha256(ed25519_public)).substr(0, 16);
}

Bytes pair_transcript(std::string_view client_id, std::string_view host_id,
                      const Key32& client_x25519, const Key32& host_x25519,
                      const Key32& client_ed25519, const Key32& host_ed25519,
                      const Nonce16& client_nonce, const Nonce16& host_nonce) {
    Bytes t;
    t.reserve(170 + client_id.size() + host_id.size());
    append(t, std::string_view("RC_PAIR_V1"));
    append(t, client_id);
    append(t, host_id);
    append(t, client_x25519);
    append(t, host_x25519);
    append(t, client_ed25519);
    append(t, host_ed25519);
    append(t, client_nonce);
    append(t, host_nonce);
    return t;
}

Bytes auth_transcript(std::string_view client_id, std::string_view host_id,
                      const Key32& client_x25519, const Key32& host_x25519,
                      const Nonce16& client_nonce, const Nonce16& host_nonce) {
    Bytes t;
    t.reserve(106 + client_id.size() + host_id.size());
    append(t, std::string_view("RC_AUTH_V1"));
    append(t, client_id);
    append(t, host_id);
    append(t, client_x25519);
    append(t, host_x25519);
    append(t, client_nonce);
    append(t, host_nonce);
    return t;
}

PairingKeys::~PairingKeys() {
    sodium_memzero(session_key.data(), session_key.size());
    sodium_memzero(confirm_key.data(), confirm_key.size());
}

PairingKeys derive_pairing_keys(std::string_view code, const Key32& shared, ByteView transcript) {
    Bytes okm = hkdf_sha256(as_bytes(code), shared, transcript, 64);
    PairingKeys keys;
    std::copy(okm.begin(), okm.begin() + 32, keys.session_key.begin());
    std::copy(okm.begin() + 32, okm.end(), keys.confirm_key.begin());
    wipe(okm);
    return keys;
}

Key32 derive_auth_session_key(const Nonce16& client_nonce, const Nonce16& host_nonce,
                              const Key32& shared, ByteView transcript) {
    Bytes salt;
    append(salt, client_nonce);
    append(salt, host_nonce);
    Bytes okm = hkdf_sha256(salt, shared, transcript, 32);
    Key32 key{};
    std::copy(okm.begin(), okm.end(), key.begin());
    wipe(okm);
    return key;
}

Key32 derive_store_key(const Key32& identity_seed) {
    Bytes okm = hkdf_sha256({}, identity_seed, as_bytes("RC_PAIRED_STORE_HMAC_V1"), 32);
    Key32 key{};
    std::copy(okm.begin(), okm.end(), key.begin());
    wipe(okm);
    return key;
}

}  // namespace hp::crypto
