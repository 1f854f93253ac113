#pragma once
// Running a helper program and collecting what it prints: the program is
// found on the search path (on Windows the running program's own directory
// comes first), gets an empty standard input and no console window, and is
// ended when it outlives its time limit.
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "base/result.h"

namespace hp::platform {

struct ProcessRequest {
    std::string program;             // a bare name, looked up as above, or a full path
    std::vector<std::string> args;   // without the program name
    std::chrono::milliseconds timeLimit{10000};
    std::size_t outputLimit = 8u << 20;  // bytes of standard output kept
};

struct ProcessOutcome {
    int exitCode = -1;
    std::string output;      // standard output (standard error is read and dropped)
    bool truncated = false;  // the output went past outputLimit
};

class ProcessRunner {
public:
    virtual ~ProcessRunner() = default;
    // Blocks until the program has ended. Fails when it cannot be started or
    // is ended for running past its time limit.
    virtual Result<ProcessOutcome> run(const ProcessRequest& request) = 0;
};

std::shared_ptr<ProcessRunner> make_process_runner();

}  // namespace hp::platform
