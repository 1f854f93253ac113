#pragma once
// Running a program with administrator rights and waiting for it: on Windows
// the shell asks the user (ShellExecuteExW "runas"), and the answer may be no.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/result.h"

namespace hp::platform {

struct ElevatedOutcome {
    bool declined = false;       // the user said no (ERROR_CANCELLED); exitCode means nothing then
    std::uint32_t exitCode = 0;  // the program's exit code
};

class ElevatedRunner {
public:
    virtual ~ElevatedRunner() = default;
    // Blocks until the elevated program has ended; never call it on a thread
    // that owns windows. `owner` is the window the consent prompt belongs
    // to (an HWND; 0 for none). Fails when the program could not be started
    // for any other reason than the user's no.
    virtual Result<ElevatedOutcome> run_elevated_and_wait(const std::string& program,
                                                          const std::vector<std::string>& args,
                                                          std::uintptr_t owner) = 0;
};

std::shared_ptr<ElevatedRunner> make_elevated_runner();

}  // namespace hp::platform
