#include "processes.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace hp::e2e_client {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// fork + exec with the given descriptors as 0, 1 and 2 (-1: /dev/null).
pid_t spawn(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env, int in, int out,
            int err) {
    std::vector<std::string> envStrings;
    std::map<std::string, std::string> merged;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        const auto eq = entry.find('=');
        if (eq != std::string::npos) merged[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const auto& [k, v] : env) merged[k] = v;
    for (const auto& [k, v] : merged) envStrings.push_back(k + "=" + v);
    std::vector<char*> envp, args;
    for (auto& e : envStrings) envp.push_back(e.data());
    envp.push_back(nullptr);
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    const pid_t pid = fork();
    if (pid != 0) return pid;
    setpgid(0, 0);
    const int devnull = open("/dev/null", O_RDWR);
    dup2(in >= 0 ? in : devnull, 0);
    dup2(out >= 0 ? out : devnull, 1);
    dup2(err >= 0 ? err : devnull, 2);
    execvpe(args[0], args.data(), envp.data());
    _exit(127);
}

std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool on_path(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "");
    std::string dir;
    while (std::getline(dirs, dir, ':'))
        if (!dir.empty() && access((dir + "/" + program).c_str(), X_OK) == 0) return true;
    return false;
}

}  // namespace

// --- NetNamespace ----------------------------------------------------------------

NetNamespace::NetNamespace() {
    if (!on_path("unshare") || !on_path("nsenter") || !on_path("ip")) {
        why_ = "unshare, nsenter or ip is missing";
        return;
    }
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    const std::string script = std::string("ip link set lo up && ip addr add ") + kAddress +
                               "/32 dev lo && echo ready && exec sleep 3600";
    const pid_t pid = spawn({"unshare", "-rn", "sh", "-c", script}, {}, -1, fds[1], fds[1]);
    close(fds[1]);
    std::string said;
    const auto until = Clock::now() + 10s;
    while (Clock::now() < until && said.find('\n') == std::string::npos) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, 200) <= 0) continue;
        char buf[256];
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n <= 0) break;
        said.append(buf, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    if (said.rfind("ready", 0) == 0) {
        holder_ = pid;
        return;
    }
    why_ = "unshare -rn failed: " + said.substr(0, said.find('\n'));
    ::kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

NetNamespace::~NetNamespace() {
    if (holder_ > 0) {
        ::kill(holder_, SIGKILL);
        waitpid(holder_, nullptr, 0);
    }
}

std::vector<std::string> NetNamespace::wrap(std::vector<std::string> argv) const {
    if (holder_ <= 0) return argv;
    std::vector<std::string> out{"nsenter", "--preserve-credentials", "-U", "-n", "-t", std::to_string(holder_), "--"};
    out.insert(out.end(), argv.begin(), argv.end());
    return out;
}

// --- Process ---------------------------------------------------------------------

Process::Process(const Options& o) {
    int in[2] = {-1, -1}, out[2] = {-1, -1};
    if (o.input && pipe2(in, O_CLOEXEC) != 0) return;
    int sink = -1;
    if (o.output.empty()) {
        if (pipe2(out, O_CLOEXEC) != 0) return;
        sink = out[1];
    } else {
        sink = open(o.output.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    }
    pid_ = spawn(o.argv, o.env, in[0], sink, sink);
    if (in[0] >= 0) close(in[0]);
    if (sink >= 0) close(sink);
    to_ = in[1];
    from_ = out[0];
}

Process::~Process() {
    if (to_ >= 0) close(to_);
    kill();
    if (from_ >= 0) close(from_);
}

void Process::send(const std::string& line) {
    const std::string l = line + "\n";
    if (to_ >= 0) (void)!write(to_, l.data(), l.size());
}

std::optional<std::string> Process::line(const std::string& prefix, std::chrono::milliseconds timeout) {
    const auto until = Clock::now() + timeout;
    for (;;) {
        std::size_t nl;
        while ((nl = buffer_.find('\n')) != std::string::npos) {
            std::string l = buffer_.substr(0, nl);
            buffer_.erase(0, nl + 1);
            seen_.push_back(l);
            if (l.rfind(prefix, 0) == 0) return l;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        if (left.count() <= 0 || from_ < 0) return std::nullopt;
        pollfd p{from_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return std::nullopt;
        char buf[4096];
        const ssize_t n = read(from_, buf, sizeof buf);
        if (n <= 0) return std::nullopt;
        buffer_.append(buf, static_cast<std::size_t>(n));
    }
}

std::optional<int> Process::wait(std::chrono::milliseconds timeout) {
    if (status_ || pid_ <= 0) return status_;
    const auto until = Clock::now() + timeout;
    for (;;) {
        int raw = 0;
        if (waitpid(pid_, &raw, WNOHANG) == pid_) {
            status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            return status_;
        }
        if (Clock::now() >= until) return std::nullopt;
        std::this_thread::sleep_for(20ms);
    }
}

void Process::kill() {
    if (pid_ <= 0 || status_) return;
    ::kill(-pid_, SIGKILL);
    ::kill(pid_, SIGKILL);
    int raw = 0;
    waitpid(pid_, &raw, 0);
    status_ = 128 + SIGKILL;
}

ClientRun run_to_end(const std::vector<std::string>& argv, const fs::path& scratch, std::chrono::milliseconds timeout) {
    fs::create_directories(scratch);
    const fs::path out = scratch / "client.out", err = scratch / "client.err";
    ClientRun run;
    {
        const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const pid_t pid = spawn(argv, {}, -1, o, e);
        close(o);
        close(e);
        const auto until = Clock::now() + timeout;
        for (;;) {
            int raw = 0;
            if (waitpid(pid, &raw, WNOHANG) == pid) {
                run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
                break;
            }
            if (Clock::now() >= until) {
                ::kill(-pid, SIGKILL);
                ::kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
                break;
            }
            std::this_thread::sleep_for(20ms);
        }
    }
    run.out = read_file(out);
    run.err = read_file(err);
    return run;
}

}  // namespace hp::e2e_client
