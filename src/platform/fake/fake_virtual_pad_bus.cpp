#include "platform/fake/fake_virtual_pad_bus.h"

#include <condition_variable>

namespace hp::fake {

struct FakeVirtualPadBus::State {
    mutable std::mutex mutex;
    bool present = true;
    std::set<std::uint32_t> refusedSerials;
    std::map<std::uint32_t, std::uint32_t> failures;  // code → error
    std::vector<PadRequest> requests;
    int openDevices = 0;
    std::set<std::uint32_t> heldCodes;
    std::map<std::uint32_t, int> holding;  // code → requests waiting
    mutable std::condition_variable changed;

    platform::PadReply handle(std::uint32_t code, ByteView input) {
        std::unique_lock lock(mutex);
        requests.push_back({code, Bytes(input.begin(), input.end())});
        if (heldCodes.contains(code)) {
            ++holding[code];
            changed.notify_all();
            changed.wait(lock, [&] { return !heldCodes.contains(code); });
            --holding[code];
        }
        if (auto it = failures.find(code); it != failures.end()) return {it->second, {}};
        if (code == kPlugInCode && input.size() >= 8 && refusedSerials.contains(get_u32le(input.data() + 4)))
            return {kSerialTaken, {}};
        return {};
    }
};

namespace {

class FakeDevice final : public platform::VirtualPadDevice {
public:
    explicit FakeDevice(std::shared_ptr<FakeVirtualPadBus::State> state) : state_(std::move(state)) {
        std::lock_guard lock(state_->mutex);
        ++state_->openDevices;
    }
    ~FakeDevice() override {
        std::lock_guard lock(state_->mutex);
        --state_->openDevices;
    }
    platform::PadReply request(std::uint32_t code, ByteView input, std::size_t outputSize,
                               std::chrono::milliseconds) override {
        platform::PadReply reply = state_->handle(code, input);
        if (reply.ok()) reply.output.assign(outputSize, 0);
        return reply;
    }

private:
    std::shared_ptr<FakeVirtualPadBus::State> state_;
};

}  // namespace

FakeVirtualPadBus::FakeVirtualPadBus() : state_(std::make_shared<State>()) {}

void FakeVirtualPadBus::setPresent(bool present) {
    std::lock_guard lock(state_->mutex);
    state_->present = present;
}

void FakeVirtualPadBus::refuseSerial(std::uint32_t serial) {
    std::lock_guard lock(state_->mutex);
    state_->refusedSerials.insert(serial);
}

void FakeVirtualPadBus::failRequest(std::uint32_t code, std::uint32_t error) {
    std::lock_guard lock(state_->mutex);
    state_->failures[code] = error;
}

Result<std::unique_ptr<platform::VirtualPadDevice>> FakeVirtualPadBus::open(std::uint32_t probeCode,
                                                                             ByteView probeInput) {
    {
        std::lock_guard lock(state_->mutex);
        if (!state_->present) return fail("ViGEmBus is not installed");
    }
    auto device = std::make_unique<FakeDevice>(state_);
    const platform::PadReply reply = device->request(probeCode, probeInput, 0, platform::kPadRequestBound);
    if (!reply.ok()) return fail("ViGEmBus refused the version check (error " + std::to_string(reply.error) + ")");
    return device;
}

void FakeVirtualPadBus::holdRequests(std::uint32_t code) {
    std::lock_guard lock(state_->mutex);
    state_->heldCodes.insert(code);
}

void FakeVirtualPadBus::releaseRequests(std::uint32_t code) {
    std::lock_guard lock(state_->mutex);
    state_->heldCodes.erase(code);
    state_->changed.notify_all();
}

bool FakeVirtualPadBus::waitHeld(std::uint32_t code, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_for(lock, timeout, [&] {
        const auto it = state_->holding.find(code);
        return it != state_->holding.end() && it->second > 0;
    });
}

std::vector<PadRequest> FakeVirtualPadBus::requests() const {
    std::lock_guard lock(state_->mutex);
    return state_->requests;
}

void FakeVirtualPadBus::clearRequests() {
    std::lock_guard lock(state_->mutex);
    state_->requests.clear();
}

int FakeVirtualPadBus::openDevices() const {
    std::lock_guard lock(state_->mutex);
    return state_->openDevices;
}

}  // namespace hp::fake
