// The Linux per-user protection: a key file in an owner-only folder and an
// authenticated encryption of the identity JSON.
#include "platform/posix/posix_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "crypto/crypto.h"
#include "store/identity.h"
#include "scratch.h"

namespace hp {
namespace {


class PosixProtection : public ::testing::Test {
protected:
    static void SetUpTestSuite() { crypto::init(); }

    // Protection as the user whose key folder is `name` would have it.
    std::unique_ptr<platform::DataProtection> as_user(const std::string& name) {
        return platform::make_posix_data_protection(scratch.path() / name / "keys");
    }
    static mode_t mode_of(const std::filesystem::path& p) {
        struct stat st {};
        EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
        return st.st_mode & 0777;
    }

    test::ScratchDir scratch;
    const Bytes plain = {'{', '"', 'a', '"', ':', '1', '}'};
};

TEST_F(PosixProtection, RoundTripWithOwnerOnlyKey) {
    auto protection = as_user("alice");
    auto blob = protection->protect(plain);
    ASSERT_TRUE(blob.has_value()) << blob.error().text;
    EXPECT_EQ(std::search(blob->begin(), blob->end(), plain.begin(), plain.end()), blob->end())
        << "the plain bytes must not appear in the blob";

    auto again = as_user("alice")->unprotect(*blob);
    ASSERT_TRUE(again.has_value()) << again.error().text;
    EXPECT_EQ(*again, plain);

    EXPECT_EQ(mode_of(scratch.path() / "alice" / "keys"), 0700u);
    EXPECT_EQ(mode_of(scratch.path() / "alice" / "keys" / "protection.key"), 0600u);
    EXPECT_EQ(std::filesystem::file_size(scratch.path() / "alice" / "keys" / "protection.key"),
              32u);
}

TEST_F(PosixProtection, BlobsFromAnotherUserOrDamagedBlobsFail) {
    auto alice = as_user("alice");
    auto bob = as_user("bob");
    const Bytes blob = *alice->protect(plain);
    ASSERT_TRUE(bob->protect(plain).has_value());  // bob has a key of his own

    EXPECT_FALSE(bob->unprotect(blob).has_value());
    for (std::size_t i = 0; i < blob.size(); i += 7) {
        Bytes damaged = blob;
        damaged[i] ^= 0x20;
        EXPECT_FALSE(alice->unprotect(damaged).has_value()) << "byte " << i;
    }
    EXPECT_FALSE(alice->unprotect(ByteView(blob).first(blob.size() - 1)).has_value());
    EXPECT_FALSE(alice->unprotect({}).has_value());
}

TEST_F(PosixProtection, UnprotectWithoutAKeyFails) {
    auto alice = as_user("alice");
    const Bytes blob = *alice->protect(plain);
    auto carol = as_user("carol");
    EXPECT_FALSE(carol->unprotect(blob).has_value());
    EXPECT_FALSE(std::filesystem::exists(scratch.path() / "carol")) << "unprotect creates no key";
}

TEST_F(PosixProtection, KeyReadableByOthersIsRefused) {
    auto alice = as_user("alice");
    const Bytes blob = *alice->protect(plain);
    const auto key = scratch.path() / "alice" / "keys" / "protection.key";
    std::filesystem::permissions(key, std::filesystem::perms::group_read,
                                 std::filesystem::perm_options::add);
    const auto refused = alice->unprotect(blob);
    ASSERT_FALSE(refused.has_value());
    EXPECT_NE(refused.error().text.find("protection.key"), std::string::npos);
    EXPECT_FALSE(alice->protect(plain).has_value());
}

TEST_F(PosixProtection, IdentityRoundTripAndAnotherUsersFile) {
    const auto data = scratch.path() / "data";
    auto alice = as_user("alice");
    const auto created = store::load_or_create_identity(data, *alice);
    ASSERT_TRUE(created.has_value()) << created.error().text;
    const std::string on_disk = test::read_file(data / "host_identity.bin");
    EXPECT_EQ(on_disk.find(crypto::hex_encode(created->seed)), std::string::npos);
    EXPECT_EQ(on_disk.find(created->hostId), std::string::npos);

    const auto reloaded = store::load_or_create_identity(data, *as_user("alice"));
    ASSERT_TRUE(reloaded.has_value()) << reloaded.error().text;
    EXPECT_EQ(reloaded->hostId, created->hostId);
    EXPECT_EQ(reloaded->publicKey, created->publicKey);

    // Another user cannot decrypt the file and silently gets an identity of their own.
    const auto bobs = store::load_or_create_identity(data, *as_user("bob"));
    ASSERT_TRUE(bobs.has_value()) << bobs.error().text;
    EXPECT_NE(bobs->hostId, created->hostId);
    EXPECT_NE(bobs->publicKey, created->publicKey);
}

}  // namespace
}  // namespace hp
