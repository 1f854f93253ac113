#include "vigem/client.h"

#include "vigem/records.h"

namespace hp::vigem {

namespace {

class AbsentBus final : public platform::VirtualPadBus {
public:
    Result<std::unique_ptr<platform::VirtualPadDevice>> open(std::uint32_t, ByteView) override {
        return fail("ViGEmBus is not installed");
    }
};

}  // namespace

std::shared_ptr<platform::VirtualPadBus> absent_bus() { return std::make_shared<AbsentBus>(); }


Result<std::unique_ptr<platform::VirtualPadDevice>> openDevice(platform::VirtualPadBus& bus) {
    const auto record = check_version_record();
    return bus.open(kCheckVersion, record);
}

bool probe(platform::VirtualPadBus& bus) { return openDevice(bus).has_value(); }

std::shared_ptr<VirtualPad> VirtualPad::plugIn(platform::VirtualPadBus& bus) {
    auto device = openDevice(bus);
    if (!device) return nullptr;
    auto pad = std::make_shared<VirtualPad>(Passkey{}, std::move(*device));
    // No other thread knows the pad yet, so its lock is not needed here.
    for (std::uint32_t serial = kFirstSerial; serial <= kLastSerial; ++serial) {
        const auto record = plug_in_record(serial);
        if (pad->device_->request(kPlugInTarget, record, 0, platform::kPadRequestBound).ok()) {
            pad->serial_ = serial;
            break;
        }
    }
    if (pad->serial_ == 0) return nullptr;
    const auto wait = wait_until_ready_record(pad->serial_);
    const platform::PadReply ready = pad->device_->request(kWaitUntilReady, wait, 0, kReadyBound);
    if (!ready.ok() && ready.error != kErrorInvalidParameter) return nullptr;  // unplugged by the destructor
    return pad;
}

VirtualPad::VirtualPad(Passkey, std::unique_ptr<platform::VirtualPadDevice> device) : device_(std::move(device)) {}

VirtualPad::~VirtualPad() {
    if (serial_ != 0) {
        const auto record = unplug_record(serial_);
        if (device_->request(kUnplugTarget, record, 0, platform::kPadRequestBound).ok()) serial_ = 0;
    }
    // device_ closes the device and its event.
}

void VirtualPad::submit(const PadState& state) {
    std::lock_guard lock(mutex_);
    if (serial_ == 0) return;
    const auto record = submit_record(serial_, to_report(state));
    device_->request(kSubmitXbox360Report, record, 0, platform::kPadRequestBound);
}

void VirtualPad::submit(const PadState& state, std::uint64_t order) {
    std::lock_guard lock(mutex_);
    if (serial_ == 0 || order < sent_) return;
    sent_ = order;
    const auto record = submit_record(serial_, to_report(state));
    device_->request(kSubmitXbox360Report, record, 0, platform::kPadRequestBound);
}

std::uint32_t VirtualPad::serial() const {
    std::lock_guard lock(mutex_);
    return serial_;
}

}  // namespace hp::vigem
