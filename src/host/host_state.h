#pragma once
// The shared host record: one mutex guards everything in it. Events and
// controller-log lines raised under the lock are queued and handed on after
// unlocking (HostLock).
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/bytes.h"
#include "base/ip_address.h"
#include "crypto/crypto.h"
#include "host/input_state.h"
#include "host/peer_set.h"
#include "platform/platform_services.h"
#include "platform/sas_system.h"
#include "protocol/handshake.h"
#include "store/data_dir.h"
#include "store/identity.h"
#include "store/paired_store.h"

namespace hp::host {

enum class HostEventKind {
    DevicePaired,
    PairingCodeRevoked,
    SessionOpened,
    SessionClosed,
    ControllerSwitched,
    PairedDevicesChanged,
};

struct HostEvent {
    HostEventKind kind{};
    std::string deviceName;     // DevicePaired, SessionOpened/Closed, ControllerSwitched
    bool controllerOn = false;  // ControllerSwitched
    friend bool operator==(const HostEvent&, const HostEvent&) = default;
};

const char* host_event_name(HostEventKind kind);

using EventSink = std::function<void(const HostEvent&)>;

struct SessionMessage {
    enum class Kind { SendFrame, RemovedByUser, End };
    Kind kind = Kind::End;
    std::uint8_t type = 0;  // SendFrame
    Bytes body;             // SendFrame
};

// The sending side of a session's unbounded channel. send never blocks and
// returns false once the session has gone.
class SessionSender {
public:
    virtual ~SessionSender() = default;
    virtual bool send(SessionMessage message) = 0;
};

class Locked;

struct SessionEntry {
    std::uint64_t id = 0;
    std::string clientId;
    std::string deviceName;
    IpAddress peer;
    crypto::SessionKey key;
    std::shared_ptr<SessionSender> sender;
    bool controllerEnabled = false;
    InputSequences replay;
};

struct HostState {
    std::mutex mutex;
    // Taken by HostLock while `mutex` is still held and kept while queued log
    // lines are written and deferred work is started, so both happen in the
    // order they were queued even when several threads unlock at once.
    // Always taken after `mutex`, never before it.
    std::mutex logOrder;

    store::HostIdentity identity;
    protocol::HostInfo info;
    protocol::PairingSlot pairing;
    store::PairedDeviceStore store;

    InputState input;
    std::unordered_map<std::uint64_t, SessionEntry> sessions;
    std::uint64_t nextSessionId = 1;
    // The peers of `sessions`, readable without this record's lock.
    PeerSet sessionPeers;

    std::vector<HostEvent> pendingEvents;
    std::vector<store::LogLine> pendingLog;
    // Work to start after the lock is released and the queued log lines are
    // written (for example background controller work that logs itself);
    // short, and never taking the state's lock.
    std::vector<std::function<void()>> deferred;

    std::shared_ptr<platform::PlatformServices> platform;
    std::shared_ptr<PadOutput> pad = std::make_shared<PadOutput>();
    std::shared_ptr<platform::SasSystem> sas;            // Ctrl+Alt+Del checks
    std::shared_ptr<const store::ControllerLog> controllerLog;  // written after unlocking
    EventSink eventSink;                                  // never called under the lock

    // The stale-input watchdog sleeps while nothing is held; the first lock
    // release that finds something held wakes it (HostLock calls it before
    // releasing the mutex, so it must only post).
    bool watchdogAsleep = false;
    std::function<void()> wakeWatchdog;

    // The handshake's view of this record, for as long as the lock is held.
    protocol::HandshakeHost handshake_host(const Locked&) { return {identity, info, pairing, store}; }

    // Queues a controller-log line stamped now; it is written after unlocking.
    void log(std::string text) {
        if (controllerLog) pendingLog.push_back(controllerLog->line(std::move(text)));
    }
};

// Proof that the HostState lock is held. A function that must run under the
// lock takes `const Locked&` and reaches the state through it, so the need
// shows in its signature and a caller without the lock does not compile.
// Made only from the std::unique_lock that holds this state's mutex (a
// HostLock passes for one); not copyable, so it stays in the scope that
// holds the lock.
class Locked {
public:
    Locked(HostState& state, const std::unique_lock<std::mutex>& held) : state_(state) {
        // Another mutex, or one not held, is a programming error.
        if (held.mutex() != &state.mutex || !held.owns_lock()) std::abort();
    }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

    HostState& state() const { return state_; }
    HostState& operator*() const { return state_; }
    HostState* operator->() const { return &state_; }

private:
    HostState& state_;
};

// Holds the HostState lock. On unlock (or destruction) it releases the mutex,
// then writes the queued log lines in the order they were queued, starts the
// deferred work, and hands the queued events to the sink. Nothing of that
// runs with the state's mutex held, and a hot path with nothing queued costs
// nothing more than the unlock.
class HostLock {
public:
    explicit HostLock(HostState& state) : state_(state), lock_(state.mutex), locked_(state, lock_) {}
    ~HostLock() { unlock(); }
    HostLock(const HostLock&) = delete;
    HostLock& operator=(const HostLock&) = delete;

    void unlock();
    void lock() { lock_.lock(); }

    HostState& operator*() { return state_; }
    HostState* operator->() { return &state_; }

    // The token for functions that need the lock.
    operator const Locked&() const { return locked_; }
    const Locked& locked() const { return locked_; }

private:
    HostState& state_;
    std::unique_lock<std::mutex> lock_;
    Locked locked_;
};

}  // namespace hp::host
