#pragma once
// Running a helper program and collecting what it prints: the program gets
// an empty standard input and no console window, and is ended when it
// outlives its time limit. A bare name is looked up; on Windows in the
// system directory, then in the request's install folder under Program
// Files, then in PATH's absolute directories, and never in the running
// program's own folder or the current folder, where anyone may have left a
// file of that name for an elevated host to run.
#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/result.h"

namespace hp::platform {

struct ProcessRequest {
    std::string program;             // a bare name, looked up as above, or a full path
    std::vector<std::string> args;   // without the program name
    // Windows: the folder under Program Files where the program's installer
    // puts it ("Tailscale"); empty for programs of the system.
    std::string installFolder;
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
    // The full path run() would start for `request`, found as above; nothing
    // when there is none. A runner that leaves the search to the system (the
    // Linux one: posix_spawnp) or starts nothing (a fake) answers the
    // program as named.
    virtual std::optional<std::string> locate(const ProcessRequest& request) { return request.program; }
};

std::shared_ptr<ProcessRunner> make_process_runner();

}  // namespace hp::platform
