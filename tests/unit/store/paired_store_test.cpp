#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "crypto/crypto.h"
#include "store/paired_store.h"

namespace fs = std::filesystem;
using hp::store::PairedClientRecord;
using hp::store::PairedDeviceStore;

namespace {

std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const fs::path& p, const std::string& text) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << text;
}

PairedClientRecord record(const std::string& id, const std::string& name) {
    PairedClientRecord r;
    r.clientId = id;
    r.deviceName = name;
    r.deviceModel = "Pixel 8";
    r.ed25519PublicKeyHex = std::string(64, 'a');
    r.pairedAtUnix = 1700000000;
    r.lastSeenUnix = 1700000100;
    r.lastRemoteIp = "192.168.1.20";
    return r;
}

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("hp-store-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        key_.fill(7);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path file() const { return dir_ / "paired_devices.json"; }
    fs::path rejected() const { return dir_ / "paired_devices.json.rejected"; }

    PairedDeviceStore saved_with(std::vector<PairedClientRecord> records) {
        PairedDeviceStore s(file(), key_);
        for (auto& r : records) s.upsert(std::move(r));
        EXPECT_TRUE(s.save());
        return s;
    }

    fs::path dir_;
    hp::crypto::Key32 key_{};
};

TEST_F(StoreTest, MissingFileGivesEmptyStoreAndMovesNothing) {
    auto s = PairedDeviceStore::load(file(), key_);
    EXPECT_TRUE(s.records().empty());
    EXPECT_FALSE(fs::exists(rejected()));
}

TEST_F(StoreTest, EmptyStoreIsWrittenWithTagOverBrackets) {
    saved_with({});
    const auto expected_tag =
        hp::crypto::hex_encode(hp::crypto::hmac_sha256(key_, hp::as_bytes("[]")));
    EXPECT_EQ(read_file(file()),
              "{\n  \"version\": 1,\n  \"clients\": [],\n  \"hmacHex\": \"" + expected_tag + "\"\n}");
    EXPECT_FALSE(fs::exists(dir_ / "paired_devices.tmp"));
}

TEST_F(StoreTest, FileLayoutIsIndentedAndRoundTrips) {
    auto s = saved_with({record("c1", "Phone \"A\""), record("c2", "Büro\ttab")});
    const std::string text = read_file(file());
    const std::string expected =
        "{\n"
        "  \"version\": 1,\n"
        "  \"clients\": [\n"
        "    {\n"
        "      \"clientId\": \"c1\",\n"
        "      \"deviceName\": \"Phone \\\"A\\\"\",\n"
        "      \"deviceModel\": \"Pixel 8\",\n"
        "      \"ed25519PublicKeyHex\": \"" + std::string(64, 'a') + "\",\n"
        "      \"pairedAtUnix\": 1700000000,\n"
        "      \"lastSeenUnix\": 1700000100,\n"
        "      \"lastRemoteIp\": \"192.168.1.20\"\n"
        "    },\n"
        "    {\n"
        "      \"clientId\": \"c2\",\n"
        "      \"deviceName\": \"Büro\\ttab\",\n"
        "      \"deviceModel\": \"Pixel 8\",\n"
        "      \"ed25519PublicKeyHex\": \"" + std::string(64, 'a') + "\",\n"
        "      \"pairedAtUnix\": 1700000000,\n"
        "      \"lastSeenUnix\": 1700000100,\n"
        "      \"lastRemoteIp\": \"192.168.1.20\"\n"
        "    }\n"
        "  ],\n"
        "  \"hmacHex\": \"" + s.tag() + "\"\n"
        "}";
    EXPECT_EQ(text, expected);
    EXPECT_EQ(PairedDeviceStore::load(file(), key_).records(), s.records());
}

TEST_F(StoreTest, TagTextIsCompactWithEveryMember) {
    EXPECT_EQ(PairedDeviceStore::tagged_text({record("c1", "A")}),
              "[{\"clientId\":\"c1\",\"deviceName\":\"A\",\"deviceModel\":\"Pixel 8\","
              "\"ed25519PublicKeyHex\":\"" + std::string(64, 'a') +
                  "\",\"pairedAtUnix\":1700000000,\"lastSeenUnix\":1700000100,"
                  "\"lastRemoteIp\":\"192.168.1.20\"}]");
}

TEST_F(StoreTest, ReorderedAndReindentedMembersStillLoad) {
    auto s = saved_with({record("c1", "A")});
    auto j = nlohmann::json::parse(read_file(file()));
    // Rebuild the record with members in reverse order and a different layout.
    nlohmann::ordered_json rec;
    const auto& orig = j["clients"][0];
    for (const char* name : {"lastRemoteIp", "lastSeenUnix", "pairedAtUnix", "ed25519PublicKeyHex",
                             "deviceModel", "deviceName", "clientId"})
        rec[name] = orig[name];
    nlohmann::ordered_json file_json;
    file_json["hmacHex"] = j["hmacHex"];
    file_json["clients"] = nlohmann::ordered_json::array({rec});
    file_json["version"] = 1;
    write_file(file(), file_json.dump(7));
    EXPECT_EQ(PairedDeviceStore::load(file(), key_).records(), s.records());
}

TEST_F(StoreTest, AnyChangedValueIsRejectedAndMovedAside) {
    const std::vector<std::pair<std::string, std::string>> edits = {
        {"192.168.1.20", "192.168.1.21"}, {"\"c1\"", "\"c9\""}, {"1700000100", "1700000101"},
        {"Pixel 8", "Pixel 9"}};
    for (const auto& [from, to] : edits) {
        saved_with({record("c1", "A")});
        std::string text = read_file(file());
        text.replace(text.find(from), from.size(), to);
        write_file(file(), text);
        auto s = PairedDeviceStore::load(file(), key_);
        EXPECT_TRUE(s.records().empty()) << from;
        EXPECT_TRUE(fs::exists(rejected())) << from;
        EXPECT_FALSE(fs::exists(file())) << from;
        EXPECT_EQ(read_file(rejected()), text);
    }
}

TEST_F(StoreTest, UnparsableOrWrongKeyOrUppercaseTagIsRejected) {
    auto s = saved_with({record("c1", "A")});
    const std::string good = read_file(file());
    std::string upper = good;
    const std::string tag = s.tag();
    std::string tag_upper = tag;
    for (auto& c : tag_upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    upper.replace(upper.find(tag), tag.size(), tag_upper);
    hp::crypto::Key32 other{};
    other.fill(8);
    struct Case {
        std::string content;
        hp::crypto::Key32 key;
    };
    // Valid content followed by a zero byte and anything at all is not a
    // store file either.
    const std::string nul_tail = good + std::string(1, '\0') + "garbage";
    for (const Case& c : {Case{"{not json", key_}, Case{good + "x", key_}, Case{upper, key_},
                          Case{good, other}, Case{"{\"version\":1,\"clients\":[]}", key_},
                          Case{nul_tail, key_}}) {
        write_file(file(), c.content);
        EXPECT_TRUE(PairedDeviceStore::load(file(), c.key).records().empty());
        EXPECT_TRUE(fs::exists(rejected()));
        fs::remove(rejected());
    }
}

TEST_F(StoreTest, MissingOptionalMembersLoadWhenTagUsedDefaults) {
    PairedClientRecord r;
    r.clientId = "c1";
    r.deviceName = "A";
    r.ed25519PublicKeyHex = std::string(64, 'b');
    const std::string tag = hp::crypto::hex_encode(
        hp::crypto::hmac_sha256(key_, hp::as_bytes(PairedDeviceStore::tagged_text({r}))));
    write_file(file(), "{\"version\":1,\"clients\":[{\"clientId\":\"c1\",\"deviceName\":\"A\","
                       "\"ed25519PublicKeyHex\":\"" + std::string(64, 'b') + "\"}],\"hmacHex\":\"" +
                           tag + "\"}");
    auto s = PairedDeviceStore::load(file(), key_);
    ASSERT_EQ(s.records().size(), 1u);
    EXPECT_EQ(s.records()[0], r);
}

TEST_F(StoreTest, UpsertReplacesInPlaceTouchAndRemove) {
    PairedDeviceStore s(file(), key_);
    s.upsert(record("c1", "A"));
    s.upsert(record("c2", "B"));
    auto again = record("c1", "A2");
    again.ed25519PublicKeyHex = std::string(64, 'c');
    s.upsert(again);
    ASSERT_EQ(s.records().size(), 2u);
    EXPECT_EQ(s.records()[0].deviceName, "A2");
    EXPECT_EQ(s.records()[1].clientId, "c2");

    EXPECT_TRUE(s.touch("c2", 42, "10.0.0.9"));
    EXPECT_EQ(s.find("c2")->lastSeenUnix, 42u);
    EXPECT_EQ(s.find("c2")->lastRemoteIp, "10.0.0.9");
    EXPECT_FALSE(s.touch("nope", 1, "x"));

    EXPECT_EQ(s.remove("nope"), 0u);
    EXPECT_EQ(s.remove("c1"), 1u);
    ASSERT_EQ(s.records().size(), 1u);
    EXPECT_EQ(s.records()[0].clientId, "c2");
}

TEST_F(StoreTest, SaveFailsWhenDirectoryCannotBeCreated) {
    write_file(dir_ / "blocker", "x");
    PairedDeviceStore s(dir_ / "blocker" / "sub" / "paired_devices.json", key_);
    EXPECT_FALSE(s.save());
}

}  // namespace
