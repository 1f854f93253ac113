#include "platform/posix/posix_system.h"

namespace hp::platform {

namespace {

// Linux has no secure attention sequence that a program could generate for
// the user and no policy to read: no one can send it.
class PosixSasSystem final : public SasSystem {
public:
    std::optional<std::uint32_t> readPolicy() override { return std::nullopt; }
    SasSender sender() override { return SasSender::None; }
    bool sendSas(SasSender) override { return false; }
};

}  // namespace

std::shared_ptr<SasSystem> make_posix_sas_system() { return std::make_shared<PosixSasSystem>(); }

}  // namespace hp::platform
