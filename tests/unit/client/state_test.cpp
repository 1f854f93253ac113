// The client's own files, and what it reads from avahi-browse.
#include "client/state.h"

#include <gtest/gtest.h>

#include <fstream>

#include "client/os.h"

namespace hp::client {
namespace {

namespace fs = std::filesystem;

class ClientFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("hp-client-state-" + crypto::hex_encode(crypto::random_bytes(4)));
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

TEST_F(ClientFiles, KeepIdentityAndPinnedHost) {
    ClientState state(dir_ / "nested");
    ASSERT_TRUE(state.load_identity());
    EXPECT_FALSE(*state.load_identity()) << "nothing before the first pairing";
    ASSERT_TRUE(state.load_host());
    EXPECT_FALSE(*state.load_host());

    const Identity id = Identity::generate("Anna's phone", "Model T");
    ASSERT_TRUE(state.save_identity(id));
    PinnedHost host;
    host.hostId = "7d0c3f4e-6a1b-4c2d-9e8f-0a1b2c3d4e5f";
    host.hostName = "Büro PC";
    host.publicKey.fill(7);
    host.endpoint = "[fd00::20]:49183";
    host.udpPort = 49183;
    host.pairedAtUnix = 1700000000;
    ASSERT_TRUE(state.save_host(host));

    const auto id2 = state.load_identity();
    ASSERT_TRUE(id2 && *id2);
    EXPECT_EQ((*id2)->clientId, id.clientId);
    EXPECT_EQ((*id2)->deviceName, "Anna's phone");
    EXPECT_EQ((*id2)->seed, id.seed);
    const auto host2 = state.load_host();
    ASSERT_TRUE(host2 && *host2);
    EXPECT_EQ((*host2)->hostName, "Büro PC");
    EXPECT_EQ((*host2)->publicKey, host.publicKey);
    EXPECT_EQ((*host2)->endpoint, host.endpoint);
    EXPECT_EQ((*host2)->udpPort, 49183);
    EXPECT_EQ((*host2)->fingerprint(), crypto::fingerprint(host.publicKey));
    EXPECT_FALSE(fs::exists(dir_ / "nested" / "host.tmp"));
}

TEST_F(ClientFiles, ADamagedFileIsAnErrorNotANewIdentity) {
    fs::create_directories(dir_);
    std::ofstream(dir_ / "identity.json") << R"({"clientId":"x","ed25519SeedHex":"abc"})";
    std::ofstream(dir_ / "host.json") << "not json";
    ClientState state(dir_);
    auto id = state.load_identity();
    ASSERT_FALSE(id);
    EXPECT_NE(id.error().text.find("ed25519SeedHex"), std::string::npos);
    EXPECT_FALSE(state.load_host());
}

TEST(ClientMdns, ReadsResolvedServicesFromAvahiBrowse) {
    const std::string output =
        "+;eth0;IPv4;B\\195\\188ro\\032PC;_hearthpad._tcp;local\n"
        "=;eth0;IPv4;B\\195\\188ro\\032PC;_hearthpad._tcp;local;B-ro-PC.local;192.168.1.20;49182;"
        "\"ts=100.101.102.103:49182\" \"fp=a18112b0b7b4225f\" \"os=windows\" \"name=Büro PC\" "
        "\"id=7d0c3f4e-6a1b-4c2d-9e8f-0a1b2c3d4e5f\" \"v=1\"\n"
        "=;wlan0;IPv4;B\\195\\188ro\\032PC;_hearthpad._tcp;local;B-ro-PC.local;192.168.1.20;49182;"
        "\"ts=100.101.102.103:49182\" \"fp=a18112b0b7b4225f\" \"os=windows\" \"name=Büro PC\" "
        "\"id=7d0c3f4e-6a1b-4c2d-9e8f-0a1b2c3d4e5f\" \"v=1\"\n"
        "=;eth0;IPv6;Other;_hearthpad._tcp;local;Other.local;fd00::5;49183;\"v=1\"\n"
        "=;eth0;IPv4;Broken;_hearthpad._tcp;local;x.local;10.0.0.1;notaport;\n";
    const auto found = parse_avahi_browse(output);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].instance, "Büro PC");
    EXPECT_EQ(found[0].address, "192.168.1.20");
    EXPECT_EQ(found[0].port, 49182);
    EXPECT_EQ(found[0].txt.at("fp"), "a18112b0b7b4225f");
    EXPECT_EQ(found[0].txt.at("ts"), "100.101.102.103:49182");
    EXPECT_EQ(found[1].address, "fd00::5");
}

}  // namespace
}  // namespace hp::client
