// Handshake frames: the protocol's step applied to the host record, with the
// host lock held only to read and change the record.
//
// A step runs without the lock against a view of the record: the pairing
// slot as it was when the step began, and the store through lookups that
// each take the lock for themselves and are remembered. What the step
// changes (the slot, a pairing kept, a visit noted) is applied under the
// lock afterwards, once the lock shows that everything the step read still
// holds; if something changed meanwhile (the device was removed or paired
// again, the code withdrawn or missed once more by another phone), the step
// runs again on what the host holds now, so its outcome is the one it would
// have had with the lock held throughout. A step that changes nothing and
// establishes nothing needs no second look.
#include <optional>
#include <string>
#include <utility>

#include "commands/commands.h"
#include "protocol/frame.h"
#include "protocol/messages.h"

namespace hp::commands {

using host::HostEvent;
using host::HostEventKind;
using host::HostLock;
using host::HostState;
using protocol::HandshakeOutcome;
using Kind = protocol::HandshakeOutcome::Kind;

namespace {

// The store as a step sees it while the lock is free.
class StoreView final : public protocol::PairedDevices {
public:
    explicit StoreView(HostState& state) : state_(state) {}

    // Forgets every lookup and change, for the step to run again.
    void reset() {
        reads_.clear();
        pairing_.reset();
        visit_.reset();
    }

    std::optional<protocol::PairedClient> paired_client(std::string_view clientId) const override {
        for (const auto& [id, client] : reads_)
            if (id == clientId) return client;
        std::optional<protocol::PairedClient> client;
        {
            HostLock lock(state_);
            client = state_.store.paired_client(clientId);
        }
        reads_.emplace_back(std::string(clientId), client);
        return client;
    }
    // Kept at the commit; the save's result decides the answer there.
    Status record_pairing(const protocol::NewPairing& p) override {
        pairing_ = Pairing{std::string(p.clientId), std::string(p.deviceName), std::string(p.deviceModel),
                           p.ed25519PublicKey, std::string(p.remoteIp)};
        return {};
    }
    void record_authentication(std::string_view clientId, std::string_view remoteIp) override {
        visit_ = Visit{std::string(clientId), std::string(remoteIp)};
    }

    // Whether every lookup would give the same answer now.
    bool reads_hold(const host::Locked& locked) const {
        for (const auto& [id, client] : reads_)
            if (locked->store.paired_client(id) != client) return false;
        return true;
    }

    struct Pairing {
        std::string clientId, deviceName, deviceModel;
        crypto::Key32 key{};
        std::string remoteIp;
        protocol::NewPairing view() const { return {clientId, deviceName, deviceModel, key, remoteIp}; }
    };
    struct Visit {
        std::string clientId, remoteIp;
    };
    const std::optional<Pairing>& pairing() const { return pairing_; }
    const std::optional<Visit>& visit() const { return visit_; }
    bool changes() const { return pairing_ || visit_; }

private:
    HostState& state_;
    mutable std::vector<std::pair<std::string, std::optional<protocol::PairedClient>>> reads_;
    std::optional<Pairing> pairing_;
    std::optional<Visit> visit_;
};

// Whether the step may read or change the pairing slot.
bool uses_pairing_slot(const protocol::HandshakeState& hs, std::uint8_t type, ByteView body) {
    if (std::holds_alternative<protocol::AwaitPairConfirm>(hs)) return true;
    return std::holds_alternative<std::monostate>(hs) && !body.empty() &&
           type == protocol::type_byte(protocol::FrameType::PairRequest);
}

HandshakeOutcome refused_pairing(std::optional<std::string> rekeyed) {
    HandshakeOutcome o;
    o.kind = Kind::ReplyAndClose;
    const std::string body = protocol::encode_reason(protocol::kReasonInternalError);
    o.frames.push_back(
        protocol::Frame{protocol::type_byte(protocol::FrameType::PairRejected), Bytes(body.begin(), body.end())});
    o.rekeyedClientId = std::move(rekeyed);
    return o;
}

}  // namespace

struct PreparedHandshake::Work {
    Work(HostState& s, protocol::HandshakeState& h, const protocol::HostAddresses& n, const IpAddress& p,
         std::uint8_t t, ByteView b, protocol::RandomSource r)
        : state(s), hs(h), original(h), net(n), peer(p), type(t), body(b.begin(), b.end()),
          random(std::move(r)), view(s) {}

    // The protocol's step, without the lock, on what the host holds now.
    void run() {
        view.reset();
        slotRead = uses_pairing_slot(original, type, body);
        if (slotRead) {
            HostLock lock(state);
            slotBefore = state.pairing;
        }
        slot = slotBefore;
        hs = original;
        const protocol::HandshakeHost host{state.identity, state.info, slot, view, random};
        outcome = protocol::handle_handshake_frame(hs, host, net, peer, type, body);
    }

    HostState& state;
    protocol::HandshakeState& hs;
    const protocol::HandshakeState original;
    const protocol::HostAddresses net;
    const IpAddress peer;
    const std::uint8_t type;
    const Bytes body;
    const protocol::RandomSource random;
    bool slotRead = false;
    protocol::PairingSlot slotBefore, slot;
    StoreView view;
    HandshakeOutcome outcome;
};

PreparedHandshake::PreparedHandshake(std::unique_ptr<Work> work) : work_(std::move(work)) {}
PreparedHandshake::PreparedHandshake(PreparedHandshake&&) noexcept = default;
PreparedHandshake& PreparedHandshake::operator=(PreparedHandshake&&) noexcept = default;
PreparedHandshake::~PreparedHandshake() = default;

PreparedHandshake prepare_handshake(HostState& state, protocol::HandshakeState& hs,
                                    const protocol::HostAddresses& net, const IpAddress& peer, std::uint8_t type,
                                    ByteView body, const protocol::RandomSource& random) {
    auto work = std::make_unique<PreparedHandshake::Work>(state, hs, net, peer, type, body, random);
    work->run();
    return PreparedHandshake(std::move(work));
}

HandshakeOutcome commit_handshake(PreparedHandshake prepared, const RegisterSession& registerSession) {
    PreparedHandshake::Work& w = *prepared.work_;
    HostState& state = w.state;
    const auto nothingToApply = [&] {
        return w.slot == w.slotBefore && !w.view.changes() && w.outcome.kind != Kind::Established;
    };
    if (nothingToApply()) return std::move(w.outcome);

    OrderedFileWriter::Ticket pairingSaved;
    for (;;) {
        HostLock lock(state);
        if (!w.view.reads_hold(lock) || (w.slotRead && state.pairing != w.slotBefore)) {
            lock.unlock();
            w.run();  // something the step read has changed: again, on what holds now
            if (nothingToApply()) return std::move(w.outcome);
            continue;
        }
        if (w.slot != w.slotBefore) state.pairing = w.slot;
        if (w.outcome.codeRevoked)
            state.pendingEvents.push_back(HostEvent{HostEventKind::PairingCodeRevoked, {}, false});
        // A pairing that gave the client id another key ends what the old key
        // opened, whether or not the store can then be saved.
        if (w.outcome.rekeyedClientId) end_client_sessions(lock, *w.outcome.rekeyedClientId);
        if (const auto& visit = w.view.visit()) {
            // A visit is not waited for: the next save carries it, and
            // visits close together share one.
            state.store.note_visit(visit->clientId, visit->remoteIp);
            (void)state.store.save_later(false);
        }
        if (const auto& pairing = w.view.pairing()) {
            state.store.keep_pairing(pairing->view());
            pairingSaved = state.store.save_later();
            break;
        }
        // Registered under the lock that found the record unchanged: a
        // session the old key establishes is there before any pairing that
        // replaces the key can look for it, so none escapes the ending.
        if (w.outcome.kind == Kind::Established) registerSession(lock, *w.outcome.established);
        return std::move(w.outcome);
    }

    // A pairing is on the disk before the phone or the tray hears of it.
    if (!store::PairedDeviceStore::wait_saved(pairingSaved)) return refused_pairing(w.outcome.rekeyedClientId);
    HostLock lock(state);
    if (w.outcome.pairedDevice) {
        state.pendingEvents.push_back(HostEvent{HostEventKind::DevicePaired, *w.outcome.pairedDevice, false});
        state.pendingEvents.push_back(HostEvent{HostEventKind::PairedDevicesChanged, {}, false});
    }
    if (w.outcome.kind != Kind::Established) return std::move(w.outcome);
    const std::uint64_t id = registerSession(lock, *w.outcome.established);
    // Removed (or paired again with another key) while the save was under
    // way: the session ends as the removal would have ended it.
    const auto now = state.store.paired_client(w.view.pairing()->clientId);
    if (!now || now->ed25519PublicKey != w.view.pairing()->key) {
        if (auto it = state.sessions.find(id); it != state.sessions.end() && it->second.sender)
            it->second.sender->send(host::SessionMessage{host::SessionMessage::Kind::RemovedByUser, 0, {}});
    }
    return std::move(w.outcome);
}

HandshakeOutcome handshake_frame(HostState& state, protocol::HandshakeState& hs, const protocol::HostAddresses& net,
                                 const IpAddress& peer, std::uint8_t type, ByteView body,
                                 const RegisterSession& registerSession, const protocol::RandomSource& random) {
    return commit_handshake(prepare_handshake(state, hs, net, peer, type, body, random), registerSession);
}

}  // namespace hp::commands
