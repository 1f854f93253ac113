#pragma once
// Programs for the end-to-end runs of hearthpad-client against the console
// host: a private network namespace to run them in, the console host driven
// through its standard input and output, and one-shot client runs.
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace hp::e2e_client {

using namespace std::chrono_literals;

// A network namespace of the test's own (user and network namespace, as
// `unshare -rn` makes it) where loopback is up and carries 10.77.0.1 as well.
// The console host reports that address as its LAN address, so the pairing
// link it prints leads the client to it, and no byte leaves the namespace.
class NetNamespace {
public:
    static constexpr const char* kAddress = "10.77.0.1";

    NetNamespace();
    ~NetNamespace();
    NetNamespace(const NetNamespace&) = delete;
    NetNamespace& operator=(const NetNamespace&) = delete;

    // False when this machine cannot make one (no user namespaces, no `ip`);
    // `why` says what failed.
    bool available() const { return holder_ > 0; }
    const std::string& why() const { return why_; }
    // `argv` run inside the namespace (through nsenter), or as it is when
    // none is available.
    std::vector<std::string> wrap(std::vector<std::string> argv) const;

private:
    pid_t holder_ = -1;
    std::string why_;
};

// Starts argv with the environment changed by `env`; standard input from
// a pipe when `input` is set, standard output and error into `output`
// (appended) or into a pipe read with line().
class Process {
public:
    struct Options {
        std::vector<std::string> argv;
        std::map<std::string, std::string> env;  // added to (or replacing) this process's
        std::filesystem::path output;            // empty: a pipe for line()
        bool input = false;
    };
    explicit Process(const Options& options);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool started() const { return pid_ > 0; }
    void send(const std::string& line);
    // The next output line starting with `prefix`; earlier lines are skipped
    // and kept in seen().
    std::optional<std::string> line(const std::string& prefix, std::chrono::milliseconds timeout = 15s);
    const std::vector<std::string>& seen() const { return seen_; }
    // Exit status, or nothing when it does not end in time.
    std::optional<int> wait(std::chrono::milliseconds timeout);
    void kill();

private:
    pid_t pid_ = -1;
    int to_ = -1, from_ = -1;
    std::string buffer_;
    std::vector<std::string> seen_;
    std::optional<int> status_;
};

struct ClientRun {
    int status = -1;  // exit status; -1 when it had to be killed
    std::string out, err;
};
// Runs argv to its end (killed after `timeout`), collecting both outputs.
ClientRun run_to_end(const std::vector<std::string>& argv, const std::filesystem::path& scratch,
                     std::chrono::milliseconds timeout = 60s);

}  // namespace hp::e2e_client
