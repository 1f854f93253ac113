#pragma once
// The measuring tools' view of a host: a release hearthpad-console started as
// a child process with a data directory of its own, and what /proc tells about
// it (CPU time, wake-ups, threads, resident memory, its UDP socket's queue).
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/result.h"

namespace hp::bench {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

struct HostOptions {
    std::string program;  // hearthpad-console
    // No mDNS daemon is asked, and the Tailscale local API is a closed
    // loopback port, so nothing leaves the machine.
    std::vector<std::string> arguments{"--no-mdns", "--tailscale-api", "127.0.0.1:9"};
    int fdLimit = 0;  // the child's soft descriptor limit; 0 keeps the tool's
    // Further environment variables of the child (LD_PRELOAD, for one).
    std::vector<std::pair<std::string, std::string>> environment;
};

// One thread of the child at one moment.
struct TaskCounters {
    std::string name;
    std::uint64_t cpuNs = 0;     // time on a CPU (/proc/<pid>/task/<tid>/schedstat)
    std::uint64_t switches = 0;  // voluntary + nonvoluntary context switches
};

struct ProcessSample {
    SteadyClock::time_point at;
    std::map<int, TaskCounters> tasks;  // by thread id
    std::uint64_t statCpuNs = 0;        // utime + stime of /proc/<pid>/stat, ended threads included
    std::uint64_t cpu_ns() const;
    std::uint64_t switches() const;
};

// What happened between two samples. Threads that appeared count from zero;
// threads that ended take their counts with them (statCpuNs keeps their CPU).
struct ProcessDelta {
    double seconds = 0;
    std::uint64_t cpuNs = 0;
    std::uint64_t statCpuNs = 0;
    std::uint64_t switches = 0;
    std::map<int, TaskCounters> perTask;
};
ProcessDelta operator-(const ProcessSample& after, const ProcessSample& before);

struct UdpSocketState {
    bool found = false;
    std::uint64_t rxQueueBytes = 0;
    std::uint64_t drops = 0;  // datagrams the kernel dropped because the queue was full
};

struct Memory {
    std::uint64_t rssKb = 0, anonKb = 0, fileKb = 0;
};

class HostProcess {
public:
    static Result<std::unique_ptr<HostProcess>> start(const HostOptions& options);
    // "quit" on standard input, then SIGTERM, then SIGKILL, each after a
    // bounded wait; the data directory goes with it.
    ~HostProcess();
    HostProcess(const HostProcess&) = delete;
    HostProcess& operator=(const HostProcess&) = delete;

    pid_t pid() const { return pid_; }
    std::uint16_t port() const { return port_; }  // TCP and UDP
    bool running() const;
    SteadyClock::time_point started_at() const { return startedAt_; }

    // A pairing code from the console's "pair" command.
    Result<std::string> pairing_code(std::chrono::milliseconds wait = 5s);

    // Binds every thread of the host to one CPU, or (nothing) to all of them.
    void pin(std::optional<int> cpu) const;

    ProcessSample sample() const;
    int thread_count() const;
    Memory memory() const;
    // Resident kB per mapped file ("[anon]" for anonymous memory), largest first.
    std::vector<std::pair<std::string, std::uint64_t>> resident_by_mapping(std::size_t top) const;
    UdpSocketState udp_socket() const;  // the IPv4 socket on port()
    // Waits until the host has read everything queued on its UDP socket.
    bool wait_udp_drained(std::chrono::milliseconds limit) const;
    std::uint64_t output_lines() const { return lines_.load(); }
    std::string error_output() const;

private:
    HostProcess() = default;
    void read_output();
    std::optional<std::string> wait_for_line(const std::string& prefix, std::chrono::milliseconds wait);
    void command(const std::string& line);

    pid_t pid_ = -1;
    int stdin_ = -1, stdout_ = -1;
    std::uint16_t port_ = 0;
    SteadyClock::time_point startedAt_;
    std::filesystem::path dir_;
    std::thread reader_;
    std::atomic<bool> stop_{false};
    std::atomic<std::uint64_t> lines_{0};
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<std::string> wanted_;  // lines that start with "listening:" or "code:"
};

// hearthpad-console beside the running tool (both live in the build folder).
std::string default_console_path();
int online_cores();
// Binds process or thread `id` (0: the calling thread) to one CPU, or to all.
void pin_task(int id, std::optional<int> cpu);
std::string loopback(int lastOctet);  // "127.0.0.<n>"

// Hands out loopback source addresses so that each stays under a handshake
// rate: the source that may go first is returned, after waiting for it.
class SourcePacer {
public:
    SourcePacer(int firstOctet, int lastOctet, std::chrono::nanoseconds interval);
    std::string next();
    int sources() const { return static_cast<int>(nextAllowed_.size()); }

private:
    int first_;
    std::chrono::nanoseconds interval_;
    std::vector<SteadyClock::time_point> nextAllowed_;
};

// Nearest-rank percentile (p in 0..100) of unsorted values.
double percentile(std::vector<double> values, double p);

}  // namespace hp::bench
