// How the host combines the primitives: HKDF rules, the key schedule, the
// transcripts, hex text, constant-time comparison and the fingerprint.
#include <gtest/gtest.h>

#include <string>

#include "crypto/crypto.h"
#include "vector_files.h"

namespace hp::crypto {
namespace {

using test::to_bytes;

template <std::size_t N>
ByteArray<N> filled(std::uint8_t value) {
    ByteArray<N> a{};
    a.fill(value);
    return a;
}

class KeySchedule : public ::testing::Test {
protected:
    static void SetUpTestSuite() { init(); }
    const std::string client_id = std::string(36, 'c');
    const std::string host_id = "0f8fad5b-d9cb-469f-a165-70867728950e";
    const Key32 client_x = filled<32>(0x11);
    const Key32 host_x = filled<32>(0x22);
    const Key32 client_ed = filled<32>(0x33);
    const Key32 host_ed = filled<32>(0x44);
    const Nonce16 client_nonce = filled<16>(0x55);
    const Nonce16 host_nonce = filled<16>(0x66);
    const Key32 shared = filled<32>(0x77);
};

TEST_F(KeySchedule, HkdfEmptySaltEqualsThirtyTwoZeroBytes) {
    const Bytes zeros(32, 0);
    const Bytes info = {'i', 'n', 'f', 'o'};
    EXPECT_EQ(hkdf_sha256({}, shared, info, 64), hkdf_sha256(zeros, shared, info, 64));
}

TEST_F(KeySchedule, HkdfAcceptsTheLargestLength) {
    EXPECT_EQ(hkdf_sha256({}, shared, {}, 255 * 32).size(), 8160u);
}

TEST(KeyScheduleDeathTest, HkdfAbortsBeyond255Blocks) {
    init();
    const Key32 ikm{};
    EXPECT_DEATH(hkdf_sha256({}, ikm, {}, 255 * 32 + 1), "hkdf output length <= 255\\*32");
}

TEST_F(KeySchedule, PairingKeysAreTheTwoHalvesOfOneOutput) {
    const Bytes transcript = pair_transcript(client_id, host_id, client_x, host_x, client_ed,
                                             host_ed, client_nonce, host_nonce);
    const Bytes okm = hkdf_sha256(as_bytes("123456"), shared, transcript, 64);
    const PairingKeys keys = derive_pairing_keys("123456", shared, transcript);
    EXPECT_EQ(to_bytes(keys.session_key), Bytes(okm.begin(), okm.begin() + 32));
    EXPECT_EQ(to_bytes(keys.confirm_key), Bytes(okm.begin() + 32, okm.end()));
    // A separate 32-byte derivation would only repeat the first half.
    EXPECT_NE(to_bytes(keys.confirm_key), hkdf_sha256(as_bytes("123456"), shared, transcript, 32));
}

TEST_F(KeySchedule, AuthSessionKeyIsSaltedWithBothNonces) {
    const Bytes transcript =
        auth_transcript(client_id, host_id, client_x, host_x, client_nonce, host_nonce);
    Bytes salt = to_bytes(client_nonce);
    append(salt, host_nonce);
    EXPECT_EQ(to_bytes(derive_auth_session_key(client_nonce, host_nonce, shared, transcript)),
              hkdf_sha256(salt, shared, transcript, 32));
}

TEST_F(KeySchedule, StoreKeyUsesEmptySaltAndItsLabel) {
    const Key32 seed = filled<32>(0x99);
    EXPECT_EQ(to_bytes(derive_store_key(seed)),
              hkdf_sha256({}, seed, as_bytes("RC_PAIRED_STORE_HMAC_V1"), 32));
}

TEST_F(KeySchedule, PairTranscriptLayout) {
    const Bytes t = pair_transcript(client_id, host_id, client_x, host_x, client_ed, host_ed,
                                    client_nonce, host_nonce);
    ASSERT_EQ(t.size(), 242u);
    Bytes expected;
    append(expected, std::string_view("RC_PAIR_V1"));
    append(expected, client_id);
    append(expected, host_id);
    for (const auto* key : {&client_x, &host_x, &client_ed, &host_ed}) append(expected, *key);
    append(expected, client_nonce);
    append(expected, host_nonce);
    EXPECT_EQ(t, expected);
}

TEST_F(KeySchedule, AuthTranscriptLayout) {
    const Bytes t = auth_transcript(client_id, host_id, client_x, host_x, client_nonce, host_nonce);
    ASSERT_EQ(t.size(), 178u);
    Bytes expected;
    append(expected, std::string_view("RC_AUTH_V1"));
    append(expected, client_id);
    append(expected, host_id);
    append(expected, client_x);
    append(expected, host_x);
    append(expected, client_nonce);
    append(expected, host_nonce);
    EXPECT_EQ(t, expected);
}

TEST(Nonce, LabelThenLittleEndianCounter) {
    const ByteArray<12> n = make_nonce("HTCP", 0x0102030405060708ULL);
    const ByteArray<12> expected = {'H', 'T', 'C', 'P', 8, 7, 6, 5, 4, 3, 2, 1};
    EXPECT_EQ(n, expected);
}

TEST(X25519, AllZeroPeerKeyGivesAllZeroSecret) {
    const X25519KeyPair own = x25519_keypair();
    EXPECT_TRUE(is_all_zero(x25519(own.secret, Key32{})));
    EXPECT_FALSE(is_all_zero(own.public_key));
}

TEST(Hex, EncodesLowercaseTwoDigitsPerByte) {
    const Bytes b = {0x00, 0x0f, 0xa5, 0xff};
    EXPECT_EQ(hex_encode(b), "000fa5ff");
    EXPECT_EQ(hex_encode({}), "");
}

struct HexCase {
    const char* text;
    std::size_t size;
    std::optional<Bytes> expected;
};

class HexDecode : public ::testing::TestWithParam<HexCase> {};

TEST_P(HexDecode, Decodes) {
    const HexCase& c = GetParam();
    EXPECT_EQ(hex_decode(c.text, c.size), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HexDecode,
    ::testing::Values(HexCase{"000fa5ff", 4, Bytes{0x00, 0x0f, 0xa5, 0xff}},
                      HexCase{"000FA5FF", 4, Bytes{0x00, 0x0f, 0xa5, 0xff}},
                      HexCase{"aBcD", 2, Bytes{0xab, 0xcd}}, HexCase{"", 0, Bytes{}},
                      HexCase{"abc", 2, std::nullopt},   // odd length
                      HexCase{"abc", 1, std::nullopt},   // odd length
                      HexCase{"abcd", 1, std::nullopt},  // too long
                      HexCase{"ab", 2, std::nullopt},    // too short
                      HexCase{"0g", 1, std::nullopt},    // not a hex digit
                      HexCase{"g0", 1, std::nullopt}, HexCase{" 0", 1, std::nullopt},
                      HexCase{"0x", 1, std::nullopt}, HexCase{"-1", 1, std::nullopt}));

TEST(Hex, DecodeArrayNeedsTheExactSize) {
    EXPECT_EQ(hex_decode_array<2>("0102"), (ByteArray<2>{1, 2}));
    EXPECT_FALSE(hex_decode_array<2>("010203").has_value());
}

struct CtCase {
    Bytes a;
    Bytes b;
    bool equal;
};

class CtEqual : public ::testing::TestWithParam<CtCase> {};

TEST_P(CtEqual, ComparesLengthAndEveryByte) {
    EXPECT_EQ(ct_equal(GetParam().a, GetParam().b), GetParam().equal);
    EXPECT_EQ(ct_equal(GetParam().b, GetParam().a), GetParam().equal);
}

INSTANTIATE_TEST_SUITE_P(Cases, CtEqual,
                         ::testing::Values(CtCase{{}, {}, true}, CtCase{{1, 2, 3}, {1, 2, 3}, true},
                                           CtCase{{1, 2, 3}, {1, 2}, false}, CtCase{{}, {0}, false},
                                           CtCase{{1, 2, 3}, {0, 2, 3}, false},
                                           CtCase{{1, 2, 3}, {1, 2, 4}, false}));

TEST(Fingerprint, FirstSixteenLowercaseHexOfSha256) {
    // SHA-256 of the RFC 8032 test 1 public key begins 21fe31dfa154a261.
    const auto pk =
        hex_decode_array<32>("d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a");
    ASSERT_TRUE(pk.has_value());
    EXPECT_EQ(fingerprint(*pk), "21fe31dfa154a261");
    EXPECT_EQ(fingerprint(*pk), hex_encode(sha256(*pk)).substr(0, 16));
}

TEST(Sha256, Fips180Abc) {
    EXPECT_EQ(hex_encode(sha256(as_bytes("abc"))),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

}  // namespace
}  // namespace hp::crypto
