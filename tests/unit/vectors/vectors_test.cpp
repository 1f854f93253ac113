// The published test vectors in docs/vectors are what the host computes, and
// an independent client reaches the same values from the fixed inputs alone.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "crypto/crypto.h"
#include "support/test_client.h"
#include "vector_generator.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const fs::path kDir = HP_VECTORS_DIR;

std::string read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The generated files; written into docs/vectors when
// HEARTHPAD_WRITE_VECTORS=1 is set.
const std::map<std::string, std::string>& generated() {
    static const auto files = [] {
        auto all = hp::vectors::generate_all();
        if (!all) {
            ADD_FAILURE() << "the vectors cannot be generated: " << all.error().text;
            return std::map<std::string, std::string>{};
        }
        if (const char* w = std::getenv("HEARTHPAD_WRITE_VECTORS"); w && std::string(w) == "1") {
            fs::create_directories(kDir);
            for (const auto& [name, text] : *all) std::ofstream(kDir / name, std::ios::binary) << text;
        }
        return *all;
    }();
    return files;
}

json published(const std::string& name) { return json::parse(read(kDir / name)); }

hp::Bytes bytes(const json& hexText) { return *hp::crypto::hex_decode(hexText.get<std::string>(), hexText.get<std::string>().size() / 2); }

template <std::size_t N>
hp::ByteArray<N> array(const json& hexText) {
    return *hp::crypto::hex_decode_array<N>(hexText.get<std::string>());
}

TEST(PublishedVectors, AreWhatTheHostComputes) {
    const auto& files = generated();
    ASSERT_EQ(files.size(), 4u);
    for (const auto& [name, text] : files) {
        EXPECT_EQ(read(kDir / name), text)
            << "docs/vectors/" << name << " differs from what the host computes now. If the protocol change is "
            << "intended, regenerate the vectors and review the diff:\n"
            << "  HEARTHPAD_WRITE_VECTORS=1 build/native/test_vectors --gtest_filter=PublishedVectors.*\n"
            << "then update docs/PROTOCOL.md where it describes the changed values.";
    }
}

// The test client shares no code with the host or the reference client: it
// reaches the same proofs and keys from the inputs in the files.
TEST(PublishedVectors, AnIndependentClientAgrees) {
    generated();
    const json pairing = published("pairing.json");
    const json& in = pairing["inputs"];
    hp::test::ClientIdentity id;
    id.clientId = in["client"]["clientId"];
    id.deviceName = in["client"]["deviceName"];
    id.deviceModel = in["client"]["deviceModel"];
    id.ed25519Seed = array<32>(in["client"]["ed25519SeedHex"]);
    EXPECT_EQ(hp::crypto::hex_encode(id.ed25519_public()), in["client"]["ed25519PublicHex"]);

    const auto eph = hp::test::ClientEphemeral::from(array<32>(in["clientEphemeral"]["x25519SecretHex"]),
                                                     array<16>(in["clientEphemeral"]["nonceHex"]));
    EXPECT_EQ(hp::crypto::hex_encode(eph.x25519Public), in["clientEphemeral"]["x25519PublicHex"]);
    hp::test::PairingClient client(id, eph);
    const std::string challenge = pairing["frames"][1]["body"];
    auto confirm = client.confirm_body(hp::as_bytes(challenge), in["pairingCode"].get<std::string>());
    ASSERT_TRUE(confirm) << confirm.error().text;
    EXPECT_EQ(json::parse(*confirm), json::parse(pairing["frames"][2]["body"].get<std::string>()));
    EXPECT_EQ(hp::crypto::hex_encode(client.transcript()), pairing["derivation"]["transcriptHex"]);
    EXPECT_EQ(hp::crypto::hex_encode(client.session_key()), pairing["derivation"]["sessionKeyHex"]);
    EXPECT_TRUE(client.verify_accepted(hp::as_bytes(pairing["frames"][3]["body"].get<std::string>())));

    // The first secure frames open with the session key.
    hp::test::ClientChannel channel{client.session_key()};
    const json& fromHost = pairing["firstSecureFrames"][1];
    const auto wire = bytes(fromHost["wireHex"]);
    auto opened = channel.open(wire[4], hp::ByteView(wire).subspan(5));
    ASSERT_TRUE(opened);
    EXPECT_EQ(hp::to_string(*opened), fromHost["plainBody"]);
    EXPECT_EQ(hp::crypto::hex_encode(channel.seal(0x30, hp::as_bytes(pairing["firstSecureFrames"][0]["plainBody"].get<std::string>()))),
              pairing["firstSecureFrames"][0]["wireHex"]);

    const json auth = published("authentication.json");
    hp::test::PinnedHost host{in["host"]["hostId"], array<32>(in["host"]["ed25519PublicHex"]), 49182};
    hp::test::AuthClient authClient(id, host, {},
                                    hp::test::ClientEphemeral::from(array<32>(auth["inputs"]["clientEphemeral"]["x25519SecretHex"]),
                                                                    array<16>(auth["inputs"]["clientEphemeral"]["nonceHex"])));
    auto response = authClient.response_body(hp::as_bytes(auth["frames"][1]["body"].get<std::string>()));
    ASSERT_TRUE(response) << response.error().text;
    EXPECT_EQ(json::parse(*response), json::parse(auth["frames"][2]["body"].get<std::string>()));
    EXPECT_EQ(hp::crypto::hex_encode(authClient.session_key()), auth["derivation"]["sessionKeyHex"]);

    const json datagram = published("datagram.json");
    EXPECT_EQ(datagram["sessionKeyHex"], auth["derivation"]["sessionKeyHex"]);
}

TEST(PublishedVectors, SizesAreAsDocumented) {
    generated();
    const json pairing = published("pairing.json");
    // 170 + clientId + hostId, both 36 bytes here.
    EXPECT_EQ(pairing["derivation"]["transcriptLength"], 242);
    EXPECT_EQ(published("authentication.json")["derivation"]["transcriptLength"], 178);
    const json datagram = published("datagram.json");
    EXPECT_EQ(datagram["datagram"]["datagramHex"].get<std::string>().size(), 72u);
    EXPECT_EQ(datagram["acknowledgement"]["acknowledgementHex"].get<std::string>().substr(0, 24),
              "01fe00000100000000000000");
    for (const auto& r : datagram["records"]) EXPECT_EQ(r["recordHex"].get<std::string>().size(), 40u) << r["name"];
}

}  // namespace
