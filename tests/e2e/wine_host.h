#pragma once
// Runs the real hearthpad.exe under 64-bit Wine for end-to-end tests: a
// private Wine prefix under the build directory, a private Xvfb display when
// DISPLAY is unset, child processes with deadlines, and the discovery of the
// port the host listens on. Everything started here is ended by
// WineSession's destructor (wineserver -k on the prefix, then the display).
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "base/result.h"

namespace hp::e2e {

using std::chrono::milliseconds;
using std::chrono::seconds;

// A child process in its own process group, killed with its group when the
// owner goes without having waited for it.
class ChildProcess {
public:
    struct Options {
        std::vector<std::string> argv;
        std::map<std::string, std::string> env;  // the whole environment
        std::filesystem::path output;            // stdout and stderr appended here; empty: /dev/null
        int passFd = -1;                         // handed to the child as descriptor 3
    };
    static Result<ChildProcess> spawn(const Options& options);

    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ~ChildProcess();

    // The exit status (or 128 + signal) once the process has ended within
    // `limit`; nothing when it is still running.
    std::optional<int> wait_for(milliseconds limit);
    // SIGKILL to the whole group, then reaps the child.
    void kill();
    pid_t pid() const { return pid_; }

private:
    explicit ChildProcess(pid_t pid) : pid_(pid) {}
    pid_t pid_ = -1;
    std::optional<int> status_;
};

// What an information request to the host returned.
struct FoundHost {
    std::uint16_t port = 0;
    nlohmann::json info;
};

class WineSession {
public:
    enum class Prefix { Reuse, Fresh };
    // Takes the lock of `workDir` (one session per directory at a time),
    // ends whatever an earlier run left in the prefix, starts a display if
    // needed and creates the prefix on first use (Fresh: always, the earlier
    // one removed).
    static Result<std::unique_ptr<WineSession>> open(const std::filesystem::path& workDir,
                                                      Prefix prefix = Prefix::Reuse);
    ~WineSession();
    WineSession(const WineSession&) = delete;
    WineSession& operator=(const WineSession&) = delete;

    // Starts `exe` with RC_DATA_DIR set to the Windows form of `dataDir`;
    // `env` adds or replaces variables.
    Result<ChildProcess> start(const std::filesystem::path& exe, const std::filesystem::path& dataDir,
                               const std::vector<std::string>& args = {},
                               const std::map<std::string, std::string>& env = {});
    // Runs a Windows program of the prefix (e.g. "taskkill") to its end.
    Result<int> run(const std::vector<std::string>& argv, milliseconds limit);
    // The same with `env` adding to or replacing the environment; its exit
    // status and its standard output and error.
    struct Output;
    Result<Output> run_windows(const std::vector<std::string>& argv, milliseconds limit,
                               const std::map<std::string, std::string>& env = {});

    // Runs a program of this machine (xdotool, import, zbarimg) on the
    // session's display to its end; its exit status and standard output.
    struct Output {
        int status = -1;
        std::string text;
    };
    Result<Output> run_local(const std::vector<std::string>& argv, milliseconds limit);

    const std::string& display() const { return display_; }

    // Polls the host ports until one that a process of this prefix listens on
    // answers an information request as a Windows host. Gives up when
    // `limit` passes or `host` ends.
    Result<FoundHost> wait_for_host(ChildProcess& host, milliseconds limit);
    // The same for a host this session did not start itself.
    Result<FoundHost> wait_for_any_host(milliseconds limit);

    // Every process of the prefix ended (wineserver -k).
    void kill_all();

    const std::filesystem::path& log_file() const { return log_; }
    const std::filesystem::path& prefix() const { return prefix_; }

private:
    WineSession() = default;
    Result<FoundHost> wait_for_host(ChildProcess* host, milliseconds limit);
    std::map<std::string, std::string> environment(const std::filesystem::path* dataDir) const;
    Status start_display();
    Status ensure_prefix();

    std::filesystem::path dir_, prefix_, log_;
    std::string wine_, wineserver_, display_;
    int lockFd_ = -1;
    std::optional<ChildProcess> xvfb_;
};

// Runs a command line of this machine through the shell to its end;
// standard error joins standard output.
WineSession::Output run_here(const std::string& command);

// `s` in single quotes for the shell.
std::string quoted(const std::string& s);

// Writes an update check made a minute ago into `dataDir`, so a host using
// it waits a week before asking the real update server.
void hold_update_check(const std::filesystem::path& dataDir);

// "Z:\tmp\x" for "/tmp/x": Wine's Z: drive is the Unix root.
std::string windows_path(const std::filesystem::path& unixPath);

// TCP ports in [first, last] listened on by a process whose WINEPREFIX is
// `prefix` (Wine's server holds the sockets of every process of the
// prefix). Nothing when no process of the prefix could be seen at all.
std::optional<std::vector<std::uint16_t>> prefix_listening_ports(const std::filesystem::path& prefix,
                                                                  std::uint16_t first,
                                                                  std::uint16_t last);

bool is_v4_uuid(const std::string& text);

}  // namespace hp::e2e
