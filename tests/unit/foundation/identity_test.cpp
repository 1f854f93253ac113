// Loading, creating and replacing the host identity file.
#include "store/identity.h"

#include <gtest/gtest.h>

#include <regex>

#include "platform/fake/fake_system.h"
#include "scratch.h"

namespace hp::store {
namespace {

// Transparent stand-in for the per-user protection: "FAKE" then the plain
// bytes. Anything else does not unprotect.
class FakeProtection : public platform::DataProtection {
public:
    Result<Bytes> protect(ByteView plain) override {
        if (protect_error) return fail(*protect_error);
        Bytes blob = {'F', 'A', 'K', 'E'};
        append(blob, plain);
        return blob;
    }
    Result<Bytes> unprotect(ByteView blob) override {
        if (blob.size() < 4 || to_string(blob.first(4)) != "FAKE") return fail("not protected");
        return Bytes(blob.begin() + 4, blob.end());
    }
    std::optional<std::string> protect_error;
};

constexpr const char* kHostId = "0f8fad5b-d9cb-469f-a165-70867728950e";
constexpr const char* kSeedHex = "9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60";

class Identity : public ::testing::Test {
protected:
    static void SetUpTestSuite() { crypto::init(); }
    std::filesystem::path dir() const { return scratch.path() / "data"; }
    std::filesystem::path file() const { return dir() / "host_identity.bin"; }

    // Stores `json` as the decrypted content of the identity file.
    void store_plain(std::string_view json) {
        std::filesystem::create_directories(dir());
        test::write_file(file(), *protection.protect(as_bytes(json)));
    }
    std::string stored_plain() {
        const std::string blob = test::read_file(file());
        auto plain = protection.unprotect(as_bytes(blob));
        return plain ? to_string(*plain) : std::string("<not protected>");
    }
    HostIdentity load() {
        auto identity = load_or_create_identity(dir(), protection);
        EXPECT_TRUE(identity.has_value()) << identity.error().text;
        return identity ? *identity : HostIdentity{};
    }

    test::ScratchDir scratch;
    FakeProtection protection;
};

TEST_F(Identity, CreatesCompactFileInMissingDirectory) {
    const HostIdentity created = load();
    EXPECT_EQ(stored_plain(), std::string("{\"hostId\":\"") + created.hostId + "\",\"seedHex\":\"" +
                                  crypto::hex_encode(created.seed) + "\"}");
    EXPECT_EQ(created.publicKey, crypto::ed25519_public_key(created.seed));
    EXPECT_FALSE(crypto::is_all_zero(created.seed));
    EXPECT_FALSE(std::filesystem::exists(dir() / "host_identity.tmp"));
}

TEST_F(Identity, ValidFileReloadsUnchanged) {
    const HostIdentity first = load();
    const HostIdentity second = load();
    EXPECT_EQ(second.hostId, first.hostId);
    EXPECT_EQ(second.seed, first.seed);
    EXPECT_EQ(second.publicKey, first.publicKey);
}

struct Accepted {
    const char* name;
    std::string json;
};

class IdentityAccepts : public Identity, public ::testing::WithParamInterface<Accepted> {};

TEST_P(IdentityAccepts, LoadsAsWritten) {
    store_plain(GetParam().json);
    const std::string before = test::read_file(file());
    const HostIdentity identity = load();
    EXPECT_EQ(identity.hostId, kHostId);
    EXPECT_EQ(crypto::hex_encode(identity.seed), kSeedHex);
    // RFC 8032 test 1 public key for this seed.
    EXPECT_EQ(crypto::hex_encode(identity.publicKey),
              "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a");
    EXPECT_EQ(test::read_file(file()), before) << "a readable file is never rewritten";
}

const std::string kId = std::string("\"") + kHostId + "\"";
const std::string kSeed = std::string("\"") + kSeedHex + "\"";
std::string upper(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Forms, IdentityAccepts,
    ::testing::Values(
        Accepted{"Compact", "{\"hostId\":" + kId + ",\"seedHex\":" + kSeed + "}"},
        Accepted{"MembersReversed", "{\"seedHex\":" + kSeed + ",\"hostId\":" + kId + "}"},
        Accepted{"Whitespace",
                 " \n\t{ \"hostId\" : " + kId + " ,\r\n \"seedHex\": " + kSeed + " } \n "},
        Accepted{"ArrayForm", "[" + kId + "," + kSeed + "]"},
        Accepted{"UnknownMembersIgnored", "{\"v\":1,\"hostId\":" + kId +
                                              ",\"x\":{\"hostId\":1,\"y\":[null,true]},"
                                              "\"seedHex\":" +
                                              kSeed + ",\"z\":\"w\"}"},
        Accepted{"UpperCaseHex", "{\"hostId\":" + kId + ",\"seedHex\":" + upper(kSeed) + "}"}),
    [](const auto& info) { return std::string(info.param.name); });

struct Rejected {
    const char* name;
    std::string json;
};

class IdentityReplaces : public Identity, public ::testing::WithParamInterface<Rejected> {};

TEST_P(IdentityReplaces, DamagedContentGivesANewIdentity) {
    store_plain(GetParam().json);
    const HostIdentity identity = load();
    EXPECT_NE(identity.hostId, kHostId);
    EXPECT_NE(crypto::hex_encode(identity.seed), kSeedHex);
    // The replacement is what the file now holds.
    EXPECT_EQ(stored_plain(), std::string("{\"hostId\":\"") + identity.hostId +
                                  "\",\"seedHex\":\"" + crypto::hex_encode(identity.seed) + "\"}");
}

INSTANTIATE_TEST_SUITE_P(
    Damage, IdentityReplaces,
    ::testing::Values(
        Rejected{"Empty", ""},
        Rejected{"SeedHex62Digits", "{\"hostId\":" + kId + ",\"seedHex\":\"" +
                                        std::string(kSeedHex).substr(0, 62) + "\"}"},
        Rejected{"SeedHex66Digits", "{\"hostId\":" + kId + ",\"seedHex\":\"" + kSeedHex + "00\"}"},
        Rejected{"SeedHexNotHex",
                 "{\"hostId\":" + kId + ",\"seedHex\":\"" + std::string(64, 'g') + "\"}"},
        Rejected{"SeedHexNotAString", "{\"hostId\":" + kId + ",\"seedHex\":12}"},
        Rejected{"HostIdNull", "{\"hostId\":null,\"seedHex\":" + kSeed + "}"},
        Rejected{"HostIdObject", "{\"hostId\":{},\"seedHex\":" + kSeed + "}"},
        Rejected{"MissingHostId", "{\"seedHex\":" + kSeed + "}"},
        Rejected{"MissingSeedHex", "{\"hostId\":" + kId + "}"},
        Rejected{"DuplicateHostId",
                 "{\"hostId\":" + kId + ",\"seedHex\":" + kSeed + ",\"hostId\":" + kId + "}"},
        Rejected{"DuplicateSeedHex",
                 "{\"hostId\":" + kId + ",\"seedHex\":" + kSeed + ",\"seedHex\":" + kSeed + "}"},
        Rejected{"DuplicateUnknown",
                 "{\"a\":1,\"hostId\":" + kId + ",\"seedHex\":" + kSeed + ",\"a\":2}"},
        Rejected{"TrailingText", "{\"hostId\":" + kId + ",\"seedHex\":" + kSeed + "}x"},
        Rejected{"TwoValues", "{\"hostId\":" + kId + ",\"seedHex\":" + kSeed + "} {}"},
        Rejected{"TrailingComma", "{\"hostId\":" + kId + ",\"seedHex\":" + kSeed + ",}"},
        Rejected{"Comment", "{\"hostId\":" + kId + ",\"seedHex\":" + kSeed + "/* c */}"},
        Rejected{"ArrayTooShort", "[" + kId + "]"},
        Rejected{"ArrayTooLong", "[" + kId + "," + kSeed + ",\"x\"]"},
        Rejected{"ArrayWrongType", "[" + kId + ",[" + kSeed + "]]"},
        Rejected{"TopLevelString", kSeed},
        Rejected{"Truncated", "{\"hostId\":" + kId + ",\"seedHex\":" + kSeed},
        Rejected{"Garbage", "\x01\x02\xff\xfe garbage"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Identity, UnreadableFilesGiveANewIdentity) {
    std::filesystem::create_directories(dir());
    for (const std::string& raw :
         {std::string(), std::string("not a protected blob"), std::string("FAK")}) {
        SCOPED_TRACE(raw);
        test::write_file(file(), raw);
        const HostIdentity identity = load();
        EXPECT_EQ(stored_plain().substr(0, 11), "{\"hostId\":\"");
        EXPECT_EQ(load().hostId, identity.hostId);
    }
}

TEST_F(Identity, ProtectionFailureIsAnError) {
    protection.protect_error = "The data-protection service refused";
    const auto identity = load_or_create_identity(dir(), protection);
    ASSERT_FALSE(identity.has_value());
    EXPECT_EQ(identity.error().text, "The data-protection service refused");
    EXPECT_FALSE(std::filesystem::exists(file()));
    EXPECT_FALSE(std::filesystem::exists(dir() / "host_identity.tmp"));
}

TEST_F(Identity, UncreatableDataDirectoryIsAnError) {
    test::write_file(scratch.path() / "plain-file", "x");
    const auto identity =
        load_or_create_identity(scratch.path() / "plain-file" / "data", protection);
    ASSERT_FALSE(identity.has_value());
    EXPECT_NE(identity.error().text.find("plain-file"), std::string::npos) << identity.error().text;
}

TEST_F(Identity, FailedReplacementIsAnErrorAndLeavesNoTemporaryFile) {
    // A non-empty folder where the file belongs cannot be read nor replaced.
    std::filesystem::create_directories(file() / "occupied");
    const auto identity = load_or_create_identity(dir(), protection);
    ASSERT_FALSE(identity.has_value());
    EXPECT_FALSE(std::filesystem::exists(dir() / "host_identity.tmp"));
}

TEST(HostId, AlwaysVersion4AndRfcVariant) {
    crypto::init();
    const std::regex uuid_v4("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
    std::string previous;
    for (int i = 0; i < 2000; ++i) {
        const std::string id = new_host_id();
        ASSERT_TRUE(std::regex_match(id, uuid_v4)) << id;
        ASSERT_NE(id, previous);
        previous = id;
    }
}

struct HostNameCase {
    std::optional<std::string> computername;
    std::optional<std::string> hostname;
    std::optional<std::string> machine;
    std::string expected;
};

class HostName : public ::testing::TestWithParam<HostNameCase> {};

TEST_P(HostName, ComesFromTheEnvironmentThenTheMachine) {
    fake::FakeSystem system;
    system.set_env("COMPUTERNAME", GetParam().computername);
    system.set_env("HOSTNAME", GetParam().hostname);
    system.set_machine_name(GetParam().machine);
    EXPECT_EQ(host_name(system), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, HostName,
    ::testing::Values(HostNameCase{"DESKTOP-1", "box", "linuxbox", "DESKTOP-1"},
                      HostNameCase{std::nullopt, "box", "linuxbox", "box"},
                      HostNameCase{std::nullopt, std::nullopt, "linuxbox", "linuxbox"},
                      HostNameCase{std::nullopt, std::nullopt, std::nullopt, "Windows PC"}));

}  // namespace
}  // namespace hp::store
