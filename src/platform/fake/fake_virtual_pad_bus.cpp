#include "platform/fake/fake_virtual_pad_bus.h"

namespace hp::fake {

struct FakeVirtualPadBus::State {
    mutable std::mutex mutex;
    bool present = true;
    std::set<std::uint32_t> refusedSerials;
    std::map<std::uint32_t, std::uint32_t> failures;  // code → error
    std::vector<PadRequest> requests;
    int openDevices = 0;

    platform::PadReply handle(std::uint32_t code, ByteView input) {
        std::lock_guard lock(mutex);
        requests.push_back({code, Bytes(input.begin(), input.end())});
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
    platform::PadReply request(std::uint32_t code, ByteView input, std::size_t outputSize) override {
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
    const platform::PadReply reply = device->request(probeCode, probeInput, 0);
    if (!reply.ok()) return fail("ViGEmBus refused the version check (error " + std::to_string(reply.error) + ")");
    return device;
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
