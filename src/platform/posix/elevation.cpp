// Running a program as root on Linux: pkexec asks the desktop's polkit
// authentication agent, which asks the user for an administrator's
// password, then runs the program and exits with its exit code.
#include <memory>

#include "platform/posix/posix_system.h"

namespace hp::platform {

namespace {

constexpr const char* kPkexec = "/usr/bin/pkexec";
// pkexec's own exit codes: the user dismissed the authentication dialog
// (126), or permission was not obtained (127: not authorized, the password
// refused, or no authentication agent to ask).
constexpr int kDismissed = 126;
constexpr int kNotAuthorized = 127;

class PkexecRunner final : public ElevatedRunner {
public:
    explicit PkexecRunner(std::shared_ptr<ProcessRunner> runner) : runner_(std::move(runner)) {}

    Result<ElevatedOutcome> run_elevated_and_wait(const std::string& program, const std::vector<std::string>& args,
                                                  std::uintptr_t) override {
        // pkexec runs only programs named by their full path.
        if (program.empty() || program.front() != '/') return fail(program + ": not a full path");
        ProcessRequest request;
        request.program = kPkexec;
        request.args.push_back(program);
        request.args.insert(request.args.end(), args.begin(), args.end());
        // Long enough for a person to type a password.
        request.timeLimit = std::chrono::minutes(10);
        auto outcome = runner_->run(request);
        if (!outcome) return std::unexpected(outcome.error());
        if (outcome->exitCode == kDismissed || outcome->exitCode == kNotAuthorized)
            return ElevatedOutcome{true, static_cast<std::uint32_t>(outcome->exitCode)};
        return ElevatedOutcome{false, static_cast<std::uint32_t>(outcome->exitCode)};
    }

private:
    std::shared_ptr<ProcessRunner> runner_;
};

}  // namespace

std::shared_ptr<ElevatedRunner> make_elevated_runner() { return make_pkexec_runner(make_process_runner()); }

std::shared_ptr<ElevatedRunner> make_pkexec_runner(std::shared_ptr<ProcessRunner> runner) {
    return std::make_shared<PkexecRunner>(std::move(runner));
}

}  // namespace hp::platform
