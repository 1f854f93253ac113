// Linux has no consent prompt to ask: nothing is run elevated.
#include <memory>

#include "platform/elevation.h"

namespace hp::platform {

namespace {

class NoElevation final : public ElevatedRunner {
public:
    Result<ElevatedOutcome> run_elevated_and_wait(const std::string&, const std::vector<std::string>&,
                                                  std::uintptr_t) override {
        return fail("not available on this system");
    }
};

}  // namespace

std::shared_ptr<ElevatedRunner> make_elevated_runner() { return std::make_shared<NoElevation>(); }

}  // namespace hp::platform
