#include "vigem/pad_holder.h"

#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "vigem/client.h"

namespace hp::vigem {

struct PadHolder::Shared {
    std::shared_ptr<platform::VirtualPadBus> bus;
    LogSink log;

    mutable std::mutex mutex;
    std::shared_ptr<VirtualPad> pad;  // guarded by mutex
    std::atomic<bool> on{false};
    std::atomic<std::uint64_t> generation{0};

    void write(std::string_view text) const {
        if (log) log(text);
    }

    void ensurePlugged() {
        std::lock_guard lock(mutex);
        if (pad || !on.load()) return;
        pad = VirtualPad::plugIn(*bus);
        write(pad ? "plugged in" : "plug-in failed");
    }

    void unplugIfOff() {
        std::lock_guard lock(mutex);
        if (on.load() || !pad) return;
        pad.reset();
        write("unplugged");
    }

    std::shared_ptr<VirtualPad> padForReport(bool plugOnDemand) {
        std::lock_guard lock(mutex);
        if (plugOnDemand && !pad && on.load()) {
            pad = VirtualPad::plugIn(*bus);
            write(pad ? "plugged in (on demand)" : "plug-in failed (on demand)");
        }
        return pad;
    }
};

namespace {

class ThreadScheduler final : public Scheduler {
public:
    void runAfter(std::chrono::milliseconds delay, std::function<void()> work) override {
        try {
            std::thread([delay, work]() {
                if (delay.count() > 0) std::this_thread::sleep_for(delay);
                work();
            }).detach();
        } catch (const std::system_error&) {
            if (delay.count() <= 0) work();
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
}

void PadHolder::setSwitch(bool on, bool clientGone) {
    const std::uint64_t generation = shared_->generation.fetch_add(1) + 1;
    shared_->on.store(on);
    if (lines_ == SwitchLines::Write) shared_->write(on ? "switch on" : "switch off");
    // The work keeps the shared state alive on its own; the scheduler is not
    // part of that state, so work left pending never keeps the state alive
    // through the scheduler.
    std::shared_ptr<Shared> s = shared_;
    if (on) {
        scheduler_->runAfter(std::chrono::milliseconds(0), [s] { s->ensurePlugged(); });
    } else if (clientGone) {
        scheduler_->runAfter(grace_, [s, generation] {
            if (s->generation.load() == generation) s->unplugIfOff();
        });
    } else {
        scheduler_->runAfter(std::chrono::milliseconds(0), [s] { s->unplugIfOff(); });
    }
}

void PadHolder::ensurePlugged() { shared_->ensurePlugged(); }

void PadHolder::unplugIfOff() { shared_->unplugIfOff(); }

void PadHolder::submit(const PadState& state) {
    if (auto pad = shared_->padForReport(true)) pad->submit(state);
}

void PadHolder::neutral() {
    if (auto pad = shared_->padForReport(false)) pad->submit(PadState{});
}

bool PadHolder::switchOn() const { return shared_->on.load(); }

std::uint64_t PadHolder::generation() const { return shared_->generation.load(); }

bool PadHolder::plugged() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->pad != nullptr;
}

}  // namespace hp::vigem
