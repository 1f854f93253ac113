#include "platform/posix/posix_system.h"

#include <unistd.h>

namespace hp::platform {

namespace {

// Linux has no secure attention sequence to generate and no policy to read:
// the routine always ends with the policy outcome, and the elevation test
// stands in as "running as root".
class PosixSasSystem final : public SasSystem {
public:
    std::optional<std::uint32_t> readPolicy() override { return std::nullopt; }
    bool isElevated() override { return ::geteuid() == 0; }
    bool sendSas() override { return false; }
};

}  // namespace

std::shared_ptr<SasSystem> make_posix_sas_system() { return std::make_shared<PosixSasSystem>(); }

}  // namespace hp::platform
