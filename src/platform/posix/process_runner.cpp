#include "platform/process_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <optional>
#include <thread>
#include <utility>

extern char** environ;

namespace hp::platform {

namespace {

using SteadyClock = std::chrono::steady_clock;

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
    Fd& operator=(Fd&& o) noexcept {
        if (this != &o) {
            reset();
            fd_ = std::exchange(o.fd_, -1);
        }
        return *this;
    }
    ~Fd() { reset(); }
    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

struct Pipe {
    Fd read, write;
};

Result<Pipe> make_pipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return fail(std::strerror(errno));
    return Pipe{Fd(fds[0]), Fd(fds[1])};
}

class SpawnActions {
public:
    SpawnActions() { ok_ = posix_spawn_file_actions_init(&actions_) == 0; }
    ~SpawnActions() {
        if (ok_) posix_spawn_file_actions_destroy(&actions_);
    }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    bool ok() const { return ok_; }
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_{};
    bool ok_ = false;
};

class SpawnAttributes {
public:
    SpawnAttributes() {
        init_ = posix_spawnattr_init(&attr_) == 0;
        if (!init_) return;
        // The program starts with no blocked signals and default handlers,
        // whatever this thread blocks or this process ignores (SIGPIPE).
        sigset_t none, all;
        sigemptyset(&none);
        sigfillset(&all);
        ok_ = posix_spawnattr_setsigmask(&attr_, &none) == 0 && posix_spawnattr_setsigdefault(&attr_, &all) == 0 &&
              posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
    }
    ~SpawnAttributes() {
        if (init_) posix_spawnattr_destroy(&attr_);
    }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    bool ok() const { return ok_; }
    const posix_spawnattr_t* get() const { return &attr_; }

private:
    posix_spawnattr_t attr_{};
    bool init_ = false;
    bool ok_ = false;
};

// Reaps the child, waiting at most until `deadline`; kills it past that.
// Returns the wait status, or nothing when the child had to be killed.
std::optional<int> reap(pid_t pid, SteadyClock::time_point deadline) {
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) return status;
        if (r < 0 && errno != EINTR) return std::nullopt;
        if (SteadyClock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

class PosixProcessRunner final : public ProcessRunner {
public:
    Result<ProcessOutcome> run(const ProcessRequest& request) override {
        const auto deadline = SteadyClock::now() + request.timeLimit;
        auto out = make_pipe();
        if (!out) return std::unexpected(out.error());
        auto err = make_pipe();
        if (!err) return std::unexpected(err.error());

        SpawnActions actions;
        SpawnAttributes attributes;
        if (!actions.ok() || !attributes.ok()) return fail("cannot prepare the program's start");
        // Empty standard input; the two pipes as standard output and error.
        // Every other descriptor of this process is close-on-exec or stays
        // behind in any case.
        if (posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0) != 0 ||
            posix_spawn_file_actions_adddup2(actions.get(), out->write.get(), 1) != 0 ||
            posix_spawn_file_actions_adddup2(actions.get(), err->write.get(), 2) != 0)
            return fail("cannot prepare the program's start");

        std::vector<std::string> storage;
        storage.reserve(request.args.size() + 1);
        storage.push_back(request.program);
        storage.insert(storage.end(), request.args.begin(), request.args.end());
        std::vector<char*> argv;
        for (auto& s : storage) argv.push_back(s.data());
        argv.push_back(nullptr);

        pid_t pid = 0;
        const int rc = ::posix_spawnp(&pid, request.program.c_str(), actions.get(), attributes.get(),
                                      argv.data(), environ);
        if (rc != 0) return fail(request.program + ": " + std::strerror(rc));
        out->write.reset();
        err->write.reset();

        ProcessOutcome outcome;
        bool timed_out = !drain(*out, *err, request.outputLimit, deadline, outcome);
        if (timed_out) ::kill(pid, SIGKILL);
        const auto status = reap(pid, timed_out ? SteadyClock::now() : deadline);
        if (timed_out || !status) return fail(request.program + ": time limit reached");
        if (WIFEXITED(*status))
            outcome.exitCode = WEXITSTATUS(*status);
        else
            outcome.exitCode = 128 + (WIFSIGNALED(*status) ? WTERMSIG(*status) : 0);
        return outcome;
    }

    // A full path is there only when it names a program this process may
    // run; a bare name is left to posix_spawnp's search.
    std::optional<std::string> locate(const ProcessRequest& request) override {
        if (request.program.find('/') == std::string::npos) return request.program;
        if (::access(request.program.c_str(), X_OK) != 0) return std::nullopt;
        return request.program;
    }

private:
    // Reads both pipes until the program closes them. False when the
    // deadline came first.
    static bool drain(Pipe& out, Pipe& err, std::size_t limit, SteadyClock::time_point deadline,
                      ProcessOutcome& outcome) {
        bool out_open = true, err_open = true;
        std::array<char, 16384> chunk{};
        while (out_open || err_open) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - SteadyClock::now());
            if (left.count() <= 0) return false;
            std::array<pollfd, 2> fds{pollfd{out_open ? out.read.get() : -1, POLLIN, 0},
                                      pollfd{err_open ? err.read.get() : -1, POLLIN, 0}};
            const int n = ::poll(fds.data(), fds.size(), static_cast<int>(left.count()));
            if (n < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            for (std::size_t i = 0; i < fds.size(); ++i) {
                if (fds[i].fd < 0 || fds[i].revents == 0) continue;
                const ssize_t got = ::read(fds[i].fd, chunk.data(), chunk.size());
                if (got < 0 && errno == EINTR) continue;
                if (got <= 0) {
                    (i == 0 ? out_open : err_open) = false;
                    continue;
                }
                if (i != 0) continue;  // standard error is dropped
                const auto room = limit - std::min(limit, outcome.output.size());
                const auto keep = std::min(room, static_cast<std::size_t>(got));
                outcome.output.append(chunk.data(), keep);
                if (keep < static_cast<std::size_t>(got)) outcome.truncated = true;
            }
        }
        return true;
    }
};

}  // namespace

std::shared_ptr<ProcessRunner> make_process_runner() {
    return std::make_shared<PosixProcessRunner>();
}

}  // namespace hp::platform
