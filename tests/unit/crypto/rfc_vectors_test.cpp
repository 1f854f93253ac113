// The RFC test vectors of every primitive, from tests/data/rfc.json.
#include <gtest/gtest.h>

#include "crypto/crypto.h"
#include "vector_files.h"

namespace hp::crypto {
namespace {

using test::to_bytes;
using test::unhex;
using test::unhex_array;

class RfcVectors : public ::testing::Test {
protected:
    static void SetUpTestSuite() { init(); }
    const nlohmann::json vectors = test::load_vectors("rfc.json");
};

TEST_F(RfcVectors, Ed25519Rfc8032Section7_1) {
    ASSERT_EQ(vectors["ed25519"].size(), 3u);
    for (const auto& v : vectors["ed25519"]) {
        SCOPED_TRACE(v["name"].get<std::string>());
        const auto seed = unhex_array<32>(v["seed"]);
        const auto public_key = unhex_array<32>(v["publicKey"]);
        const Bytes message = unhex(v["message"]);
        const auto signature = unhex_array<64>(v["signature"]);

        EXPECT_EQ(ed25519_public_key(seed), public_key);
        EXPECT_EQ(ed25519_sign(seed, message), signature);
        EXPECT_TRUE(ed25519_verify(public_key, message, signature));

        Sig64 altered = signature;
        altered[63] ^= 0x01;
        EXPECT_FALSE(ed25519_verify(public_key, message, altered));
        Bytes other_message = message;
        other_message.push_back(0x00);
        EXPECT_FALSE(ed25519_verify(public_key, other_message, signature));
    }
}

TEST_F(RfcVectors, X25519Rfc7748Section6_1) {
    const auto& v = vectors["x25519_dh"];
    const auto alice_private = unhex_array<32>(v["alicePrivate"]);
    const auto bob_private = unhex_array<32>(v["bobPrivate"]);
    const auto alice_public = unhex_array<32>(v["alicePublic"]);
    const auto bob_public = unhex_array<32>(v["bobPublic"]);
    const auto shared = unhex_array<32>(v["shared"]);
    Key32 base_point{};
    base_point[0] = 9;

    EXPECT_EQ(x25519(alice_private, base_point), alice_public);
    EXPECT_EQ(x25519(bob_private, base_point), bob_public);
    EXPECT_EQ(x25519(alice_private, bob_public), shared);
    EXPECT_EQ(x25519(bob_private, alice_public), shared);
}

TEST_F(RfcVectors, X25519Rfc7748Section5_2FromWycheproof) {
    const auto file = test::load_vectors("wycheproof/x25519_test.json");
    int seen = 0;
    for (const auto& group : file["testGroups"]) {
        for (const auto& t : group["tests"]) {
            if (t["comment"] != "RFC 7748") continue;
            SCOPED_TRACE(t["tcId"].get<int>());
            ++seen;
            EXPECT_EQ(x25519(unhex_array<32>(t["private"]), unhex_array<32>(t["public"])),
                      unhex_array<32>(t["shared"]));
        }
    }
    EXPECT_EQ(seen, 2) << "both scalar-multiplication examples must be present";
}

TEST_F(RfcVectors, HmacSha256Rfc4231) {
    for (const auto& v : vectors["hmac_sha256"]) {
        SCOPED_TRACE(v["name"].get<std::string>());
        EXPECT_EQ(to_bytes(hmac_sha256(unhex(v["key"]), unhex(v["data"]))), unhex(v["mac"]));
    }
}

TEST_F(RfcVectors, HkdfSha256Rfc5869) {
    ASSERT_EQ(vectors["hkdf_sha256"].size(), 3u);
    for (const auto& v : vectors["hkdf_sha256"]) {
        SCOPED_TRACE(v["name"].get<std::string>());
        const Bytes salt = unhex(v["salt"]);
        const Bytes ikm = unhex(v["ikm"]);
        const Bytes info = unhex(v["info"]);
        const auto length = v["length"].get<std::size_t>();

        EXPECT_EQ(hkdf_sha256(salt, ikm, info, length), unhex(v["okm"]));
        // The extract step is HMAC keyed with the salt; an empty salt included.
        EXPECT_EQ(to_bytes(hmac_sha256(salt, ikm)), unhex(v["prk"]));
    }
}

TEST_F(RfcVectors, ChaCha20Poly1305Rfc8439Section2_8_2) {
    const auto& v = vectors["chacha20_poly1305"];
    const auto key = unhex_array<32>(v["key"]);
    const auto nonce = unhex_array<12>(v["nonce"]);
    const Bytes aad = unhex(v["aad"]);
    const Bytes plain = unhex(v["plaintext"]);
    Bytes sealed = unhex(v["ciphertext"]);
    append(sealed, unhex(v["tag"]));

    EXPECT_EQ(aead_seal(key, nonce, aad, plain), sealed);
    const auto opened = aead_open(key, nonce, aad, sealed);
    ASSERT_TRUE(opened.has_value());
    EXPECT_EQ(*opened, plain);
}

}  // namespace
}  // namespace hp::crypto
