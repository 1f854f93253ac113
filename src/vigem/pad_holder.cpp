#include "vigem/pad_holder.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#include "vigem/client.h"

namespace hp::vigem {

struct PadHolder::Shared {
    std::shared_ptr<platform::VirtualPadBus> bus;
    LogSink log;
    // The scheduler's clock. Held weakly: pending work holds this state, and
    // the scheduler holds pending work.
    std::weak_ptr<Scheduler> clock;

    mutable std::mutex mutex;
    // Guarded by mutex:
    std::shared_ptr<VirtualPad> pad;
    PadState latest;                   // the last state submitted; a new pad starts with it
    std::uint64_t reports = 0;         // numbers the states submitted, so none overtakes a newer one
    bool plugging = false;             // a plug-in is under way (or about to start)
    std::optional<Instant> refusedAt;  // when the last plug-in failed
    // Written by the controller-switch refresh, read by everyone.
    std::atomic<bool> on{false};
    std::atomic<std::uint64_t> generation{0};

    Instant now() const {
        const auto scheduler = clock.lock();
        return scheduler ? scheduler->now() : Clock::now();
    }

    void write(std::string_view text) const {
        if (log) log(text);
    }

    // Takes the plug-in on for the caller: false when a pad is held, the
    // switch is off or another plug-in is under way.
    bool claim() {
        std::lock_guard lock(mutex);
        if (pad || !on.load() || plugging) return false;
        plugging = true;
        return true;
    }

    // The plug-in the caller claimed. It holds no lock while the device
    // works; the ready pad goes in under the lock and gets the latest state.
    void plug(std::string_view pluggedLine, std::string_view failedLine) {
        std::shared_ptr<VirtualPad> fresh = VirtualPad::plugIn(*bus);
        std::shared_ptr<VirtualPad> unwanted;
        PadState first;
        std::uint64_t order = 0;
        {
            std::lock_guard lock(mutex);
            plugging = false;
            if (!fresh) {
                refusedAt = now();
                write(failedLine);
                return;
            }
            refusedAt.reset();
            write(pluggedLine);
            if (on.load()) {
                pad = fresh;
                first = latest;
                order = reports;
            } else {
                unwanted = std::move(fresh);  // switched off while it was being plugged in
            }
        }
        if (unwanted) {
            unwanted.reset();  // unplugs it, outside the lock
            std::lock_guard lock(mutex);
            write("unplugged");
            return;
        }
        // A new target starts neutral; any other state is sent at once.
        if (!first.neutral()) fresh->submit(first, order);
    }

    void ensurePlugged() {
        if (claim()) plug("plugged in", "plug-in failed");
    }

    void unplugIfOff() {
        std::shared_ptr<VirtualPad> old;
        {
            std::lock_guard lock(mutex);
            if (on.load() || !pad) return;
            old = std::move(pad);
        }
        // Unplugging is a device request: made outside the lock (by whoever
        // lets go of the pad last).
        old.reset();
        std::lock_guard lock(mutex);
        write("unplugged");
    }
};

namespace {

class ThreadScheduler final : public Scheduler {
public:
    bool runAfter(std::chrono::milliseconds delay, std::function<void()> work) override {
        try {
            std::thread([delay, work = std::move(work)]() {
                if (delay.count() > 0) std::this_thread::sleep_for(delay);
                work();
            }).detach();
            return true;
        } catch (const std::system_error&) {
            return false;
        }
    }
};

}  // namespace

std::shared_ptr<Scheduler> make_thread_scheduler() { return std::make_shared<ThreadScheduler>(); }

PadHolder::PadHolder(std::shared_ptr<platform::VirtualPadBus> bus, LogSink log, std::shared_ptr<Scheduler> scheduler,
                     std::chrono::milliseconds unplugGrace, SwitchLines lines)
    : shared_(std::make_shared<Shared>()), scheduler_(std::move(scheduler)), grace_(unplugGrace), lines_(lines) {
    shared_->bus = std::move(bus);
    shared_->log = std::move(log);
    shared_->clock = scheduler_;
}

void PadHolder::setSwitch(bool on, bool clientGone) { follow(storeSwitch(on, clientGone)); }

SwitchChange PadHolder::storeSwitch(bool on, bool clientGone) {
    SwitchChange change;
    change.on = on;
    change.clientGone = clientGone;
    change.generation = shared_->generation.fetch_add(1) + 1;
    shared_->on.store(on);
    if (lines_ == SwitchLines::Write) shared_->write(on ? "switch on" : "switch off");
    return change;
}

void PadHolder::follow(const SwitchChange& change) {
    // The work keeps the shared state alive on its own; the scheduler is not
    // part of that state, so work left pending never keeps the state alive
    // through the scheduler.
    std::shared_ptr<Shared> s = shared_;
    if (change.on) {
        // Without a thread the plug-in runs here: follow is never called
        // under a lock that reports need.
        if (!scheduler_->runAfter(std::chrono::milliseconds(0), [s] { s->ensurePlugged(); })) s->ensurePlugged();
    } else if (change.clientGone) {
        scheduler_->runAfter(grace_, [s, generation = change.generation] {
            if (s->generation.load() == generation) s->unplugIfOff();
        });
    } else {
        if (!scheduler_->runAfter(std::chrono::milliseconds(0), [s] { s->unplugIfOff(); })) s->unplugIfOff();
    }
}

void PadHolder::ensurePlugged() { shared_->ensurePlugged(); }

void PadHolder::unplugIfOff() { shared_->unplugIfOff(); }

void PadHolder::submit(const PadState& state) {
    Shared& s = *shared_;
    std::shared_ptr<VirtualPad> pad;
    std::uint64_t order = 0;
    bool start = false;
    {
        std::lock_guard lock(s.mutex);
        s.latest = state;
        order = ++s.reports;
        pad = s.pad;
        if (!pad && s.on.load() && !s.plugging &&
            (!s.refusedAt || scheduler_->now() - *s.refusedAt >= kPlugInRetryGap)) {
            s.plugging = true;
            start = true;
        }
    }
    if (pad) pad->submit(state, order);
    if (!start) return;
    std::shared_ptr<Shared> shared = shared_;
    if (scheduler_->runAfter(std::chrono::milliseconds(0),
                             [shared] { shared->plug("plugged in (on demand)", "plug-in failed (on demand)"); }))
        return;
    // No thread for it: counts as a refused plug-in, never run here (the
    // caller may hold the host's lock).
    std::lock_guard lock(s.mutex);
    s.plugging = false;
    s.refusedAt = scheduler_->now();
    s.write("plug-in failed (on demand)");
}

void PadHolder::neutral() {
    Shared& s = *shared_;
    std::shared_ptr<VirtualPad> pad;
    std::uint64_t order = 0;
    {
        std::lock_guard lock(s.mutex);
        s.latest = PadState{};
        order = ++s.reports;
        pad = s.pad;
    }
    if (pad) pad->submit(PadState{}, order);
}

bool PadHolder::switchOn() const { return shared_->on.load(); }

std::uint64_t PadHolder::generation() const { return shared_->generation.load(); }

bool PadHolder::plugged() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->pad != nullptr;
}

}  // namespace hp::vigem
