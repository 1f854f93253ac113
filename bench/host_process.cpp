#include "host_process.h"

#include <fcntl.h>
#include <sched.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

extern char** environ;

namespace hp::bench {

namespace {

std::string read_text(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// "Name:   value kB" lines of /proc/<pid>/status and its task files.
std::uint64_t status_field(const std::string& status, const std::string& name) {
    const auto at = status.find("\n" + name + ":");
    if (at == std::string::npos) return 0;
    return std::strtoull(status.c_str() + at + name.size() + 2, nullptr, 10);
}

std::uint64_t ticks_to_ns(std::uint64_t ticks) {
    static const long hz = sysconf(_SC_CLK_TCK);
    return ticks * (1000000000ull / static_cast<std::uint64_t>(hz));
}

void write_all(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

bool wait_exit(pid_t pid, std::chrono::milliseconds limit) {
    const auto until = SteadyClock::now() + limit;
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid || (r < 0 && errno == ECHILD)) return true;
        if (SteadyClock::now() >= until) return false;
        std::this_thread::sleep_for(10ms);
    }
}

}  // namespace

std::uint64_t ProcessSample::cpu_ns() const {
    std::uint64_t sum = 0;
    for (const auto& [tid, t] : tasks) sum += t.cpuNs;
    return sum;
}

std::uint64_t ProcessSample::switches() const {
    std::uint64_t sum = 0;
    for (const auto& [tid, t] : tasks) sum += t.switches;
    return sum;
}

ProcessDelta operator-(const ProcessSample& after, const ProcessSample& before) {
    ProcessDelta d;
    d.seconds = std::chrono::duration<double>(after.at - before.at).count();
    d.statCpuNs = after.statCpuNs - std::min(after.statCpuNs, before.statCpuNs);
    for (const auto& [tid, now] : after.tasks) {
        TaskCounters t = now;
        if (auto it = before.tasks.find(tid); it != before.tasks.end()) {
            t.cpuNs -= std::min(t.cpuNs, it->second.cpuNs);
            t.switches -= std::min(t.switches, it->second.switches);
        }
        d.cpuNs += t.cpuNs;
        d.switches += t.switches;
        d.perTask[tid] = t;
    }
    return d;
}

Result<std::unique_ptr<HostProcess>> HostProcess::start(const HostOptions& options) {
    if (::access(options.program.c_str(), X_OK) != 0)
        return fail("cannot run " + options.program + " (build it with the release preset)");
    std::unique_ptr<HostProcess> host(new HostProcess());

    std::string pattern = (std::filesystem::temp_directory_path() / "hearthpad-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return fail("mkdtemp: " + std::string(std::strerror(errno)));
    host->dir_ = pattern;
    for (const char* sub : {"data", "keys", "local", "home"}) {
        std::filesystem::create_directories(host->dir_ / sub);
        // The host keeps its key only in a directory no one else can read.
        std::filesystem::permissions(host->dir_ / sub, std::filesystem::perms::owner_all);
    }

    // Everything the child needs is prepared before fork: after it, only
    // async-signal-safe calls.
    std::vector<std::string> env;
    std::vector<std::pair<std::string, std::string>> own = {
        {"RC_DATA_DIR", (host->dir_ / "data").string()},
        {"HEARTHPAD_KEY_DIR", (host->dir_ / "keys").string()},
        {"LOCALAPPDATA", (host->dir_ / "local").string()},
        {"HOME", (host->dir_ / "home").string()},
    };
    own.insert(own.end(), options.environment.begin(), options.environment.end());
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const bool replaced = std::any_of(own.begin(), own.end(), [&](const auto& kv) {
            return entry.starts_with(kv.first + "=");
        });
        if (!replaced) env.push_back(entry);
    }
    for (const auto& [k, v] : own) env.push_back(k + "=" + v);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> args{options.program};
    args.insert(args.end(), options.arguments.begin(), options.arguments.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string errPath = (host->dir_ / "stderr.txt").string();

    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
        return fail("pipe: " + std::string(std::strerror(errno)));
    const pid_t pid = ::fork();
    if (pid < 0) return fail("fork: " + std::string(std::strerror(errno)));
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // a killed tool leaves no host behind
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (err >= 0) ::dup2(err, STDERR_FILENO);
        if (options.fdLimit > 0) {
            rlimit r{};
            if (::getrlimit(RLIMIT_NOFILE, &r) == 0) {
                r.rlim_cur = std::min<rlim_t>(static_cast<rlim_t>(options.fdLimit), r.rlim_max);
                ::setrlimit(RLIMIT_NOFILE, &r);
            }
        }
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    host->pid_ = pid;
    host->stdin_ = in[1];
    host->stdout_ = out[0];
    host->startedAt_ = SteadyClock::now();
    host->reader_ = std::thread([h = host.get()] { h->read_output(); });

    std::optional<std::string> line;
    for (int i = 0; i < 150 && !line; ++i) {
        line = host->wait_for_line("listening: ", 100ms);
        int status = 0;
        if (!line && ::waitpid(pid, &status, WNOHANG) == pid) {
            host->pid_ = -1;
            return fail("the host did not start: " + host->error_output());
        }
    }
    if (!line) return fail("the host did not start within 15 s: " + host->error_output());
    host->port_ = static_cast<std::uint16_t>(std::atoi(line->c_str() + 11));
    return host;
}

HostProcess::~HostProcess() {
    if (pid_ > 0) {
        command("quit");
        if (stdin_ >= 0) ::close(stdin_);
        stdin_ = -1;
        if (!wait_exit(pid_, 5s)) {
            ::kill(pid_, SIGTERM);
            if (!wait_exit(pid_, 3s)) {
                ::kill(pid_, SIGKILL);
                wait_exit(pid_, 3s);
            }
        }
    }
    stop_ = true;
    if (reader_.joinable()) reader_.join();
    if (stdout_ >= 0) ::close(stdout_);
    if (stdin_ >= 0) ::close(stdin_);
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
}

void HostProcess::command(const std::string& line) {
    if (stdin_ >= 0) write_all(stdin_, line + "\n");
}

// Drains the child's output (the console prints one line per event and per
// platform call) so that it never blocks on a full pipe; keeps the lines the
// tools wait for.
void HostProcess::read_output() {
    std::string pending;
    char buf[65536];
    while (!stop_) {
        pollfd p{stdout_, POLLIN, 0};
        const int r = ::poll(&p, 1, 100);
        if (r <= 0) continue;
        const ssize_t n = ::read(stdout_, buf, sizeof buf);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            break;
        }
        pending.append(buf, static_cast<std::size_t>(n));
        std::size_t start = 0, nl;
        while ((nl = pending.find('\n', start)) != std::string::npos) {
            ++lines_;
            if (pending.compare(start, 11, "listening: ") == 0 || pending.compare(start, 6, "code: ") == 0) {
                std::lock_guard lock(mutex_);
                wanted_.push_back(pending.substr(start, nl - start));
                cv_.notify_all();
            }
            start = nl + 1;
        }
        pending.erase(0, start);
    }
}

std::optional<std::string> HostProcess::wait_for_line(const std::string& prefix,
                                                      std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    std::optional<std::string> found;
    cv_.wait_for(lock, wait, [&] {
        for (auto it = wanted_.begin(); it != wanted_.end(); ++it) {
            if (it->starts_with(prefix)) {
                found = *it;
                wanted_.erase(it);
                return true;
            }
        }
        return false;
    });
    return found;
}

Result<std::string> HostProcess::pairing_code(std::chrono::milliseconds wait) {
    command("pair");
    const auto line = wait_for_line("code: ", wait);
    if (!line) return fail("the host printed no pairing code");
    return line->substr(6);
}

bool HostProcess::running() const {
    return pid_ > 0 && ::kill(pid_, 0) == 0 && std::filesystem::exists("/proc/" + std::to_string(pid_) + "/task");
}

std::string HostProcess::error_output() const {
    return read_text(dir_ / "stderr.txt");
}

ProcessSample HostProcess::sample() const {
    ProcessSample s;
    s.at = SteadyClock::now();
    const std::filesystem::path proc = "/proc/" + std::to_string(pid_);
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(proc / "task", ec)) {
        const int tid = std::atoi(entry.path().filename().c_str());
        TaskCounters t;
        t.name = read_text(entry.path() / "comm");
        if (!t.name.empty() && t.name.back() == '\n') t.name.pop_back();
        t.cpuNs = std::strtoull(read_text(entry.path() / "schedstat").c_str(), nullptr, 10);
        const std::string status = "\n" + read_text(entry.path() / "status");
        t.switches = status_field(status, "voluntary_ctxt_switches") +
                     status_field(status, "nonvoluntary_ctxt_switches");
        s.tasks[tid] = t;
    }
    // Fields after the command name, which ends with the last ')':
    // state is field 3, utime field 14, stime field 15.
    const std::string stat = read_text(proc / "stat");
    const auto close = stat.rfind(')');
    if (close != std::string::npos) {
        std::istringstream in(stat.substr(close + 1));
        std::vector<std::string> fields;
        for (std::string f; in >> f;) fields.push_back(f);
        if (fields.size() > 12)
            s.statCpuNs = ticks_to_ns(std::stoull(fields[11]) + std::stoull(fields[12]));
    }
    return s;
}

void HostProcess::pin(std::optional<int> cpu) const {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(pid_) + "/task", ec))
        pin_task(std::atoi(entry.path().filename().c_str()), cpu);
}

int HostProcess::thread_count() const {
    int n = 0;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator("/proc/" + std::to_string(pid_) + "/task", ec);
         it != std::filesystem::directory_iterator(); ++it)
        ++n;
    return n;
}

Memory HostProcess::memory() const {
    const std::string status = "\n" + read_text("/proc/" + std::to_string(pid_) + "/status");
    return Memory{status_field(status, "VmRSS"), status_field(status, "RssAnon"),
                  status_field(status, "RssFile")};
}

std::vector<std::pair<std::string, std::uint64_t>> HostProcess::resident_by_mapping(std::size_t top) const {
    std::map<std::string, std::uint64_t> byName;
    std::istringstream in(read_text("/proc/" + std::to_string(pid_) + "/smaps"));
    std::string line, current = "[anon]";
    while (std::getline(in, line)) {
        if (line.starts_with("Rss:")) {
            byName[current] += std::strtoull(line.c_str() + 4, nullptr, 10);
        } else if (!line.empty() && std::isxdigit(static_cast<unsigned char>(line[0])) &&
                   line.find('-') < line.find(' ')) {
            // address perms offset device inode [path]
            std::istringstream f(line);
            std::string field, path;
            for (int i = 0; i < 5; ++i) f >> field;
            std::getline(f >> std::ws, path);
            current = path.empty() ? "[anon]" : std::filesystem::path(path).filename().string();
            if (current.empty()) current = path;
        }
    }
    std::vector<std::pair<std::string, std::uint64_t>> out(byName.begin(), byName.end());
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    if (out.size() > top) out.resize(top);
    return out;
}

UdpSocketState HostProcess::udp_socket() const {
    char local[32];
    std::snprintf(local, sizeof local, "00000000:%04X", static_cast<unsigned>(port_));
    std::istringstream in(read_text("/proc/net/udp"));
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::vector<std::string> f;
        for (std::string x; fields >> x;) f.push_back(x);
        if (f.size() < 13 || f[1] != local) continue;
        UdpSocketState s;
        s.found = true;
        const auto colon = f[4].find(':');
        if (colon != std::string::npos) s.rxQueueBytes = std::strtoull(f[4].c_str() + colon + 1, nullptr, 16);
        s.drops = std::strtoull(f.back().c_str(), nullptr, 10);
        return s;
    }
    return {};
}

bool HostProcess::wait_udp_drained(std::chrono::milliseconds limit) const {
    const auto until = SteadyClock::now() + limit;
    while (SteadyClock::now() < until) {
        if (udp_socket().rxQueueBytes == 0) return true;
        std::this_thread::sleep_for(5ms);
    }
    return false;
}

std::string default_console_path() {
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return "hearthpad-console";
    return (self.parent_path() / "hearthpad-console").string();
}

int online_cores() {
    return static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));
}

void pin_task(int id, std::optional<int> cpu) {
    cpu_set_t set;
    CPU_ZERO(&set);
    for (int c = 0; c < online_cores(); ++c)
        if (!cpu || *cpu == c) CPU_SET(c, &set);
    ::sched_setaffinity(id, sizeof set, &set);
}

std::string loopback(int lastOctet) {
    return "127.0.0." + std::to_string(lastOctet);
}

SourcePacer::SourcePacer(int firstOctet, int lastOctet, std::chrono::nanoseconds interval)
    : first_(firstOctet), interval_(interval),
      nextAllowed_(static_cast<std::size_t>(lastOctet - firstOctet + 1), SteadyClock::now()) {}

std::string SourcePacer::next() {
    const auto it = std::min_element(nextAllowed_.begin(), nextAllowed_.end());
    std::this_thread::sleep_until(*it);
    *it = std::max(*it, SteadyClock::now()) + interval_;
    return loopback(first_ + static_cast<int>(it - nextAllowed_.begin()));
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * static_cast<double>(values.size())));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

}  // namespace hp::bench
