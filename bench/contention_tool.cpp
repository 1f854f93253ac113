// hearthpad_contention: whether one phone's input waits for another phone's
// handshakes or for the disk. The host is the release hearthpad-console,
// started as a child process with every fsync and fdatasync made slow (the
// hearthpad_slow_fsync library preloaded; 40 ms unless --fsync-delay-ms).
//
//   1. Phone A sends an input datagram asking for an acknowledgement every
//      10 ms; its round trips alone, then while phone B authenticates again
//      and again from 30 loopback addresses (each under its handshake rate).
//   2. The same while 20 sources (127.0.0.2 to .21) open authentications in
//      A's name at their admission limit (10 a second each) and drop them
//      after the challenge.
//   3. The host CPU per authentication, on a host with the disk as it is,
//      against the sum of the handshake's primitives and one durable save of
//      a store of the same size, both measured in this run.
//
// Quiet and loud rounds alternate, so that what else the machine does falls
// on both sides alike. All traffic goes to 127.0.0.0/8; every loop is bounded.
#include <sodium.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "base/atomic_file.h"
#include "bench_client.h"
#include "bench_net.h"
#include "crypto/crypto.h"
#include "host_process.h"
#include "primitive_cost.h"

namespace hp::bench {
namespace {

struct Options {
    std::string console = default_console_path();
    std::string shim;            // the slow-fsync library; default beside this tool
    int fsyncDelayMs = 40;
    int samples = 300;           // A's round trips per side and phase
    int intervalMs = 10;         // between A's datagrams
    int rounds = 3;              // quiet and loud rounds per phase
    int handshakes = 300;        // authentications whose CPU is measured
};

std::string fixed(double v, int digits = 2) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", digits, v);
    return buf;
}

void note(const std::string& text) { std::cout << "  " << text << "\n" << std::flush; }

void figure(const std::string& name, const std::string& measured, const std::string& baseline, double ratio,
            double target) {
    std::cout << "FIGURE " << name << ": " << measured << " | baseline " << baseline << " | ratio " << fixed(ratio)
              << " | target <= " << fixed(target) << (ratio <= target ? " reached" : " not reached") << "\n"
              << std::flush;
}

template <class T>
inline void use(const T& value) {
    asm volatile("" : : "g"(value) : "memory");
}

double thread_cpu_ns() {
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e9 + double(ts.tv_nsec);
}

// ------------------------------------------------------------ round trips

struct Samples {
    std::vector<double> us;
    int lost = 0;
    void add(const Samples& o) {
        us.insert(us.end(), o.us.begin(), o.us.end());
        lost += o.lost;
    }
};

// A's datagrams, one every intervalMs; a lost acknowledgement counts as 1 s.
bool phone_round_trips(HostProcess& host, Phone& phone, int count, const Options& o, Samples& s) {
    Fd fd = udp_from("127.0.0.1", host.port());
    const auto t0 = SteadyClock::now();
    for (int i = 0; i < count; ++i) {
        if (auto k = phone.keepalive(1000ms); !k) {
            std::cerr << "hearthpad_contention: phone A lost its session: " << k.error().text << "\n";
            return false;
        }
        const auto seq = phone.next_seq();
        const Bytes d = sealed_datagram(phone.key(), seq, true), ack = ack_of(phone.key(), seq);
        if (auto r = round_trip(fd.get(), d, ack, 1000ms)) {
            s.us.push_back(*r);
        } else {
            s.us.push_back(1e6);
            ++s.lost;
        }
        std::this_thread::sleep_until(t0 + std::chrono::milliseconds(o.intervalMs * (i + 1)));
    }
    return true;
}

// Something loud running on a thread of its own until stopped.
class Load {
public:
    explicit Load(std::function<void(const std::atomic<bool>&)> body)
        : thread_([this, body = std::move(body)] { body(stop_); }) {}
    ~Load() {
        stop_ = true;
        thread_.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

struct PhaseResult {
    Samples quiet, loud;
    std::uint64_t loudEvents = 0;  // authentications or handshakes done during the loud rounds
    double loudSeconds = 0;
};

bool phase(HostProcess& host, Phone& a, const Options& o, PhaseResult& r,
           const std::function<void(const std::atomic<bool>&, std::atomic<std::uint64_t>&)>& loud) {
    const int each = std::max(1, o.samples / o.rounds);
    std::atomic<std::uint64_t> events{0};
    for (int round = 0; round < o.rounds; ++round) {
        Samples q, l;
        if (!phone_round_trips(host, a, each, o, q)) return false;
        r.quiet.add(q);
        const auto t0 = SteadyClock::now();
        {
            Load load([&](const std::atomic<bool>& stop) { loud(stop, events); });
            std::this_thread::sleep_for(200ms);  // the load in full swing
            if (!phone_round_trips(host, a, each, o, l)) return false;
        }
        r.loudSeconds += std::chrono::duration<double>(SteadyClock::now() - t0).count();
        r.loud.add(l);
        std::this_thread::sleep_for(300ms);  // the host lets go of the load's sessions
    }
    r.loudEvents = events;
    return true;
}

void report(const std::string& what, const PhaseResult& r, const Options& o, double p99Target, bool maxGoal) {
    auto over = [](const std::vector<double>& v, double us) {
        return std::count_if(v.begin(), v.end(), [&](double x) { return x > us; });
    };
    auto line = [&](const char* side, const Samples& s) {
        note(std::string(side) + ": " + std::to_string(s.us.size()) + " round trips, p50 " +
             fixed(percentile(s.us, 50), 1) + " us, p99 " + fixed(percentile(s.us, 99), 1) + " us, max " +
             fixed(*std::max_element(s.us.begin(), s.us.end()), 1) + " us, " + std::to_string(over(s.us, 30000)) +
             " over 30 ms, " + std::to_string(s.lost) + " unacknowledged within 1 s");
    };
    line("alone", r.quiet);
    line(what.c_str(), r.loud);
    note(what + ": " + std::to_string(r.loudEvents) + " in " + fixed(r.loudSeconds, 1) + " s");
    const double q99 = percentile(r.quiet.us, 99), l99 = percentile(r.loud.us, 99);
    figure("phone A's datagram round trip p99 while " + what, fixed(l99, 1) + " us",
           "alone " + fixed(q99, 1) + " us", l99 / q99, p99Target);
    if (maxGoal) {
        const double mx = *std::max_element(r.loud.us.begin(), r.loud.us.end());
        const double third = o.fsyncDelayMs * 1000.0 / 3;
        std::cout << "FIGURE phone A's longest round trip while " << what << ": " << fixed(mx, 1)
                  << " us | target <= a third of one flush (" << fixed(third, 0) << " us) "
                  << (mx <= third ? "reached" : "not reached") << "\n"
                  << std::flush;
    }
}

// ---------------------------------------------------------- authentication

// Median over five runs of the mean CPU time of one call on this thread.
double cpu_ns_per_call(int iterations, const std::function<void(int)>& call) {
    std::vector<double> runs;
    for (int r = 0; r < 5; ++r) {
        const double t0 = thread_cpu_ns();
        for (int i = 0; i < iterations; ++i) call(i);
        runs.push_back((thread_cpu_ns() - t0) / iterations);
    }
    return percentile(runs, 50);
}


// CPU of one durable save of `bytes` bytes (write, fsync, rename, directory
// fsync) into a folder beside the hosts' data directories.
double measure_save_ns(std::size_t bytes) {
    const auto dir = std::filesystem::temp_directory_path() / ("hp-contention-save-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const Bytes content(bytes, static_cast<std::uint8_t>('x'));
    const double ns = cpu_ns_per_call(40, [&](int) {
        use(write_file_atomically(dir / "paired_devices.json", dir / "paired_devices.tmp", content).has_value());
    });
    std::filesystem::remove_all(dir);
    return ns;
}

bool authentication_cost(const Options& o) {
    HostOptions ho;
    ho.program = o.console;
    auto started = HostProcess::start(ho);
    if (!started) {
        std::cerr << "hearthpad_contention: " << started.error().text << "\n";
        return false;
    }
    HostProcess& host = **started;
    Phone phone;
    if (auto s = phone.pair(host); !s) {
        std::cerr << "hearthpad_contention: " << s.error().text << "\n";
        return false;
    }
    std::this_thread::sleep_for(500ms);
    const PrimitiveCost before = measure_primitives(cpu_ns_per_call);
    const double saveBefore = measure_save_ns(620);  // one record's store, as this host's
    SourcePacer pacer(1, 31, std::chrono::milliseconds(111));
    int done = 0, refused = 0;
    const auto s0 = host.sample();
    const auto until = SteadyClock::now() + 60s;
    for (int i = 0; i < o.handshakes && SteadyClock::now() < until; ++i) {
        if (auto c = phone.authenticate_from(pacer.next())) {
            ++done;
            (*c)->close();
        } else {
            ++refused;
        }
        (void)phone.keepalive();
    }
    std::this_thread::sleep_for(300ms);  // the host ends the last sessions and saves the last visit
    const auto d = host.sample() - s0;
    const PrimitiveCost after = measure_primitives(cpu_ns_per_call);
    const double saveAfter = measure_save_ns(620);
    const double primitives = (before.sum() + after.sum()) / 2, save = (saveBefore + saveAfter) / 2;
    note("baseline primitives (CPU of this thread): " + fixed(before.sum() / 1000, 1) + " us before, " +
         fixed(after.sum() / 1000, 1) + " us after; one durable save of a 620-byte store: " +
         fixed(saveBefore / 1000, 1) + " us before, " + fixed(saveAfter / 1000, 1) + " us after");
    note("authentications: " + std::to_string(done) + " completed, " + std::to_string(refused) +
         " refused, from 31 loopback sources; host CPU " + fixed(double(d.cpuNs) / 1e6, 1) + " ms");
    if (done == 0) return false;
    const double each = double(d.cpuNs) / done;
    figure("host CPU per authentication (connect, handshake, session, close)", fixed(each / 1000, 1) + " us",
           "primitives " + fixed(primitives / 1000, 1) + " us + one durable save " + fixed(save / 1000, 1) + " us",
           each / (primitives + save), 1.5);
    return true;
}

// ------------------------------------------------------------------ driver

std::string beside_tool(const std::string& name) {
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? name : (self.parent_path() / name).string();
}

int run(const Options& o) {
    crypto::init();
    std::cout << "hearthpad_contention: " << online_cores() << " online cores; every fsync of the host "
              << o.fsyncDelayMs << " ms slower\n";
    HostOptions ho;
    ho.program = o.console;
    ho.environment = {{"LD_PRELOAD", o.shim}, {"HEARTHPAD_FSYNC_DELAY_MS", std::to_string(o.fsyncDelayMs)}};
    auto started = HostProcess::start(ho);
    if (!started) {
        std::cerr << "hearthpad_contention: " << started.error().text << "\n";
        return 1;
    }
    HostProcess& host = **started;
    std::cout << "host: " << o.console << " (pid " << host.pid() << ", port " << host.port() << ")\n";
    Phone a, b;
    if (auto s = a.pair(host); !s) {
        std::cerr << "hearthpad_contention: phone A: " << s.error().text << "\n";
        return 1;
    }
    if (auto s = b.pair(host); !s) {
        std::cerr << "hearthpad_contention: phone B: " << s.error().text << "\n";
        return 1;
    }
    b.disconnect();
    note("phones A and B paired from 127.0.0.1");

    // 1. B authenticates again and again, each source under its rate.
    PhaseResult authLoop;
    SourcePacer pacer(100, 129, std::chrono::milliseconds(105));
    bool ok = phase(host, a, o, authLoop, [&](const std::atomic<bool>& stop, std::atomic<std::uint64_t>& n) {
        while (!stop) {
            if (auto c = b.authenticate_from(pacer.next(), 2000ms)) {
                ++n;
                (*c)->close();
            }
        }
    });
    if (ok) report("phone B authenticates in a loop", authLoop, o, 1.5, true);

    // 2. 20 sources open authentications in A's name at their limit.
    PhaseResult burst;
    const std::string hello = test::AuthClient(a.identity(), a.pinned_host()).hello_body();
    const Bytes frame = test::client_plain_frame(test::frame_type::AuthHello, as_bytes(hello));
    ok = ok && phase(host, a, o, burst, [&](const std::atomic<bool>& stop, std::atomic<std::uint64_t>& n) {
        // 20 sources, 10 a second each: one every 5 ms, round robin.
        const auto t0 = SteadyClock::now();
        for (std::uint64_t i = 0; !stop; ++i) {
            Fd fd = tcp_from(loopback(2 + static_cast<int>(i % 20)), host.port());
            std::uint8_t reply[4096];
            if (fd && ::send(fd.get(), frame.data(), frame.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(frame.size())) {
                pollfd p{fd.get(), POLLIN, 0};
                if (::poll(&p, 1, 1000) == 1 && ::recv(fd.get(), reply, sizeof reply, 0) >= 5 &&
                    reply[4] == test::frame_type::AuthChallenge)
                    ++n;
            }
            fd.reset_hard();
            std::this_thread::sleep_until(t0 + std::chrono::milliseconds(5 * (i + 1)));
        }
    });
    if (ok) report("20 sources open handshakes at their limit", burst, o, 2.0, false);

    // 3. What one authentication costs, on a disk as it is.
    ok = ok && authentication_cost(o);
    std::cout << "hearthpad_contention: " << (ok ? "done" : "stopped early") << "\n";
    return ok ? 0 : 1;
}

const char* kUsage =
    "usage: hearthpad_contention [--console PATH] [--shim PATH] [--fsync-delay-ms MS] [--samples N]\n"
    "                            [--interval-ms MS] [--rounds N] [--handshakes N]\n";

std::optional<Options> parse(int argc, char** argv) {
    Options o;
    o.shim = beside_tool("libhearthpad_slow_fsync.so");
    const std::map<std::string, int*> numbers = {
        {"--fsync-delay-ms", &o.fsyncDelayMs}, {"--samples", &o.samples}, {"--interval-ms", &o.intervalMs},
        {"--rounds", &o.rounds},               {"--handshakes", &o.handshakes},
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) return std::nullopt;
        if (arg == "--console") {
            o.console = argv[++i];
        } else if (arg == "--shim") {
            o.shim = argv[++i];
        } else if (auto it = numbers.find(arg); it != numbers.end()) {
            *it->second = std::max(1, std::atoi(argv[++i]));
        } else {
            return std::nullopt;
        }
    }
    // Bounds: every loop stays small enough to end within minutes.
    o.samples = std::min(o.samples, 5000);
    o.intervalMs = std::min(o.intervalMs, 100);
    o.rounds = std::min(o.rounds, 20);
    o.handshakes = std::min(o.handshakes, 2000);
    o.fsyncDelayMs = std::min(o.fsyncDelayMs, 1000);
    return o;
}

}  // namespace
}  // namespace hp::bench

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    const auto o = hp::bench::parse(argc, argv);
    if (!o) {
        std::cerr << hp::bench::kUsage;
        return 2;
    }
    return hp::bench::run(*o);
}
