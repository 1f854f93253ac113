// Whole Wycheproof files run as data: every case of every group that fits the
// parameters the host uses.
#include <gtest/gtest.h>

#include <algorithm>

#include "crypto/crypto.h"
#include "vector_files.h"

namespace hp::crypto {
namespace {

using test::to_bytes;
using test::unhex;
using test::unhex_array;

bool has_flag(const nlohmann::json& test_case, const std::string& flag) {
    const auto& flags = test_case["flags"];
    return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

std::string trace(const nlohmann::json& t) {
    return "tcId " + std::to_string(t["tcId"].get<int>()) + " " + t["comment"].get<std::string>();
}

class Wycheproof : public ::testing::Test {
protected:
    static void SetUpTestSuite() { init(); }
    // Guards against a file that silently yields no case at all.
    void TearDown() override { EXPECT_GT(cases, 0) << "no vector was run"; }
    int cases = 0;
};

// Valid and acceptable cases alike must give the listed secret; low-order
// public keys give all zeros, which the handshakes refuse.
TEST_F(Wycheproof, X25519) {
    const auto file = test::load_vectors("wycheproof/x25519_test.json");
    for (const auto& group : file["testGroups"]) {
        ASSERT_EQ(group["curve"], "curve25519");
        for (const auto& t : group["tests"]) {
            SCOPED_TRACE(trace(t));
            ++cases;
            const Key32 shared =
                x25519(unhex_array<32>(t["private"]), unhex_array<32>(t["public"]));
            EXPECT_EQ(shared, unhex_array<32>(t["shared"]));
            EXPECT_EQ(is_all_zero(shared), has_flag(t, "ZeroSharedSecret"));
        }
    }
}

TEST_F(Wycheproof, Ed25519Verify) {
    const auto file = test::load_vectors("wycheproof/ed25519_test.json");
    for (const auto& group : file["testGroups"]) {
        const auto public_key = unhex_array<32>(group["publicKey"]["pk"]);
        for (const auto& t : group["tests"]) {
            SCOPED_TRACE(trace(t));
            ++cases;
            const Bytes message = unhex(t["msg"]);
            const Bytes sig = unhex(t["sig"]);
            const bool valid = t["result"] == "valid";
            if (sig.size() != 64) {
                // Not even the right size: such a signature never reaches verification.
                EXPECT_FALSE(valid);
                continue;
            }
            Sig64 signature{};
            std::copy(sig.begin(), sig.end(), signature.begin());
            EXPECT_EQ(ed25519_verify(public_key, message, signature), valid);
        }
    }
}

TEST_F(Wycheproof, HkdfSha256) {
    const auto file = test::load_vectors("wycheproof/hkdf_sha256_test.json");
    for (const auto& group : file["testGroups"]) {
        for (const auto& t : group["tests"]) {
            SCOPED_TRACE(trace(t));
            ++cases;
            const auto size = t["size"].get<std::size_t>();
            if (t["result"] == "invalid") {
                // Only requests beyond 255 blocks are invalid; they abort (see the
                // death test) instead of returning.
                EXPECT_GT(size, 255u * 32u);
                continue;
            }
            EXPECT_EQ(hkdf_sha256(unhex(t["salt"]), unhex(t["ikm"]), unhex(t["info"]), size),
                      unhex(t["okm"]));
        }
    }
}

TEST_F(Wycheproof, HmacSha256FullLengthTags) {
    const auto file = test::load_vectors("wycheproof/hmac_sha256_test.json");
    for (const auto& group : file["testGroups"]) {
        if (group["tagSize"] != 256) continue;
        for (const auto& t : group["tests"]) {
            SCOPED_TRACE(trace(t));
            ++cases;
            const Key32 mac = hmac_sha256(unhex(t["key"]), unhex(t["msg"]));
            EXPECT_EQ(ct_equal(mac, unhex(t["tag"])), t["result"] == "valid");
        }
    }
}

TEST_F(Wycheproof, ChaCha20Poly1305) {
    const auto file = test::load_vectors("wycheproof/chacha20_poly1305_test.json");
    for (const auto& group : file["testGroups"]) {
        if (group["ivSize"] != 96 || group["keySize"] != 256 || group["tagSize"] != 128) continue;
        for (const auto& t : group["tests"]) {
            SCOPED_TRACE(trace(t));
            ++cases;
            const auto key = unhex_array<32>(t["key"]);
            const auto nonce = unhex_array<12>(t["iv"]);
            const Bytes aad = unhex(t["aad"]);
            const Bytes plain = unhex(t["msg"]);
            Bytes sealed = unhex(t["ct"]);
            append(sealed, unhex(t["tag"]));

            const auto opened = aead_open(key, nonce, aad, sealed);
            if (t["result"] == "valid") {
                EXPECT_EQ(aead_seal(key, nonce, aad, plain), sealed);
                ASSERT_TRUE(opened.has_value());
                EXPECT_EQ(*opened, plain);
            } else {
                EXPECT_FALSE(opened.has_value());
            }
        }
    }
}

}  // namespace
}  // namespace hp::crypto
