#include "host/host_state.h"

namespace hp::host {

void HostLock::unlock() {
    if (!lock_.owns_lock()) return;
    if (state_.watchdogAsleep && state_.input.holding()) {
        state_.watchdogAsleep = false;
        if (state_.wakeWatchdog) state_.wakeWatchdog();
    }
    if (state_.pendingEvents.empty() && state_.pendingLog.empty() && state_.deferred.empty()) {
        lock_.unlock();
        return;
    }
    std::vector<HostEvent> events;
    events.swap(state_.pendingEvents);
    std::vector<store::LogLine> lines;
    lines.swap(state_.pendingLog);
    std::vector<std::function<void()>> deferred;
    deferred.swap(state_.deferred);
    EventSink sink = events.empty() ? EventSink() : state_.eventSink;
    std::shared_ptr<const store::ControllerLog> log = lines.empty() ? nullptr : state_.controllerLog;
    std::unique_lock<std::mutex> order;
    if (log || !deferred.empty()) order = std::unique_lock(state_.logOrder);
    lock_.unlock();

    if (log)
        for (const auto& line : lines) log->write(line);
    for (auto& work : deferred) work();
    if (order.owns_lock()) order.unlock();
    if (sink)
        for (const auto& e : events) sink(e);
}

const char* host_event_name(HostEventKind kind) {
    switch (kind) {
        case HostEventKind::DevicePaired: return "DevicePaired";
        case HostEventKind::PairingCodeRevoked: return "PairingCodeRevoked";
        case HostEventKind::SessionOpened: return "SessionOpened";
        case HostEventKind::SessionClosed: return "SessionClosed";
        case HostEventKind::ControllerSwitched: return "ControllerSwitched";
        case HostEventKind::PairedDevicesChanged: return "PairedDevicesChanged";
    }
    return "Unknown";
}

}  // namespace hp::host
