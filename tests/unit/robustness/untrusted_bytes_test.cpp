// Everything a peer can send before it has proved anything goes through these
// decoders. Mutated and random inputs must never crash them (the suite runs
// under AddressSanitizer and UndefinedBehaviorSanitizer), never read past
// what they were given, and never produce a session.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "discovery/network_snapshot.h"
#include "protocol/frame.h"
#include "protocol/handshake.h"
#include "protocol/messages.h"
#include "host/host_state.h"
#include "protocol/datagram.h"
#include "protocol/input_record.h"
#include "support/test_client.h"

namespace hp {
namespace {

class Mutator {
public:
    explicit Mutator(std::uint32_t seed) : rng_(seed) {}

    Bytes mutate(Bytes b) {
        const int edits = 1 + static_cast<int>(rng_() % 4);
        for (int e = 0; e < edits; ++e) {
            switch (rng_() % 5) {
                case 0:  // flip a bit
                    if (!b.empty()) b[pick(b.size())] ^= static_cast<std::uint8_t>(1u << (rng_() % 8));
                    break;
                case 1:  // truncate
                    if (!b.empty()) b.resize(pick(b.size()));
                    break;
                case 2:  // insert a byte that JSON cares about
                    b.insert(b.begin() + static_cast<std::ptrdiff_t>(pick(b.size() + 1)),
                             static_cast<std::uint8_t>("{}[]\",:\\0 \x01\xff"[rng_() % 13]));
                    break;
                case 3:  // duplicate a slice
                    if (!b.empty()) {
                        const std::size_t from = pick(b.size());
                        const std::size_t len = std::min<std::size_t>(b.size() - from, 1 + rng_() % 16);
                        Bytes slice(b.begin() + static_cast<std::ptrdiff_t>(from),
                                    b.begin() + static_cast<std::ptrdiff_t>(from + len));
                        b.insert(b.begin() + static_cast<std::ptrdiff_t>(pick(b.size() + 1)),
                                 slice.begin(), slice.end());
                    }
                    break;
                default:  // random byte
                    if (!b.empty()) b[pick(b.size())] = static_cast<std::uint8_t>(rng_());
            }
        }
        return b;
    }

    Bytes random(std::size_t max) {
        Bytes b(pick(max + 1));
        for (auto& c : b) c = static_cast<std::uint8_t>(rng_());
        return b;
    }

    std::size_t pick(std::size_t n) { return n == 0 ? 0 : rng_() % n; }

private:
    std::mt19937 rng_;
};

constexpr int kRounds = 4000;

TEST(UntrustedBytes, MessageParsersSurviveMutation) {
    test::PairingClient pairing(test::ClientIdentity::generate());
    const std::vector<std::string> seeds = {
        pairing.request_body(),
        "[\"id\",\"name\",\"model\",\"" + std::string(64, 'a') + "\",\"" + std::string(64, 'b') +
            "\",\"" + std::string(32, 'c') + "\"]",
        "{\"clientMacHex\":\"" + std::string(64, 'a') + "\",\"clientSigHex\":\"" + std::string(128, 'b') + "\"}",
        "{\"clientId\":\"x\",\"deviceName\":\"\",\"clientX25519PubHex\":\"" + std::string(64, 'a') +
            "\",\"clientNonceHex\":\"" + std::string(32, 'b') + "\"}",
        "{\"ts\":18446744073709551615}", "{\"text\":\"Gr\xC3\xBC\xC3\x9F" "e\",\"autoPaste\":true}",
        "{\"copyFirst\":false}", "{\"enabled\":true,\"x\":{\"y\":[1,2,{\"z\":null}]}}",
    };
    Mutator m(1234);
    for (int round = 0; round < kRounds; ++round) {
        const std::string& seed = seeds[static_cast<std::size_t>(round) % seeds.size()];
        const Bytes body = round % 10 == 0 ? m.random(300) : m.mutate(Bytes(seed.begin(), seed.end()));
        (void)protocol::parse_pair_request(body);
        (void)protocol::parse_pair_confirm(body);
        (void)protocol::parse_auth_hello(body);
        (void)protocol::parse_auth_response(body);
        (void)protocol::parse_ping(body);
        (void)protocol::parse_text_utf8(body);
        (void)protocol::parse_clipboard_set(body);
        (void)protocol::parse_clipboard_get(body);
        (void)protocol::parse_controller_state(body);
        (void)protocol::decode_input_record(body);
    }
    // Deep nesting is refused, not recursed into until the stack runs out.
    const Bytes deep(65535, '[');
    EXPECT_FALSE(protocol::parse_ping(deep));
}

TEST(UntrustedBytes, FrameReaderCutsOnlyWhatItWasGiven) {
    Mutator m(99);
    for (int round = 0; round < kRounds; ++round) {
        protocol::FrameReader reader;
        Bytes stream;
        for (int f = 0; f < 3; ++f) {
            auto frame = protocol::encode_plain(0x10, m.random(64));
            append(stream, round % 3 == 0 ? m.mutate(*frame) : *frame);
        }
        std::size_t fed = 0, taken = 0;
        bool bad = false;
        while (fed < stream.size() && !bad) {
            const std::size_t n = std::min(stream.size() - fed, 1 + m.pick(40));
            reader.feed(ByteView(stream.data() + fed, n));
            fed += n;
            protocol::Frame frame;
            for (;;) {
                const auto status = reader.next(frame);
                if (status == protocol::FrameReader::Status::Bad) {
                    bad = true;
                    break;
                }
                if (status == protocol::FrameReader::Status::NeedMore) break;
                taken += 5 + frame.body.size();
            }
        }
        if (!bad) {
            EXPECT_EQ(taken + reader.buffered(), fed);
        }
    }
}

TEST(UntrustedBytes, SecureFramesAndDatagramsNeedTheKey) {
    crypto::Key32 key{};
    key.fill(4);
    Mutator m(7);
    protocol::SessionKeys sender{crypto::SessionKey(key), 0, 0};
    int opened = 0;
    for (int round = 0; round < kRounds; ++round) {
        const auto frame = protocol::encode_secure(sender, protocol::kClientToHost, 0x34, m.random(20));
        Bytes body(frame->begin() + 5, frame->end());
        const Bytes mutated = m.mutate(body);
        protocol::SessionKeys receiver{crypto::SessionKey(key), sender.sendCounter - 1, sender.sendCounter - 1};
        if (protocol::decode_secure(receiver, protocol::kClientToHost, 0x34, mutated)) {
            EXPECT_EQ(mutated, body) << "only the untouched frame opens";
            ++opened;
        }
        Bytes datagram{1, 1, 0, 0};
        put_u64le(datagram, static_cast<std::uint64_t>(round + 1));
        append(datagram, m.random(24));
        datagram.resize(36);
        EXPECT_FALSE(protocol::open_datagram(key, m.mutate(datagram)));
    }
    EXPECT_LT(opened, kRounds / 4);
}

TEST(UntrustedBytes, HandshakeNeverEstablishesFromMutatedFrames) {
    const auto dir = std::filesystem::temp_directory_path() / "hp-untrusted-handshake";
    std::filesystem::remove_all(dir);
    host::HostState state;
    state.identity.hostId = "3f1c2a9e-8b7d-4c6e-9a5b-1d2e3f4a5b6c";
    crypto::random_bytes(state.identity.seed);
    state.identity.publicKey = crypto::ed25519_public_key(state.identity.seed);
    state.info.hostName = "PC";
    crypto::Key32 store_key{};
    state.store = store::PairedDeviceStore(dir / "paired_devices.json", store_key);
    store::PairedClientRecord known;
    known.clientId = "known";
    known.deviceName = "Known";
    known.ed25519PublicKeyHex = crypto::hex_encode(crypto::ed25519_public_key(store_key));
    state.store.upsert(known);
    const discovery::NetworkSnapshot net;
    const IpAddress peer = *IpAddress::parse("192.168.1.9");

    test::PairingClient pairing(test::ClientIdentity::generate());
    test::ClientIdentity known_id;
    known_id.clientId = "known";
    test::AuthClient auth(known_id, test::PinnedHost{state.identity.hostId, state.identity.publicKey, 0});
    const std::vector<std::pair<std::uint8_t, std::string>> seeds = {
        {0x10, pairing.request_body()},
        {0x20, auth.hello_body()},
        {0x12, "{\"clientMacHex\":\"" + std::string(64, 'a') + "\",\"clientSigHex\":\"" +
                   std::string(128, 'b') + "\"}"},
        {0x22, "{\"clientSigHex\":\"" + std::string(128, 'c') + "\"}"},
    };
    Mutator m(2024);
    std::unique_lock held(state.mutex);
    const host::Locked locked(state, held);
    protocol::new_pairing_code(state.pairing);
    for (int round = 0; round < kRounds; ++round) {
        protocol::HandshakeState hs;
        for (int step = 0; step < 3; ++step) {
            const auto& [type, seed] = seeds[m.pick(seeds.size())];
            const Bytes body = step == 0 && round % 2 == 0 ? Bytes(seed.begin(), seed.end())
                                                           : m.mutate(Bytes(seed.begin(), seed.end()));
            const auto o = protocol::handle_handshake_frame(hs, state.handshake_host(locked), net, peer, type, body);
            ASSERT_NE(o.kind, protocol::HandshakeOutcome::Kind::Established);
            if (o.kind != protocol::HandshakeOutcome::Kind::Reply) break;
        }
        if (!state.pairing.code) protocol::new_pairing_code(state.pairing);
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace hp
