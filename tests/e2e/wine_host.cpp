#include "e2e/wine_host.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <system_error>
#include <thread>

#include "support/test_client.h"

extern char** environ;

namespace hp::e2e {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::uint16_t kFirstPort = 49182;
constexpr std::uint16_t kLastPort = 49192;

std::string errno_text(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

bool executable(const std::string& path) {
    return !path.empty() && ::access(path.c_str(), X_OK) == 0;
}

// The first candidate that names an executable file; a bare name is looked
// up in PATH.
std::string find_program(std::initializer_list<std::string> candidates) {
    for (const std::string& c : candidates) {
        if (c.empty()) continue;
        if (c.find('/') != std::string::npos) {
            if (executable(c)) return c;
            continue;
        }
        const char* path = std::getenv("PATH");
        std::istringstream dirs(path ? path : "");
        std::string dir;
        while (std::getline(dirs, dir, ':'))
            if (!dir.empty() && executable(dir + "/" + c)) return dir + "/" + c;
    }
    return {};
}

std::string env_or_empty(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// inode -> port of the listening TCP sockets in [first, last].
std::map<std::string, std::uint16_t> listening_inodes(std::uint16_t first, std::uint16_t last) {
    std::map<std::string, std::uint16_t> out;
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream in(table);
        std::string line;
        std::getline(in, line);  // header
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string sl, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
            if (!(fields >> sl >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
                  timeout >> inode))
                continue;
            if (state != "0A") continue;  // LISTEN
            const auto colon = local.rfind(':');
            if (colon == std::string::npos) continue;
            const unsigned long port = std::strtoul(local.c_str() + colon + 1, nullptr, 16);
            if (port >= first && port <= last) out[inode] = static_cast<std::uint16_t>(port);
        }
    }
    return out;
}

bool has_env_entry(const std::string& environ, const std::string& entry) {
    std::size_t start = 0;
    while (start < environ.size()) {
        std::size_t end = environ.find('\0', start);
        if (end == std::string::npos) end = environ.size();
        if (environ.compare(start, end - start, entry) == 0) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

// ------------------------------------------------------------ ChildProcess

Result<ChildProcess> ChildProcess::spawn(const Options& options) {
    if (options.argv.empty()) return fail("nothing to run");

    const std::string outPath = options.output.empty() ? "/dev/null" : options.output.string();
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (out < 0) return fail(errno_text(("open " + outPath).c_str()));
    // Above the descriptors the child gets, so dup2 never meets itself.
    const int pass = options.passFd >= 0 ? ::fcntl(options.passFd, F_DUPFD_CLOEXEC, 10) : -1;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out, 1);
    posix_spawn_file_actions_adddup2(&actions, out, 2);
    if (pass >= 0) posix_spawn_file_actions_adddup2(&actions, pass, 3);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
    posix_spawnattr_setpgroup(&attr, 0);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);

    std::vector<char*> argv;
    for (const auto& a : options.argv) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> envStrings;
    for (const auto& [k, v] : options.env) envStrings.push_back(k + "=" + v);
    std::vector<char*> envp;
    for (auto& e : envStrings) envp.push_back(e.data());
    envp.push_back(nullptr);

    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(out);
    if (pass >= 0) ::close(pass);
    if (rc != 0) return fail("could not start " + options.argv[0] + ": " + std::strerror(rc));
    return ChildProcess(pid);
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)), status_(std::exchange(other.status_, std::nullopt)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        kill();
        pid_ = std::exchange(other.pid_, -1);
        status_ = std::exchange(other.status_, std::nullopt);
    }
    return *this;
}

ChildProcess::~ChildProcess() { kill(); }

std::optional<int> ChildProcess::wait_for(milliseconds limit) {
    if (pid_ <= 0 || status_) return status_;
    const auto deadline = Clock::now() + limit;
    for (;;) {
        int raw = 0;
        const pid_t r = ::waitpid(pid_, &raw, WNOHANG);
        if (r == pid_) {
            status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            return status_;
        }
        if (r < 0 && errno != EINTR) {
            status_ = -1;  // not our child any more; nothing to wait for
            return status_;
        }
        if (Clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(milliseconds(20));
    }
}

void ChildProcess::kill() {
    if (pid_ <= 0 || status_) return;
    ::kill(-pid_, SIGKILL);
    ::kill(pid_, SIGKILL);
    int raw = 0;
    while (::waitpid(pid_, &raw, 0) < 0 && errno == EINTR) {
    }
    status_ = 128 + SIGKILL;
}

// ------------------------------------------------------------- WineSession

Result<std::unique_ptr<WineSession>> WineSession::open(const fs::path& workDir, Prefix prefix) {
    std::unique_ptr<WineSession> s(new WineSession());
    std::error_code ec;
    fs::create_directories(workDir, ec);
    if (ec) return fail("cannot create " + workDir.string() + ": " + ec.message());
    s->dir_ = fs::absolute(workDir).lexically_normal();
    s->prefix_ = s->dir_ / "wineprefix";
    s->log_ = s->dir_ / "wine.log";
    std::ofstream(s->log_, std::ios::trunc).close();

    s->lockFd_ = ::open((s->dir_ / "lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
    if (s->lockFd_ < 0) return fail(errno_text("open lock"));
    const auto lockDeadline = Clock::now() + seconds(300);
    while (::flock(s->lockFd_, LOCK_EX | LOCK_NB) != 0) {
        if (Clock::now() >= lockDeadline)
            return fail("another end-to-end run holds " + (s->dir_ / "lock").string());
        std::this_thread::sleep_for(milliseconds(200));
    }

    s->wine_ = find_program({env_or_empty("HP_WINE"), "/usr/lib/wine/wine64", "wine64", "wine"});
    s->wineserver_ =
        find_program({env_or_empty("HP_WINESERVER"), "/usr/lib/wine/wineserver64", "wineserver"});
    if (s->wine_.empty() || s->wineserver_.empty())
        return fail("64-bit Wine not found (apt-get install wine64)");

    fs::create_directories(s->prefix_, ec);
    if (auto display = std::getenv("DISPLAY"); display && *display) {
        s->display_ = display;
    } else if (auto st = s->start_display(); !st) {
        return std::unexpected(st.error());
    }
    s->kill_all();  // a run that was cut short may have left the host running
    if (prefix == Prefix::Fresh) {
        fs::remove_all(s->prefix_, ec);
        if (ec) return fail("cannot remove " + s->prefix_.string() + ": " + ec.message());
        fs::create_directories(s->prefix_, ec);
    }
    if (auto st = s->ensure_prefix(); !st) return std::unexpected(st.error());
    return s;
}

WineSession::~WineSession() {
    if (!wineserver_.empty()) kill_all();
    if (xvfb_) xvfb_->kill();
    if (lockFd_ >= 0) ::close(lockFd_);
}

std::map<std::string, std::string> WineSession::environment(const fs::path* dataDir) const {
    std::map<std::string, std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        const auto eq = entry.find('=');
        if (eq != std::string::npos) env[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    env["WINEPREFIX"] = prefix_.string();
    env["WINEARCH"] = "win64";
    env["WINEDEBUG"] = env_or_empty("HP_WINEDEBUG").empty() ? "-all" : env_or_empty("HP_WINEDEBUG");
    env["WINELOADER"] = wine_;
    env["WINESERVER"] = wineserver_;
    // No Mono or Gecko installer dialogs: nothing here needs them.
    env["WINEDLLOVERRIDES"] = "mscoree=;mshtml=";
    env["DISPLAY"] = display_;
    if (dataDir) env["RC_DATA_DIR"] = windows_path(*dataDir);
    return env;
}

Status WineSession::start_display() {
    const std::string xvfb = find_program({"Xvfb"});
    if (xvfb.empty()) return fail("DISPLAY is not set and Xvfb is missing (apt-get install xvfb)");
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return fail(errno_text("pipe"));
    auto child = ChildProcess::spawn({.argv = {xvfb, "-displayfd", "3", "-screen", "0", "1280x1024x24",
                                               "-nolisten", "tcp", "-noreset"},
                                      .env = environment(nullptr),
                                      .output = dir_ / "xvfb.log",
                                      .passFd = fds[1]});
    ::close(fds[1]);
    if (!child) {
        ::close(fds[0]);
        return std::unexpected(child.error());
    }
    xvfb_.emplace(std::move(*child));

    // Xvfb writes its display number once it accepts clients.
    std::string number;
    const auto deadline = Clock::now() + seconds(30);
    while (Clock::now() < deadline) {
        pollfd p{fds[0], POLLIN, 0};
        if (::poll(&p, 1, 200) > 0) {
            char buf[16];
            const ssize_t n = ::read(fds[0], buf, sizeof buf);
            if (n <= 0) break;
            number.append(buf, static_cast<std::size_t>(n));
            if (number.find('\n') != std::string::npos) break;
        }
        if (xvfb_->wait_for(milliseconds(0))) break;
    }
    ::close(fds[0]);
    while (!number.empty() && (number.back() == '\n' || number.back() == '\r')) number.pop_back();
    if (number.empty()) return fail("Xvfb did not start; see " + (dir_ / "xvfb.log").string());
    display_ = ":" + number;
    return {};
}

Status WineSession::ensure_prefix() {
    const fs::path ready = prefix_ / ".hearthpad-e2e-ready";
    std::error_code ec;
    if (fs::exists(ready, ec)) return {};
    auto boot = ChildProcess::spawn({.argv = {wine_, "wineboot", "--init"},
                                     .env = environment(nullptr),
                                     .output = log_});
    if (!boot) return std::unexpected(boot.error());
    if (!boot->wait_for(seconds(240))) return fail("wineboot --init did not finish within 240 s");
    auto settle = ChildProcess::spawn({.argv = {wineserver_, "-w"}, .env = environment(nullptr), .output = log_});
    if (settle && !settle->wait_for(seconds(120))) kill_all();
    std::ofstream(ready).put('1');
    return {};
}

Result<ChildProcess> WineSession::start(const fs::path& exe, const fs::path& dataDir,
                                        const std::vector<std::string>& args,
                                        const std::map<std::string, std::string>& env) {
    // A host under test never asks the real update server.
    hold_update_check(dataDir);
    std::vector<std::string> argv{wine_, fs::absolute(exe).string()};
    argv.insert(argv.end(), args.begin(), args.end());
    auto vars = environment(&dataDir);
    for (const auto& [k, v] : env) vars[k] = v;
    return ChildProcess::spawn({.argv = argv, .env = vars, .output = log_});
}

Result<WineSession::Output> WineSession::run_local(const std::vector<std::string>& argv, milliseconds limit) {
    const fs::path out = dir_ / "local-output";
    std::error_code ec;
    fs::remove(out, ec);
    auto child = ChildProcess::spawn({.argv = argv, .env = environment(nullptr), .output = out});
    if (!child) return std::unexpected(child.error());
    const auto status = child->wait_for(limit);
    if (!status) return fail(argv.front() + " did not finish in time");
    return Output{*status, read_file(out)};
}

Result<int> WineSession::run(const std::vector<std::string>& argv, milliseconds limit) {
    std::vector<std::string> full{wine_};
    full.insert(full.end(), argv.begin(), argv.end());
    auto child = ChildProcess::spawn({.argv = full, .env = environment(nullptr), .output = log_});
    if (!child) return std::unexpected(child.error());
    if (auto status = child->wait_for(limit)) return *status;
    return fail(argv.front() + " did not finish in time");
}

Result<WineSession::Output> WineSession::run_windows(const std::vector<std::string>& argv, milliseconds limit,
                                                     const std::map<std::string, std::string>& env) {
    const fs::path out = dir_ / "windows-output";
    std::error_code ec;
    fs::remove(out, ec);
    std::vector<std::string> full{wine_};
    full.insert(full.end(), argv.begin(), argv.end());
    auto vars = environment(nullptr);
    for (const auto& [k, v] : env) vars[k] = v;
    auto child = ChildProcess::spawn({.argv = full, .env = vars, .output = out});
    if (!child) return std::unexpected(child.error());
    const auto status = child->wait_for(limit);
    if (!status) return fail(argv.front() + " did not finish in time");
    const std::string text = read_file(out);
    std::ofstream(log_, std::ios::app) << text;
    return Output{*status, text};
}

Result<FoundHost> WineSession::wait_for_host(ChildProcess& host, milliseconds limit) {
    return wait_for_host(&host, limit);
}

Result<FoundHost> WineSession::wait_for_any_host(milliseconds limit) { return wait_for_host(nullptr, limit); }

Result<FoundHost> WineSession::wait_for_host(ChildProcess* host, milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        if (auto status = host ? host->wait_for(milliseconds(0)) : std::nullopt)
            return fail("hearthpad.exe ended with status " + std::to_string(*status) +
                        " before answering; see " + log_.string());
        std::vector<std::uint16_t> ports;
        if (auto owned = prefix_listening_ports(prefix_, kFirstPort, kLastPort)) {
            ports = *owned;
        } else {
            for (unsigned p = kFirstPort; p <= kLastPort; ++p) ports.push_back(static_cast<std::uint16_t>(p));
        }
        for (std::uint16_t port : ports) {
            test::TestClient client;
            client.set_timeout(seconds(3));
            if (!client.connect(port)) continue;
            auto info = client.information();
            if (info && info->value("os", "") == "windows") return FoundHost{port, *info};
        }
        if (Clock::now() >= deadline)
            return fail("no Windows host answered on ports 49182..49192 within " +
                        std::to_string(std::chrono::duration_cast<seconds>(limit).count()) +
                        " s; see " + log_.string());
        std::this_thread::sleep_for(milliseconds(250));
    }
}

void WineSession::kill_all() {
    auto killer = ChildProcess::spawn({.argv = {wineserver_, "-k"}, .env = environment(nullptr), .output = log_});
    if (killer) (void)killer->wait_for(seconds(30));
}

// ------------------------------------------------------------------ helpers

WineSession::Output run_here(const std::string& command) {
    WineSession::Output out;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return out;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.text.append(buf, n);
    const int raw = ::pclose(pipe);
    out.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

std::string quoted(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

void hold_update_check(const fs::path& dataDir) {
    std::error_code ec;
    fs::create_directories(dataDir, ec);
    const auto now = std::chrono::duration_cast<seconds>(std::chrono::system_clock::now().time_since_epoch());
    std::ofstream(dataDir / "update_check.txt", std::ios::binary | std::ios::trunc)
        << (now.count() - 60) << "\n\n";
}

std::string windows_path(const fs::path& unixPath) {
    std::string s = "Z:" + fs::absolute(unixPath).lexically_normal().string();
    for (char& c : s)
        if (c == '/') c = '\\';
    return s;
}

std::optional<std::vector<std::uint16_t>> prefix_listening_ports(const fs::path& prefix,
                                                                  std::uint16_t first,
                                                                  std::uint16_t last) {
    const auto inodes = listening_inodes(first, last);
    const std::string entry = "WINEPREFIX=" + prefix.string();
    bool sawPrefix = false;
    std::set<std::uint16_t> ports;
    std::error_code ec;
    for (const auto& proc : fs::directory_iterator("/proc", ec)) {
        const std::string name = proc.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
        if (!has_env_entry(read_file(proc.path() / "environ"), entry)) continue;
        sawPrefix = true;
        std::error_code fdError;
        for (const auto& fd : fs::directory_iterator(proc.path() / "fd", fdError)) {
            std::error_code linkError;
            const std::string target = fs::read_symlink(fd.path(), linkError).string();
            if (linkError || !target.starts_with("socket:[")) continue;
            const auto it = inodes.find(target.substr(8, target.size() - 9));
            if (it != inodes.end()) ports.insert(it->second);
        }
    }
    if (!sawPrefix) return std::nullopt;
    return std::vector<std::uint16_t>(ports.begin(), ports.end());
}

bool is_v4_uuid(const std::string& text) {
    if (text.size() != 36) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != '-') return false;
        } else if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return text[14] == '4' && std::string_view("89ab").find(text[19]) != std::string_view::npos;
}

}  // namespace hp::e2e
