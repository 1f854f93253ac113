#pragma once
// The shared host record: one mutex guards everything in it. Events raised
// under the lock are queued and delivered after unlocking (HostLock).
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/bytes.h"
#include "common/ip_address.h"
#include "crypto/crypto.h"
#include "input/input_state.h"
#include "main/identity.h"
#include "platform/platform_services.h"
#include "platform/sas_system.h"
#include "store/paired_store.h"

namespace hp {

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

struct SessionEntry {
    std::uint64_t id = 0;
    std::string clientId;
    std::string deviceName;
    IpAddress peer;
    crypto::Key32 key{};
    std::shared_ptr<SessionSender> sender;
    bool controllerEnabled = false;
    ReplayWindow replay;
};

// The active pairing code and its failure count.
struct PairingSlot {
    std::optional<std::string> code;
    std::uint8_t failures = 0;
};

struct HostState {
    std::mutex mutex;

    HostIdentity identity;
    std::string hostName;
    std::uint16_t tcpPort = 0;
    std::uint16_t udpPort = 0;
    std::string deviceType = "desktop";  // queried once at start-up

    PairingSlot pairing;
    PairedDeviceStore store;

    InputState input;
    std::unordered_map<std::uint64_t, SessionEntry> sessions;
    std::uint64_t nextSessionId = 1;

    std::vector<HostEvent> pendingEvents;

    std::shared_ptr<PlatformServices> platform;
    std::shared_ptr<PadOutput> pad = std::make_shared<PadOutput>();
    std::shared_ptr<platform::SasSystem> sas;  // Ctrl+Alt+Del checks
    std::function<void(bool on)> controllerSwitchHook;  // writes the controller log
    std::function<void(const HostEvent&)> eventSink;     // never called under the lock
};

// Holds the HostState lock; on unlock (or destruction) takes the queued
// events and hands them to the sink after the mutex is released.
class HostLock {
public:
    explicit HostLock(HostState& state) : state_(state), lock_(state.mutex) {}
    ~HostLock() { unlock(); }
    HostLock(const HostLock&) = delete;
    HostLock& operator=(const HostLock&) = delete;

    void unlock() {
        if (!lock_.owns_lock()) return;
        std::vector<HostEvent> events;
        events.swap(state_.pendingEvents);
        auto sink = state_.eventSink;
        lock_.unlock();
        if (sink)
            for (const auto& e : events) sink(e);
    }
    void lock() { lock_.lock(); }

    HostState& operator*() { return state_; }
    HostState* operator->() { return &state_; }

private:
    HostState& state_;
    std::unique_lock<std::mutex> lock_;
};

}  // namespace hp
