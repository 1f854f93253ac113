// Pairing and authentication driven as a peer would: the input is the byte
// stream a client sends before it has a session, cut into frames by the
// frame reader, and up to three frames are handed to the handshake of a host
// with a fixed identity, a pairing code open and one paired client, its store
// in a scratch directory. Randomness restarts for every input, so a captured
// handshake (corpus/handshake/pair_*, auth_*) replays to a session.
//
// Invariants: a session comes only from a confirmation or response that
// follows the host's challenge, and only with a proof by the one client key
// that exists outside the host (the fixed client's): any other key would
// mean a signature was forged. Every outcome leaves the handshake state as
// the session loop expects (waiting after a reply, reset otherwise); replies
// are the frames that step may send, with well-formed bodies; the pairing
// code is withdrawn at the fifth failure and admits one pairing.
#include <variant>

#include "base/json.h"
#include "fuzz_fixture.h"
#include "fuzz_support.h"
#include "protocol/frame.h"
#include "protocol/handshake.h"

namespace {

using namespace hp;
using protocol::FrameType;
using protocol::HandshakeOutcome;
using Kind = HandshakeOutcome::Kind;

struct Host {
    store::HostIdentity identity = fuzz::fixture::host_identity();
    protocol::HostInfo info = fuzz::fixture::host_info();
    discovery::NetworkSnapshot net = fuzz::fixture::network();
    IpAddress peer = fuzz::fixture::peer();
    store::PairedDeviceStore store;
    std::string clientKeyHex = crypto::hex_encode(crypto::ed25519_public_key(fuzz::fixture::client_seed()));

    Host() {
        store = store::PairedDeviceStore(fuzz::scratch_dir() / "paired_devices.json", fuzz::fixture::store_key());
        store.upsert(fuzz::fixture::paired_client());
    }
};

bool is(std::uint8_t type, FrameType t) { return type == protocol::type_byte(t); }

void check_reply_frames(const HandshakeOutcome& o, std::uint8_t in_type) {
    FUZZ_CHECK(o.frames.size() == 1);
    const auto& f = o.frames.front();
    FUZZ_CHECK(parse_strict(f.body).has_value());
    if (o.kind == Kind::Reply) {
        FUZZ_CHECK(is(in_type, FrameType::PairRequest) ? is(f.type, FrameType::PairChallenge)
                                                       : is(f.type, FrameType::AuthChallenge));
    } else {
        FUZZ_CHECK(is(f.type, FrameType::HostInfo) || is(f.type, FrameType::PairRejected) ||
                   is(f.type, FrameType::AuthRejected));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::restart_randomness();
    static const Host prototype;
    Host host = prototype;
    protocol::PairingSlot pairing;
    pairing.code = std::string(fuzz::fixture::kPairingCode);
    // Wrong confirmations before this connection: the input's length picks
    // 0..4, so a run can also be the fifth failure that withdraws the code.
    pairing.failures = static_cast<std::uint8_t>(size % 5);
    const protocol::HandshakeHost view{host.identity, host.info, pairing, host.store};

    protocol::FrameReader reader;
    reader.feed(ByteView(data, size));
    protocol::HandshakeState hs;
    bool challenged = false;
    for (int step = 0; step < 3; ++step) {
        protocol::Frame frame;
        if (reader.next(frame) != protocol::FrameReader::Status::Frame) break;
        const bool waiting = !std::holds_alternative<std::monostate>(hs);
        const bool had_code = pairing.code.has_value();
        const auto o = protocol::handle_handshake_frame(hs, view, host.net, host.peer, frame.type, frame.body);

        FUZZ_CHECK(pairing.failures <= 5);
        FUZZ_CHECK(!o.codeRevoked || (had_code && !pairing.code && pairing.failures == 5));
        FUZZ_CHECK(std::holds_alternative<std::monostate>(hs) == (o.kind != Kind::Reply));
        switch (o.kind) {
            case Kind::Reply:
                FUZZ_CHECK(!waiting);
                check_reply_frames(o, frame.type);
                challenged = true;
                break;
            case Kind::ReplyAndClose: check_reply_frames(o, frame.type); break;
            case Kind::Reject: FUZZ_CHECK(o.frames.empty()); break;
            case Kind::Established: {
                FUZZ_CHECK(waiting && challenged && o.frames.empty() && o.established);
                const auto& e = *o.established;
                const auto* record = host.store.find(e.clientId);
                FUZZ_CHECK(record && record->ed25519PublicKeyHex == host.clientKeyHex);
                if (is(frame.type, FrameType::PairConfirm)) {
                    FUZZ_CHECK(had_code && !pairing.code);
                    FUZZ_CHECK(o.pairedDevice && *o.pairedDevice == e.deviceName);
                    FUZZ_CHECK(e.plainFrames.size() == 1 && e.secureFrames.empty());
                    FUZZ_CHECK(is(e.plainFrames[0].type, FrameType::PairAccepted));
                } else {
                    FUZZ_CHECK(is(frame.type, FrameType::AuthResponse));
                    FUZZ_CHECK(e.clientId == fuzz::fixture::kClientId);
                    FUZZ_CHECK(e.plainFrames.empty() && e.secureFrames.size() == 1);
                    FUZZ_CHECK(is(e.secureFrames[0].type, FrameType::AuthAccepted));
                }
                break;
            }
        }
        if (o.kind != Kind::Reply) break;  // the session begins, or the connection closes
    }
    return 0;
}
