#include "primitive_cost.h"

#include <sodium.h>

#include <cstdint>

#include "base/bytes.h"
#include "crypto/crypto.h"

namespace hp::bench {
namespace {

template <class T>
inline void use(const T& value) {
    asm volatile("" : : "g"(value) : "memory");
}

}  // namespace

PrimitiveCost measure_primitives(const TimePerCall& time_per_call) {
    PrimitiveCost c;
    Bytes transcript(10 + 36 + 36 + 32 + 32 + 16 + 16);
    crypto::random_bytes(transcript);
    std::uint8_t sk[32], pk[32], peer[32], shared[32], edPk[32], edSk[64], sig[64];
    randombytes_buf(peer, sizeof peer);
    crypto_scalarmult_base(peer, peer);
    crypto_sign_keypair(edPk, edSk);
    crypto_sign_detached(sig, nullptr, transcript.data(), transcript.size(), edSk);
    const Bytes salt = crypto::random_bytes(32);
    c.keypairNs = time_per_call(1000, [&](int) {
        randombytes_buf(sk, sizeof sk);
        use(crypto_scalarmult_base(pk, sk));
    });
    c.x25519Ns = time_per_call(1000, [&](int) { use(crypto_scalarmult(shared, sk, peer)); });
    c.signNs = time_per_call(1000, [&](int) {
        use(crypto_sign_detached(sig, nullptr, transcript.data(), transcript.size(), edSk));
    });
    c.verifyNs = time_per_call(1000, [&](int) {
        use(crypto_sign_verify_detached(sig, transcript.data(), transcript.size(), edPk));
    });
    c.hkdfNs = time_per_call(10000, [&](int) {
        use(crypto::hkdf_sha256(salt, ByteView(shared, 32), transcript, 32)[0]);
    });
    return c;
}

}  // namespace hp::bench
