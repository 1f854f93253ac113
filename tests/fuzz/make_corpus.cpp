// Writes the seed corpora of the fuzz targets: tests/fuzz/corpus/<target>/.
//
//   build/native/fuzz_make_corpus tests/fuzz/corpus
//   build/native/fuzz_make_corpus --check tests/fuzz/corpus
//
// --check writes nothing and fails when a seed in the directory differs from
// what would be written (the test run does this, so a change of a format or
// of the handshake cannot leave the seeds behind unnoticed).
//
// Frames and handshakes are captured from the test client (tests/support),
// which shares no code with the host, talking to the fuzz targets' fixed
// host under their fixed randomness, so the captured handshakes replay to a
// session. Message bodies come from the unit tests, files from the host's own
// writers. Each seed is written under its own name; other files in the
// directories (inputs a fuzzer found) are left alone.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz_fixture.h"
#include "fuzz_support.h"
#include "pad_mapping/mapping_file.h"
#include "platform/fake/fake_system.h"
#include "protocol/datagram.h"
#include "protocol/handshake.h"
#include "support/test_client.h"
#include "window_link/window_link.h"

namespace fs = std::filesystem;
using namespace hp;
namespace ft = test::frame_type;
using Kind = protocol::HandshakeOutcome::Kind;

namespace {

// The corpus directory: one folder per target.
class Corpus {
public:
    Corpus(fs::path root, bool check) : root_(std::move(root)), check_(check) {}

    void add(const std::string& target, const std::string& name, ByteView bytes) {
        const fs::path file = root_ / target / name;
        if (check_) {
            const Bytes current = fuzz::read_scratch_file(file);
            if (!fs::is_regular_file(file) ||
                !std::equal(current.begin(), current.end(), bytes.begin(), bytes.end())) {
                std::fprintf(stderr, "stale or missing seed: %s\n", file.c_str());
                ++stale_;
            }
            return;
        }
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    void add(const std::string& target, const std::string& name, std::string_view text) {
        add(target, name, as_bytes(text));
    }
    const fs::path& root() const { return root_; }
    int stale() const { return stale_; }

private:
    fs::path root_;
    bool check_;
    int stale_ = 0;
};

Bytes frame(std::uint8_t type, std::string_view body) { return test::client_plain_frame(type, as_bytes(body)); }
Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) append(out, p);
    return out;
}

test::ClientIdentity fixed_client() {
    test::ClientIdentity id;
    id.clientId = std::string(fuzz::fixture::kClientId);
    id.deviceName = std::string(fuzz::fixture::kDeviceName);
    id.deviceModel = std::string(fuzz::fixture::kDeviceModel);
    id.ed25519Seed = fuzz::fixture::client_seed();
    return id;
}
test::ClientEphemeral fixed_ephemeral() {
    return test::ClientEphemeral::from(fuzz::fixture::client_x25519_secret(), fuzz::fixture::client_nonce());
}

// The handshake target's host, as it stands at the start of every input.
class FixedHost {
public:
    FixedHost() {
        fuzz::restart_randomness();
        store_ = store::PairedDeviceStore(fuzz::scratch_dir() / "paired_devices.json", fuzz::fixture::store_key());
        store_.upsert(fuzz::fixture::paired_client());
        pairing_.code = std::string(fuzz::fixture::kPairingCode);
    }
    protocol::HandshakeOutcome send(std::uint8_t type, std::string_view body) {
        return protocol::handle_handshake_frame(hs_, {identity_, info_, pairing_, store_}, net_, peer_, type,
                                                as_bytes(body));
    }

private:
    store::HostIdentity identity_ = fuzz::fixture::host_identity();
    protocol::HostInfo info_ = fuzz::fixture::host_info();
    discovery::NetworkSnapshot net_ = fuzz::fixture::network();
    IpAddress peer_ = fuzz::fixture::peer();
    store::PairedDeviceStore store_;
    protocol::PairingSlot pairing_;
    protocol::HandshakeState hs_;
};

void expect(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_make_corpus: %s\n", what);
        std::exit(1);
    }
}

// PairRequest then PairConfirm, the confirmation computed by the client from
// the host's challenge; `establishes` says what the host must make of it.
Bytes pairing(const test::ConfirmTweaks& tweaks, std::string_view code, bool establishes) {
    FixedHost host;
    test::PairingClient client(fixed_client(), fixed_ephemeral());
    const std::string request = client.request_body();
    const auto challenge = host.send(ft::PairRequest, request);
    expect(challenge.kind == Kind::Reply, "the host did not challenge the pairing");
    const auto confirm = client.confirm_body(challenge.frames.at(0).body, code, tweaks);
    expect(confirm.has_value(), "the client could not read the challenge");
    const auto done = host.send(ft::PairConfirm, *confirm);
    expect((done.kind == Kind::Established) == establishes, "the pairing did not end as expected");
    if (establishes) expect(client.verify_accepted(done.established->plainFrames.at(0).body).has_value(),
                            "the client refused PairAccepted");
    return concat({frame(ft::PairRequest, request), frame(ft::PairConfirm, *confirm)});
}

test::PinnedHost pinned() {
    const auto id = fuzz::fixture::host_identity();
    return test::PinnedHost{id.hostId, id.publicKey, fuzz::fixture::host_info().udpPort};
}

Bytes authentication(const test::AuthTweaks& tweaks, bool establishes) {
    FixedHost host;
    test::AuthClient client(fixed_client(), pinned(), tweaks, fixed_ephemeral());
    const std::string hello = client.hello_body();
    const auto challenge = host.send(ft::AuthHello, hello);
    expect(challenge.kind == Kind::Reply, "the host did not challenge the authentication");
    const auto response = client.response_body(challenge.frames.at(0).body);
    expect(response.has_value(), "the client refused the host's challenge");
    const auto done = host.send(ft::AuthResponse, *response);
    expect((done.kind == Kind::Established) == establishes, "the authentication did not end as expected");
    return concat({frame(ft::AuthHello, hello), frame(ft::AuthResponse, *response)});
}

Bytes u32le(std::uint32_t v) {
    Bytes b;
    put_u32le(b, v);
    return b;
}

// ------------------------------------------------------------------ targets

void handshake_and_frame_seeds(Corpus& corpus) {
    const Bytes pair_ok = pairing({}, fuzz::fixture::kPairingCode, true);
    const Bytes auth_ok = authentication({}, true);
    const std::vector<std::pair<std::string, Bytes>> streams = {
        {"pair_ok", pair_ok},
        {"pair_wrong_code", pairing({.macCode = "000000"}, fuzz::fixture::kPairingCode, false)},
        {"pair_bad_signature", pairing({.corruptSignature = true}, fuzz::fixture::kPairingCode, false)},
        {"pair_bad_mac", pairing({.corruptMac = true}, fuzz::fixture::kPairingCode, false)},
        {"pair_upper_case_hex", pairing({.upperCaseHex = true}, fuzz::fixture::kPairingCode, true)},
        {"auth_ok", auth_ok},
        {"auth_bad_signature", authentication({.corruptSignature = true}, false)},
        {"auth_no_device_name", authentication({.omitDeviceName = true}, true)},
        {"info_request", frame(ft::PairRequest, "")},
        {"auth_unknown_client",
         frame(ft::AuthHello, R"({"clientId":"someone-else","deviceName":"X","clientX25519PubHex":")" +
                                  std::string(64, '1') + R"(","clientNonceHex":")" + std::string(32, '2') + "\"}")},
        {"confirm_without_request", frame(ft::PairConfirm, R"({"clientMacHex":"00","clientSigHex":"00"})")},
        {"ping_before_session", frame(ft::Ping, R"({"ts":1})")},
        {"pair_then_more", concat({pair_ok, frame(ft::Ping, R"({"ts":2})")})},
    };
    for (const auto& [name, stream] : streams) corpus.add("handshake", name, stream);

    // The frame reader: a chunk seed, then the stream.
    test::ClientChannel channel{fuzz::fixture::channel_key()};
    const Bytes session = concat({channel.seal(ft::Ping, as_bytes(R"({"ts":1712345678})")),
                                  channel.seal(ft::TextUtf8, as_bytes(R"({"text":"hello"})"))});
    const std::vector<std::pair<std::string, Bytes>> readings = {
        {"pair_in_small_chunks", concat({u32le(0x00000001), pair_ok})},
        {"auth_in_any_chunks", concat({u32le(0x9E3779B9), auth_ok})},
        {"session_frames", concat({u32le(0x12345678), session})},
        {"empty_frames", concat({u32le(7), frame(ft::PairRequest, ""), frame(ft::Ping, ""), frame(0, "")})},
        {"length_zero", concat({u32le(5), frame(ft::Ping, "{}"), u32le(0), frame(ft::Ping, "{}")})},
        {"length_over_the_cap", concat({u32le(11), u32le(65537), Bytes(32, 'x')})},
        {"largest_header_partial", concat({u32le(3), u32le(65536), Bytes{0x32}, Bytes(100, 'y')})},
        {"header_split", concat({u32le(1), Bytes{3, 0}})},
    };
    for (const auto& [name, bytes] : readings) corpus.add("frame_reader", name, bytes);
}

void secure_frame_seeds(Corpus& corpus) {
    // counter choice (index into the target's table), type, body as sealed by the client
    const std::uint64_t counters[] = {0, 1, 2, 0xFFFFFFFFull, 0x100000000ull, ~0ull - 1, ~0ull};
    struct Case {
        const char* name;
        std::uint8_t counter;
        std::uint8_t type;
        std::string plain;
    };
    const Case cases[] = {
        {"ping_first", 0, ft::Ping, R"({"ts":1712345678})"},
        {"text_second", 1, ft::TextUtf8, "{\"text\":\"Gr\xC3\xBC\xC3\x9F" "e\"}"},
        {"clipboard_set", 2, ft::ClipboardSet, R"({"text":"copied","autoPaste":true})"},
        {"empty_body", 0, ft::ClipboardGet, ""},
        {"input_command", 3, ft::InputCommand, std::string("\x01\x01\x00\x00\x05\x00\x00\x00\x00\x00\x00\x00"
                                                           "\x00\x00\x80\x3f\x00\x00\x00\x40", 20)},
        {"counter_past_32_bits", 4, ft::ControllerState, R"({"enabled":true})"},
        {"last_counter", 5, ft::Ping, R"({"ts":0})"},
        {"exhausted_counter", 6, ft::Ping, R"({"ts":0})"},
    };
    for (const auto& c : cases) {
        test::ClientChannel channel{fuzz::fixture::channel_key(), counters[c.counter], 0};
        const Bytes whole = channel.seal(c.type, as_bytes(c.plain));
        Bytes input{c.counter, c.type};
        input.insert(input.end(), whole.begin() + 5, whole.end());
        corpus.add("secure_frame", c.name, input);
    }
}

void message_seeds(Corpus& corpus) {
    test::PairingClient pairing(fixed_client(), fixed_ephemeral());
    test::AuthClient auth(fixed_client(), pinned(), {}, fixed_ephemeral());
    const std::string x(64, 'a'), ed(64, 'b'), nonce(32, 'c');
    const std::vector<std::pair<std::string, std::string>> bodies = {
        {"pair_request", pairing.request_body()},
        {"pair_request_array", R"(["c-1","Phone","M9",")" + x + R"(",")" + ed + R"(",")" + nonce + "\"]"},
        {"pair_request_unknown_members",
         R"({"clientId":"c-1","deviceName":"Phone","future":[1,{"a":2}],"v":2,"clientX25519PubHex":")" + x +
             R"(","clientEd25519PubHex":")" + ed + R"(","clientNonceHex":")" + nonce + "\"}"},
        {"pair_confirm", R"({"clientMacHex":")" + x + R"(","clientSigHex":")" + std::string(128, 'd') + "\"}"},
        {"pair_confirm_array", R"(["m","s"])"},
        {"auth_hello", auth.hello_body()},
        {"auth_hello_array", R"(["c","Tab","x","n"])"},
        {"auth_response", R"({"clientSigHex":")" + std::string(128, 'e') + "\"}"},
        {"repeated_member", R"({"clientSigHex":"s","clientSigHex":"s"})"},
        {"ping_largest", R"({"ts":18446744073709551615})"},
        {"ping_too_large", R"({"ts":18446744073709551616})"},
        {"ping_fraction", R"({"ts":1.5e3})"},
        {"ping_array", "[5]"},
        {"text_unicode", "{\"text\":\"Gr\xC3\xBC\xC3\x9F" "e \\ud83d\\ude00 \\u00e9\\n\"}"},
        {"clipboard_set", R"({"text":"copied","autoPaste":true})"},
        {"clipboard_get", R"({"copyFirst":false})"},
        {"controller_state_nested", R"({"enabled":true,"x":{"y":[1,2,{"z":null}]}})"},
        {"members_object", " {\"s\":\"x\",\"b\":true,\"u\":5}\r\n"},
        {"members_array", R"(["x",false,7])"},
        {"deep_nesting", std::string(200, '[') + std::string(200, ']')},
        {"byte_order_mark", "\xEF\xBB\xBF{\"ts\":1}"},
        {"invalid_utf8", "{\"text\":\"\xC3\x28\"}"},
        {"zero_byte_after", std::string("{\"ts\":1}\0", 9)},
    };
    for (const auto& [name, body] : bodies) corpus.add("messages", name, body);
}

void datagram_seeds(Corpus& corpus) {
    const auto key = fuzz::fixture::channel_key();
    auto record = [](std::uint64_t seq, std::uint8_t kind, std::uint8_t flags) {
        Bytes r{1, kind, 0, flags};
        put_u64le(r, seq);
        for (int i = 0; i < 8; ++i) r.push_back(static_cast<std::uint8_t>(0x10 * i));
        return r;
    };
    auto received = [&](std::uint64_t seq, std::uint8_t kind, std::uint8_t flags) {
        const Bytes r = record(seq, kind, flags);
        const auto d = protocol::seal_datagram(key, r);
        Bytes op{0};
        op.insert(op.end(), d.begin(), d.end());
        return op;
    };
    auto sealed = [&](std::uint64_t seq, std::uint8_t flip) {
        Bytes op{1};
        append(op, record(seq, 1, 1));
        op.push_back(flip);
        return op;
    };
    auto absolute = [](std::uint64_t seq) {
        Bytes op{3};
        put_u64le(op, seq);
        return op;
    };
    auto relative = [](std::int16_t delta) {
        const auto d = static_cast<std::uint16_t>(delta);
        return Bytes{4, static_cast<std::uint8_t>(d), static_cast<std::uint8_t>(d >> 8)};
    };
    Bytes forged = received(9, 1, 0);
    forged.back() ^= 1;
    const std::vector<std::pair<std::string, Bytes>> runs = {
        {"received_in_order", concat({received(1, 1, 1), received(2, 2, 0), received(3, 11, 1)})},
        {"received_twice", concat({received(7, 1, 1), received(7, 1, 1)})},
        {"forged_tag", forged},
        {"sealed_then_replayed", concat({sealed(100, 0), sealed(100, 77), sealed(99, 255)})},
        {"window_edges", concat({absolute(1000), absolute(489), absolute(488), relative(-511), relative(-512),
                                 relative(-511), relative(1), relative(-1)})},
        {"far_jump", concat({absolute(5), absolute(1ull << 40), relative(-600), relative(-3), absolute(~0ull),
                             relative(-511)})},
        {"out_of_order", concat({relative(10), relative(-5), relative(-7), relative(-5), relative(3),
                                 relative(-2), relative(0)})},
        {"records_alone", concat({Bytes{2 | (20 << 3)}, record(1, 4, 0), Bytes{2 | (19 << 3)}, Bytes(19, 1),
                                  Bytes{2 | (20 << 3)}, Bytes(20, 2)})},
        {"short_datagram", Bytes{0, 1, 1, 0, 1, 5, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const auto& [name, bytes] : runs) corpus.add("datagram", name, bytes);
}

void store_seeds(Corpus& corpus) {
    const auto key = fuzz::fixture::store_key();
    const fs::path file = fuzz::scratch_dir() / "seed_store.json";
    store::PairedDeviceStore empty(file, key);
    store::PairedDeviceStore one(file, key);
    one.upsert(fuzz::fixture::paired_client());
    store::PairedDeviceStore three = one;
    auto second = fuzz::fixture::paired_client();
    second.clientId = "c-2";
    second.deviceName = "Tablet \xC3\xBC \"quoted\"\n";
    second.deviceModel = "";
    second.lastRemoteIp = "fd00::5";
    three.upsert(second);
    auto third = second;
    third.clientId = "c-3";
    third.pairedAtUnix = 18446744073709551615ull;
    three.upsert(third);
    corpus.add("paired_store", "empty", empty.file_text());
    corpus.add("paired_store", "one_client", one.file_text());
    corpus.add("paired_store", "three_clients", three.file_text());
    std::string mistagged = one.file_text();
    mistagged[mistagged.size() - 4] = mistagged[mistagged.size() - 4] == '0' ? '1' : '0';
    corpus.add("paired_store", "wrong_tag", mistagged);
    corpus.add("paired_store", "compact_optional_members_missing",
         R"({"version":1,"clients":[{"clientId":"c","deviceName":"d","ed25519PublicKeyHex":"00"}],"hmacHex":"00"})");
    corpus.add("paired_store", "not_json", "paired devices");
}

void identity_seeds(Corpus& corpus) {
    fake::FakeDataProtection protection;
    const auto id = fuzz::fixture::host_identity();
    const std::string seed_hex = crypto::hex_encode(id.seed);
    auto blob = [&](std::string_view plain) { return *protection.protect(as_bytes(plain)); };
    corpus.add("identity", "object", blob(R"({"hostId":")" + id.hostId + R"(","seedHex":")" + seed_hex + "\"}"));
    corpus.add("identity", "array", blob(R"([")" + id.hostId + R"(",")" + seed_hex + "\"]"));
    corpus.add("identity", "short_seed", blob(R"({"hostId":"h","seedHex":"abcd"})"));
    corpus.add("identity", "missing_seed", blob(R"({"hostId":"h"})"));
    corpus.add("identity", "unknown_members", blob(R"({"v":2,"hostId":"h","x":[{}],"seedHex":")" + seed_hex + "\"}"));
    corpus.add("identity", "not_a_blob", R"({"hostId":"h","seedHex":"00"})");
    corpus.add("identity", "empty_blob", std::string_view("FAKE"));
}

void mapping_seeds(Corpus& corpus) {
    using namespace pad_mapping;
    const std::pair<const char*, Preset> presets[] = {{"preset_shooter", Preset::Shooter},
                                                      {"preset_arrows", Preset::Arrows},
                                                      {"preset_mouse_only", Preset::MouseOnly},
                                                      {"preset_twin_stick", Preset::TwinStick},
                                                      {"preset_custom", Preset::Custom}};
    for (const auto& [name, preset] : presets) corpus.add("mapping", name, saveMapping(presetMapping(preset)));
    corpus.add("mapping", "lenient_bindings",
         R"({"preset": "shooter", "bindings": {"a": {"type": "key", "key": "c", "mods": ["CONTROL", "cmd"]},
             "lb": {"type": "wheel", "direction": "up", "amount": 25}, "View": "Esc",
             "dpadUp": {"type": "mouseMove", "direction": "up", "speed": 9},
             "select": {"type": "mouse", "button": "primary"}, "b": "None"}})");
    corpus.add("mapping", "sticks_out_of_range",
         R"({"version": 1, "mode": "Keyboard", "preset": "FPS", "leftStick": {"mode": "keys", "deadzone": 1.5,
             "sensitivity": 9, "invertY": true}, "rightStick": {"deadzone": -1, "sensitivity": 0.0004}})");
    corpus.add("mapping", "version_2", R"({"version": 2, "preset": "arrows"})");
    corpus.add("mapping", "zero_byte_after_object", std::string_view("{\"preset\":\"arrows\"}\0", 20));
    corpus.add("mapping", "legacy_wasd", "wasdMouse");
    corpus.add("mapping", "legacy_arrows", "arrows");
    corpus.add("mapping", "legacy_dual", "dualKeys");
}


// Status documents as `tailscale status --json` prints them (indented, far
// more members than are read) and as the local API answers.
void tailscale_seeds(Corpus& corpus) {
    const std::string status = R"({
  "Version": "1.58.2-t6b1b8a5a1-g3bda5b0e3",
  "TUN": true,
  "BackendState": "Running",
  "AuthURL": "",
  "TailscaleIPs": [
    "100.101.102.103",
    "fd7a:115c:a1e0:ab12:4843:cd96:6265:6667"
  ],
  "Self": {
    "ID": "nXyZ12CNTRL",
    "PublicKey": "nodekey:5c8f2d0b1e7a4c3d9f6b2a1e0d9c8b7a6f5e4d3c2b1a09f8e7d6c5b4a3928170",
    "HostName": "DESKTOP-7QK2M",
    "DNSName": "desktop-7qk2m.tail4f2a1.ts.net.",
    "OS": "windows",
    "UserID": 21345678901234567,
    "TailscaleIPs": [
      "100.101.102.103",
      "fd7a:115c:a1e0:ab12:4843:cd96:6265:6667"
    ],
    "AllowedIPs": [
      "100.101.102.103/32",
      "fd7a:115c:a1e0:ab12:4843:cd96:6265:6667/128"
    ],
    "Addrs": [
      "192.168.1.20:41641",
      "[2a02:8071:1234::20]:41641"
    ],
    "CurAddr": "",
    "Relay": "fra",
    "RxBytes": 0,
    "TxBytes": 0,
    "Created": "2024-03-02T18:04:11.23Z",
    "LastWrite": "0001-01-01T00:00:00Z",
    "LastSeen": "0001-01-01T00:00:00Z",
    "LastHandshake": "0001-01-01T00:00:00Z",
    "Online": true,
    "ExitNode": false,
    "ExitNodeOption": false,
    "Active": false,
    "PeerAPIURL": [
      "http://100.101.102.103:49283",
      "http://[fd7a:115c:a1e0:ab12:4843:cd96:6265:6667]:49283"
    ],
    "Capabilities": ["https://tailscale.com/cap/file-sharing"],
    "InNetworkMap": true,
    "InMagicSock": false,
    "InEngine": false
  },
  "Health": null,
  "MagicDNSSuffix": "tail4f2a1.ts.net",
  "CurrentTailnet": {
    "Name": "someone@example.com",
    "MagicDNSSuffix": "tail4f2a1.ts.net",
    "MagicDNSEnabled": true
  },
  "CertDomains": null,
  "Peer": {
    "nodekey:0a1b2c3d4e5f60718293a4b5c6d7e8f90a1b2c3d4e5f60718293a4b5c6d7e8f9": {
      "ID": "nAbC34CNTRL",
      "HostName": "pixel-8",
      "DNSName": "pixel-8.tail4f2a1.ts.net.",
      "OS": "android",
      "TailscaleIPs": [
        "100.88.12.7",
        "fd7a:115c:a1e0::5a01:c07"
      ],
      "Online": true,
      "LastSeen": "2024-05-01T09:12:44Z"
    },
    "nodekey:f9e8d7c6b5a4938271605f4e3d2c1b0af9e8d7c6b5a4938271605f4e3d2c1b0a": {
      "ID": "nDeF56CNTRL",
      "HostName": "laptop",
      "DNSName": "laptop.tail4f2a1.ts.net.",
      "OS": "linux",
      "TailscaleIPs": [
        "100.127.255.254",
        "100.88.12.7"
      ],
      "Online": false,
      "KeyExpiry": "2024-09-01T00:00:00Z"
    }
  },
  "User": {
    "21345678901234567": {
      "ID": 21345678901234567,
      "LoginName": "someone@example.com",
      "DisplayName": "Someone"
    }
  },
  "ClientVersion": null
}
)";
    corpus.add("tailscale_status", "cli_status", status);
    const std::string compact = R"({"Self":{"DNSName":"pc.tail4f2a1.ts.net.","TailscaleIPs":["100.64.0.1","fd7a:115c:a1e0::1"]},)"
                                R"("Peer":{"nodekey:01":{"TailscaleIPs":["100.100.1.2"]},"nodekey:02":null}})";
    corpus.add("tailscale_status", "local_api_response",
               "HTTP/1.0 200 OK\r\nContent-Type: application/json\r\nDate: Sat, 04 May 2024 10:00:00 GMT\r\n\r\n" +
                   compact);
    corpus.add("tailscale_status", "local_api_forbidden",
               "HTTP/1.0 403 Forbidden\r\nContent-Type: text/plain\r\n\r\nlocalapi access denied\n");
    corpus.add("tailscale_status", "addresses_outside_the_ranges",
               R"({"Self":{"DNSName":"a..","TailscaleIPs":["100.101.1.2","fd7a:115c:a1e0::3","192.168.1.9","no address",)"
               R"("100.63.255.255","100.128.0.0","fd7a:115c:a1e1::1","::ffff:100.64.0.1","100.64.0.1/32","[fd7a:115c:a1e0::4]"]}})");
    corpus.add("tailscale_status", "null_and_empty_members",
               R"({"Self":{"DNSName":"...","TailscaleIPs":null},"Peer":{}, "Self2": 5})");
    corpus.add("tailscale_status", "wrong_shape", R"({"Self":{"TailscaleIPs":"100.64.0.1"}})");
    corpus.add("tailscale_status", "zero_byte_after_object", std::string_view("{}\0", 3));
    corpus.add("tailscale_status", "not_json", "failed to connect to local tailscaled; it doesn't appear to be running\n");
}

// Manifests as the update server publishes them and as it must not; and
// "<version>\n<link>" pairs for the version and link checks.
void manifest_seeds(Corpus& corpus) {
    const std::pair<const char*, const char*> documents[] = {
        {"manifest", R"({"windows": {"version": "0.3.0", "url": "https://updates.hearthpad.app/hearthpad-0.3.0-setup.exe"}})"},
        {"manifest_more_members",
         "{\n  \"schema\": 1,\n  \"windows\": {\n    \"version\": \"1.10.0.2\",\n"
         "    \"url\": \"https://updates.hearthpad.app/win/Hearthpad-1.10.0.2.zip?sha256=9f2c#notes\",\n"
         "    \"notes\": \"Fixes \\u00fcber \\\"quoted\\\"\"\n  },\n"
         "  \"macos\": {\"version\": \"1.9\", \"url\": null},\n  \"published\": [2024, 5, 4]\n}\n"},
        {"manifest_foreign_host", R"({"windows":{"version":"0.3.0","url":"https://updates.hearthpad.app.example.net/x.exe"}})"},
        {"manifest_http", R"({"windows":{"version":"0.3.0","url":"http://updates.hearthpad.app/x.exe"}})"},
        {"manifest_user_info", R"({"windows":{"version":"0.3.0","url":"https://user@updates.hearthpad.app/x.exe"}})"},
        {"manifest_v_prefix", R"({"windows":{"version":"v0.3.0","url":"https://updates.hearthpad.app/x.exe"}})"},
        {"manifest_blank_in_link", R"({"windows":{"version":"0.3.0","url":"https://updates.hearthpad.app/a\u00a0b.exe"}})"},
        {"manifest_repeated_member",
         R"({"windows":{"version":"0.3.0","url":"https://updates.hearthpad.app/"},"windows":{"version":"9"}})"},
        {"manifest_windows_not_object", R"({"windows":["0.3.0","https://updates.hearthpad.app/x.exe"]})"},
        {"manifest_byte_order_mark",
         "\xEF\xBB\xBF{\"windows\":{\"version\":\"0.3.0\",\"url\":\"https://updates.hearthpad.app/x.exe\"}}"},
        {"pair_newer", "0.10.0\nhttps://updates.hearthpad.app/a"},
        {"pair_four_components", "1.2.3.4\nhttps://updates.hearthpad.app#frag"},
        {"pair_two_versions", "0.2\n0.2.0.0"},
        {"pair_long_components", "999999999.000000001\n1000000000.1"},
        {"pair_empty_component", "1..2\nhttps://updates.hearthpad.app?q"},
    };
    for (const auto& [name, text] : documents) corpus.add("update_manifest", name, std::string_view(text));
}

// The window program's lines, each behind the byte that picks the size of
// the pieces they arrive in.
void window_link_seeds(Corpus& corpus) {
    namespace wl = window_link;
    namespace cc = connection_check;
    auto add = [&corpus](const std::string& name, char piece, const std::string& lines) {
        corpus.add("window_link", name, std::string(1, piece) + lines);
    };
    auto mapping = pad_mapping::presetMapping(pad_mapping::Preset::TwinStick);
    mapping.leftStick.deadzone = 0.123f;
    add("pairing", '\xff',
        wl::encode(wl::ToWindow{wl::ShowPairing{"012345", "hearthpad://pair?c=012345", "192.168.1.2:49182", ""}}));
    add("findings", '\x10',
        wl::encode(wl::ToWindow{wl::ShowFindings{
            {{"lan_address", cc::FindingState::Ok, "LAN", cc::FindingFix::None},
             {"firewall_program", cc::FindingState::Problem, "Blocked", cc::FindingFix::AllowFirewall}}}}) +
            wl::encode(wl::ToWindow{wl::FixFinished{platform::ElevatedOutcome{false, 1}}}) +
            wl::encode(wl::ToWindow{wl::FixFinished{fail("no pkexec")}}));
    add("mapping_and_saved", '\x40',
        wl::encode(wl::ToWindow{wl::ShowMapping{mapping, true, false}}) +
            wl::encode(wl::ToWindow{wl::Saved{mapping, "disk full"}}));
    add("control", '\x00',
        wl::encode(wl::ToWindow{wl::Raise{}}) + wl::encode(wl::ToWindow{wl::DumpRequest{}}) +
            wl::encode(wl::ToWindow{wl::Close{}}));
    add("window_says", '\x07',
        wl::encode(wl::ToHost{wl::Shown{wl::WindowKind::Check}}) + wl::encode(wl::ToHost{wl::RunCheck{}}) +
            wl::encode(wl::ToHost{wl::AllowFirewall{}}) + wl::encode(wl::ToHost{wl::SaveMapping{mapping}}));
    add("texts", '\x80',
        wl::encode(wl::ToHost{wl::Texts{{{303, "Save", 1, 2, 3, 4, true, false}, {-1, "LAN: -", 0, 0, 0, 0, true, true}}}}));
    add("long_line", '\xff', std::string(wl::kMaxLineBytes + 1, ' ') + "\n{\"t\":\"raise\"}\n");
    add("bad_lines", '\x03',
        "{\"t\":\"shown\",\"kind\":\"tray\"}\n[1]\n{\"t\":\"pairing\",\"code\":\"12345\"}\n\xff\n"
        "{\"t\":\"texts\",\"controls\":[{\"id\":-2}]}\n");
}

}  // namespace

int main(int argc, char** argv) {
    const bool check = argc == 3 && std::string_view(argv[1]) == "--check";
    if (argc != 2 && !check) {
        std::fprintf(stderr, "usage: %s [--check] <corpus directory, e.g. tests/fuzz/corpus>\n", argv[0]);
        return 2;
    }
    Corpus corpus(argv[argc - 1], check);
    handshake_and_frame_seeds(corpus);
    secure_frame_seeds(corpus);
    message_seeds(corpus);
    datagram_seeds(corpus);
    store_seeds(corpus);
    identity_seeds(corpus);
    mapping_seeds(corpus);
    tailscale_seeds(corpus);
    manifest_seeds(corpus);
    window_link_seeds(corpus);
    if (check) {
        if (corpus.stale()) {
            std::fprintf(stderr, "%d seeds differ; rewrite them with: fuzz_make_corpus %s\n", corpus.stale(),
                         corpus.root().c_str());
            return 1;
        }
        std::printf("seeds in %s are current\n", corpus.root().c_str());
        return 0;
    }
    std::printf("seeds written to %s\n", corpus.root().c_str());
    return 0;
}
