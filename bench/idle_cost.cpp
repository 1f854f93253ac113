// hearthpad_idle_cost: what the host costs while nothing happens, and whether
// quick reconnections leave threads behind.
//
// Starts the release hearthpad-console as a child process with a data
// directory of its own, lets it settle, then reads over an idle window its
// wake-ups (voluntary and involuntary context switches of all its threads)
// and its CPU time; then pairs once and authenticates many times from
// several loopback addresses, paced under a per-source handshake rate, and
// counts the host's threads before, during and after.
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "bench_client.h"
#include "crypto/crypto.h"
#include "host_process.h"

namespace hp::bench {
namespace {

struct Options {
    std::string console = default_console_path();
    int settleSeconds = 8;  // past the working-set trim 5 s after start
    int idleSeconds = 60;
    int authentications = 300;
    int firstSource = 1, lastSource = 31;  // 127.0.0.1 .. 127.0.0.31
    int hostFdLimit = 1024;
};

std::string fixed(double v, int digits) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", digits, v);
    return buf;
}

// Threads of the host by name: "hp-worker x4, hp-main x1".
std::string thread_names(const ProcessSample& s) {
    std::map<std::string, int> names;
    for (const auto& [tid, t] : s.tasks) ++names[t.name];
    std::string out;
    for (const auto& [name, n] : names) out += (out.empty() ? "" : ", ") + name + " x" + std::to_string(n);
    return out;
}

void idle_window(HostProcess& host, const Options& o) {
    const auto before = host.sample();
    std::this_thread::sleep_for(std::chrono::seconds(o.idleSeconds));
    const auto after = host.sample();
    const auto d = after - before;
    std::cout << "idle window: " << fixed(d.seconds, 1) << " s, " << after.tasks.size() << " threads ("
              << thread_names(after) << ")\n";
    // The threads that woke, most first.
    std::vector<std::pair<int, TaskCounters>> woke(d.perTask.begin(), d.perTask.end());
    std::sort(woke.begin(), woke.end(), [](const auto& a, const auto& b) { return a.second.switches > b.second.switches; });
    for (const auto& [tid, t] : woke) {
        if (t.switches == 0 && t.cpuNs == 0) continue;
        std::cout << "  thread " << tid << " " << t.name << ": " << t.switches << " wake-ups, "
                  << fixed(double(t.cpuNs) / 1e6, 3) << " ms CPU\n";
    }
    std::cout << "FIGURE idle wake-ups: " << fixed(double(d.switches) / d.seconds, 2) << " per second ("
              << d.switches << " context switches over " << fixed(d.seconds, 1)
              << " s, all threads) | target <= 1 per second "
              << (double(d.switches) / d.seconds <= 1.0 ? "reached" : "not reached") << "\n";
    std::cout << "FIGURE idle CPU: " << fixed(double(d.cpuNs) / 1e6 / d.seconds, 4) << " ms per second ("
              << fixed(double(d.cpuNs) / 1e6, 2) << " ms over " << fixed(d.seconds, 1)
              << " s from the threads' schedstat; " << fixed(double(d.statCpuNs) / 1e6, 0)
              << " ms in /proc/<pid>/stat clock ticks) | target <= 0.1 ms per second "
              << (double(d.cpuNs) / 1e6 / d.seconds <= 0.1 ? "reached" : "not reached") << "\n"
              << std::flush;
}

bool authentications(HostProcess& host, const Options& o) {
    Phone phone;
    if (auto s = phone.pair(host); !s) {
        std::cerr << "hearthpad_idle_cost: " << s.error().text << "\n";
        return false;
    }
    // No session stays open: each authentication below is then the last
    // session when it ends, which is when the host plans a working-set trim.
    phone.disconnect();
    std::this_thread::sleep_for(1s);
    const auto before = host.sample();
    SourcePacer pacer(o.firstSource, o.lastSource, std::chrono::milliseconds(111));
    int done = 0, refused = 0, most = static_cast<int>(before.tasks.size());
    std::map<std::string, int> reasons;
    const auto t0 = SteadyClock::now();
    for (int i = 0; i < o.authentications && SteadyClock::now() - t0 < 120s; ++i) {
        if (auto c = phone.authenticate_from(pacer.next())) {
            ++done;
            (*c)->close();
        } else {
            ++refused;
            ++reasons[c.error().text];
        }
        most = std::max(most, host.thread_count());
    }
    const double seconds = std::chrono::duration<double>(SteadyClock::now() - t0).count();
    const int rightAfter = host.thread_count();
    std::this_thread::sleep_for(3s);
    const auto later = host.sample();
    std::cout << "authentications: " << done << " completed, " << refused << " refused, in " << fixed(seconds, 1)
              << " s from 127.0.0." << o.firstSource << " to 127.0.0." << o.lastSource
              << ", each address at most 9 per second";
    for (const auto& [text, n] : reasons) std::cout << "; " << n << "x " << text;
    std::cout << "\n  threads before: " << thread_names(before) << "\n  threads 3 s after: " << thread_names(later)
              << "\n";
    const int start = static_cast<int>(before.tasks.size()), end = static_cast<int>(later.tasks.size());
    std::cout << "FIGURE threads around " << done << " quick authentications: " << start << " before, at most "
              << most << " during, " << rightAfter << " right after, " << end << " 3 s later"
              << " | target: stays where it started " << (end <= start && most <= start ? "reached" : "not reached")
              << "\n"
              << std::flush;
    return done > 0;
}

const char* kUsage =
    "usage: hearthpad_idle_cost [--console PATH] [--settle S] [--seconds S] [--authentications N]\n"
    "                           [--last-source N] [--host-fd-limit N]\n";

std::optional<Options> parse(int argc, char** argv) {
    Options o;
    const std::map<std::string, int*> numbers = {
        {"--settle", &o.settleSeconds},     {"--seconds", &o.idleSeconds},
        {"--authentications", &o.authentications}, {"--last-source", &o.lastSource},
        {"--host-fd-limit", &o.hostFdLimit},
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) return std::nullopt;
        if (arg == "--console") {
            o.console = argv[++i];
        } else if (auto it = numbers.find(arg); it != numbers.end()) {
            *it->second = std::max(1, std::atoi(argv[++i]));
        } else {
            return std::nullopt;
        }
    }
    o.settleSeconds = std::min(o.settleSeconds, 120);
    o.idleSeconds = std::min(o.idleSeconds, 600);
    o.authentications = std::min(o.authentications, 3000);
    o.lastSource = std::clamp(o.lastSource, 1, 254);
    return o;
}

int run(const Options& o) {
    crypto::init();
    std::cout << "hearthpad_idle_cost: " << online_cores() << " online cores\n";
    HostOptions ho;
    ho.program = o.console;
    ho.fdLimit = o.hostFdLimit;
    auto started = HostProcess::start(ho);
    if (!started) {
        std::cerr << "hearthpad_idle_cost: " << started.error().text << "\n";
        return 1;
    }
    HostProcess& host = **started;
    std::cout << "host: " << o.console << " (pid " << host.pid() << ", port " << host.port() << "); settling "
              << o.settleSeconds << " s\n"
              << std::flush;
    std::this_thread::sleep_until(host.started_at() + std::chrono::seconds(o.settleSeconds));
    idle_window(host, o);
    const bool ok = authentications(host, o);
    std::cout << "hearthpad_idle_cost: " << (ok ? "done" : "stopped early") << "\n";
    return ok ? 0 : 1;
}

}  // namespace
}  // namespace hp::bench

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);  // a host that goes away is an error value, not the end
    const auto o = hp::bench::parse(argc, argv);
    if (!o) {
        std::cerr << hp::bench::kUsage;
        return 2;
    }
    return hp::bench::run(*o);
}
