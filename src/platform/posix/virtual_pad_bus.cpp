// Linux has no ViGEmBus: the bus never opens, so the host runs with the
// keyboard/mouse mapping only.
#include "platform/posix/posix_system.h"

namespace hp::platform {

namespace {

class NoDriverBus final : public VirtualPadBus {
public:
    Result<std::unique_ptr<VirtualPadDevice>> open(std::uint32_t, ByteView) override {
        return fail("ViGEmBus is not installed");
    }
};

}  // namespace

std::shared_ptr<VirtualPadBus> make_virtual_pad_bus() { return std::make_shared<NoDriverBus>(); }

}  // namespace hp::platform
