// The host identity kept under real DPAPI protection.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "base/bytes.h"
#include "crypto/crypto.h"
#include "store/identity.h"
#include "platform/data_protection.h"
#include "platform/win32/win32_system.h"

namespace hp {
namespace {

namespace fs = std::filesystem;

Bytes read_all(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return Bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_all(const fs::path& file, ByteView data) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

std::string compact_identity_json(const std::string& host_id, const crypto::Key32& seed) {
    return R"({"hostId":")" + host_id + R"(","seedHex":")" + crypto::hex_encode(seed) + R"("})";
}

// A fresh data directory (not yet created) inside a private temporary folder.
class IdentityWithDpapi : public ::testing::Test {
protected:
    void SetUp() override {
        crypto::init();
        root_ = fs::temp_directory_path() / ("hp-identity-" + crypto::hex_encode(crypto::random_bytes(8)));
        dir_ = root_ / "Hearthpad" / "data";
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    fs::path file() const { return dir_ / "host_identity.bin"; }

    std::unique_ptr<platform::DataProtection> dpapi_ = platform::make_dpapi_protection();
    fs::path root_;
    fs::path dir_;
};

TEST_F(IdentityWithDpapi, NewIdentityIsSavedProtectedAndReloadsUnchanged) {
    auto created = store::load_or_create_identity(dir_, *dpapi_);
    ASSERT_TRUE(created) << created.error().text;

    const std::string& id = created->hostId;
    ASSERT_EQ(id.size(), 36u);
    EXPECT_EQ(id[14], '4');
    EXPECT_NE(std::string("89ab").find(id[19]), std::string::npos) << id;
    EXPECT_EQ(created->publicKey, crypto::ed25519_public_key(created->seed));

    // The file is exactly the DPAPI blob of the compact JSON.
    const Bytes blob = read_all(file());
    auto plain = dpapi_->unprotect(blob);
    ASSERT_TRUE(plain) << plain.error().text;
    EXPECT_EQ(to_string(*plain), compact_identity_json(id, created->seed));
    EXPECT_FALSE(fs::exists(dir_ / "host_identity.tmp"));

    auto reloaded = store::load_or_create_identity(dir_, *dpapi_);
    ASSERT_TRUE(reloaded) << reloaded.error().text;
    EXPECT_EQ(reloaded->hostId, id);
    EXPECT_EQ(reloaded->seed, created->seed);
    EXPECT_EQ(reloaded->publicKey, created->publicKey);
    EXPECT_EQ(read_all(file()), blob);
}

TEST_F(IdentityWithDpapi, LoadsAFileProtectedElsewhereBySameUser) {
    crypto::Key32 seed{};
    for (std::size_t i = 0; i < seed.size(); ++i) seed[i] = static_cast<std::uint8_t>(i);
    const std::string id = "0f8c2a5e-3b1d-4c6e-9a7f-2d4b6c8e0a1f";
    auto blob = dpapi_->protect(as_bytes(compact_identity_json(id, seed)));
    ASSERT_TRUE(blob) << blob.error().text;
    fs::create_directories(dir_);
    write_all(file(), *blob);

    auto loaded = store::load_or_create_identity(dir_, *dpapi_);
    ASSERT_TRUE(loaded) << loaded.error().text;
    EXPECT_EQ(loaded->hostId, id);
    EXPECT_EQ(loaded->seed, seed);
    EXPECT_EQ(read_all(file()), *blob);
}

TEST_F(IdentityWithDpapi, UnusableFileIsSilentlyReplacedByANewIdentity) {
    crypto::Key32 old_seed{};
    old_seed.fill(0x42);
    const std::string old_id = "11111111-2222-4333-8444-555555555555";
    auto valid = dpapi_->protect(as_bytes(compact_identity_json(old_id, old_seed)));
    ASSERT_TRUE(valid) << valid.error().text;
    // Another user's or machine's blob does not decrypt here; a blob whose
    // ciphertext was changed fails the same check.
    Bytes foreign = *valid;
    foreign[foreign.size() - 8] ^= 0x01;
    auto short_seed = dpapi_->protect(as_bytes(
        R"({"hostId":")" + old_id + R"(","seedHex":")" + std::string(62, 'a') + R"("})"));
    ASSERT_TRUE(short_seed) << short_seed.error().text;
    auto not_json = dpapi_->protect(as_bytes("host identity"));
    ASSERT_TRUE(not_json) << not_json.error().text;

    const struct {
        const char* label;
        Bytes content;
    } cases[] = {
        {"undecryptable_blob", Bytes(180, 0x5A)},
        {"blob_that_fails_its_check", foreign},
        {"empty_file", {}},
        {"seed_of_62_digits", *short_seed},
        {"protected_text_not_json", *not_json},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        fs::create_directories(dir_);
        write_all(file(), c.content);

        auto fresh = store::load_or_create_identity(dir_, *dpapi_);
        ASSERT_TRUE(fresh) << fresh.error().text;
        EXPECT_NE(fresh->hostId, old_id);
        EXPECT_NE(fresh->seed, old_seed);

        auto plain = dpapi_->unprotect(read_all(file()));
        ASSERT_TRUE(plain) << plain.error().text;
        EXPECT_EQ(to_string(*plain), compact_identity_json(fresh->hostId, fresh->seed));

        auto again = store::load_or_create_identity(dir_, *dpapi_);
        ASSERT_TRUE(again) << again.error().text;
        EXPECT_EQ(again->hostId, fresh->hostId);
        EXPECT_EQ(again->publicKey, fresh->publicKey);
    }
}

}  // namespace
}  // namespace hp
