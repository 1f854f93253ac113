// hearthpad_load: what the host costs under load and under attack, each
// figure as a ratio against a baseline measured in the same run on the same
// machine (a bare UDP echo, one ChaCha20-Poly1305 open, the handshake's
// primitives), because absolute times on a shared machine move from run to run.
//
// The host is the release hearthpad-console, started as a child process with a
// data directory of its own; its CPU time, memory and socket queue are read
// from /proc. All traffic goes to 127.0.0.0/8; every loop is bounded in count
// and time; the host is stopped at the end.
#include <sodium.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "attack.h"
#include "bench_client.h"
#include "bench_net.h"
#include "crypto/crypto.h"
#include "host_process.h"
#include "primitive_cost.h"

namespace hp::bench {
namespace {

struct Options {
    std::string console = default_console_path();
    int samples = 3000;              // round trips per side (host, echo)
    int floodMs = 2000;              // each datagram flood whose CPU is measured
    int handshakes = 200;            // authentications whose CPU is measured
    int sessions = 100;              // sessions held to measure memory
    int idleConnections = 64;        // silent TCP connections held to measure memory
    int attackSamples = 2000;        // the phone's round trips with and without the attack
    int attackConnections = 1000;    // connections the attacker keeps open at most
    int attackDatagramRate = 100000; // forged datagrams per second during the attack
    int attackSources = 1;           // attacker addresses from 127.0.0.2 on
    int hostFdLimit = 1024;          // the host's soft descriptor limit (a desktop default)
};

// ---------------------------------------------------------------- printing

void note(const std::string& text) {
    std::cout << "  " << text << "\n" << std::flush;
}

std::string fixed(double v, int digits = 2) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", digits, v);
    return buf;
}

// One line per figure: what the host did, the baseline, the ratio and the
// target with its verdict.
void figure(const std::string& name, const std::string& measured, const std::string& baseline,
            double ratio, double target, const std::string& targetText = "") {
    std::cout << "FIGURE " << name << ": " << measured << " | baseline " << baseline << " | ratio "
              << fixed(ratio) << " | target " << (targetText.empty() ? "<= " + fixed(target) : targetText)
              << (ratio <= target ? " reached" : " not reached") << "\n"
              << std::flush;
}

void absolute(const std::string& name, const std::string& measured, const std::string& target = "") {
    std::cout << "FIGURE " << name << ": " << measured << (target.empty() ? "" : " | target " + target)
              << "\n"
              << std::flush;
}

std::string load_average() {
    std::FILE* f = std::fopen("/proc/loadavg", "r");
    char buf[128] = {};
    if (f) {
        if (!std::fgets(buf, sizeof buf, f)) buf[0] = 0;
        std::fclose(f);
    }
    std::string s = buf;
    if (!s.empty() && s.back() == '\n') s.pop_back();
    return s;
}

// ------------------------------------------------------------------ timing

// Keeps a result the optimiser would otherwise drop with the call.
template <class T>
inline void use(const T& value) {
    asm volatile("" : : "g"(value) : "memory");
}

// Median over `reps` runs of the mean time of one call, in nanoseconds.
double ns_per_call(int iterations, const std::function<void(int)>& call, int reps = 5) {
    std::vector<double> runs;
    for (int r = 0; r < reps; ++r) {
        const auto t0 = SteadyClock::now();
        for (int i = 0; i < iterations; ++i) call(i);
        runs.push_back(std::chrono::duration<double, std::nano>(SteadyClock::now() - t0).count() / iterations);
    }
    return percentile(runs, 50);
}

// ------------------------------------------------------------------ figures

// Baselines are measured in the tool right before and right after the
// figure they serve, and averaged, so that both sides see the same machine.
struct AeadCost {
    double forgedNs = 0, validNs = 0;  // one open of a 36-byte datagram, wrong and right tag
};

AeadCost measure_aead() {
    AeadCost c;
    crypto::Key32 key{};
    crypto::random_bytes(key);
    const Bytes forged = forged_datagram(7);
    const Bytes valid = sealed_datagram(key, 7, false);
    const auto nonce = crypto::make_nonce("CUDP", 7);
    auto open = [&](const Bytes& d) {
        std::uint8_t plain[8];
        unsigned long long len = 0;
        return crypto_aead_chacha20poly1305_ietf_decrypt(plain, &len, nullptr, d.data() + 12, 24, d.data(), 12,
                                                         nonce.data(), key.data());
    };
    if (open(valid) != 0 || open(forged) == 0) note("warning: the AEAD baseline does not behave");
    c.forgedNs = ns_per_call(200000, [&](int) { use(open(forged)); });
    c.validNs = ns_per_call(200000, [&](int) { use(open(valid)); });
    return c;
}

// Wall time, as the load tool's other baselines.
double wall_ns_per_call(int iterations, const std::function<void(int)>& call) { return ns_per_call(iterations, call); }

AeadCost average(const AeadCost& a, const AeadCost& b) {
    return {(a.forgedNs + b.forgedNs) / 2, (a.validNs + b.validNs) / 2};
}

PrimitiveCost average(const PrimitiveCost& a, const PrimitiveCost& b) {
    return {(a.keypairNs + b.keypairNs) / 2, (a.x25519Ns + b.x25519Ns) / 2, (a.signNs + b.signNs) / 2,
            (a.verifyNs + b.verifyNs) / 2, (a.hkdfNs + b.hkdfNs) / 2};
}

void report(const AeadCost& before, const AeadCost& after) {
    note("baseline ChaCha20-Poly1305 open of a 36-byte datagram (libsodium), before and after the floods: " +
         fixed(before.forgedNs, 0) + " and " + fixed(after.forgedNs, 0) + " ns with a wrong tag, " +
         fixed(before.validNs, 0) + " and " + fixed(after.validNs, 0) + " ns with a right one");
}

void report(const PrimitiveCost& before, const PrimitiveCost& after) {
    const auto b = average(before, after);
    note("baseline handshake primitives (libsodium; HKDF from HMAC-SHA256), mean of before and after: X25519 key pair " +
         fixed(b.keypairNs / 1000, 1) + " us, X25519 " + fixed(b.x25519Ns / 1000, 1) + " us, Ed25519 sign " +
         fixed(b.signNs / 1000, 1) + " us, verify " + fixed(b.verifyNs / 1000, 1) + " us, HKDF-SHA256 " +
         fixed(b.hkdfNs / 1000, 1) + " us; sum " + fixed(before.sum() / 1000, 1) + " us before, " +
         fixed(after.sum() / 1000, 1) + " us after");
}

// Keeps the phone's session alive; a failure ends the run.
bool keep(Phone& phone) {
    if (auto r = phone.keepalive(); !r) {
        std::cerr << "hearthpad_load: the phone lost its session: " << r.error().text << "\n";
        return false;
    }
    return true;
}

struct RoundTrips {
    std::vector<double> host, echo;
    int lostHost = 0, lostEcho = 0;
};

// Samples alternate between the host and the echo, so both see the same
// machine.
bool sample_round_trips(HostProcess& host, Phone& phone, const UdpEcho& echo, int count, RoundTrips& r) {
    Fd toHost = udp_from("127.0.0.1", host.port());
    Fd toEcho = udp_from("127.0.0.1", echo.port());
    const auto until = SteadyClock::now() + 60s;
    for (int i = 0; i < count && SteadyClock::now() < until; ++i) {
        if (!keep(phone)) return false;
        const auto seq = phone.next_seq();
        const Bytes d = sealed_datagram(phone.key(), seq, true);
        const Bytes ack = ack_of(phone.key(), seq), echoed = UdpEcho::reply_to(seq);
        if (auto t = round_trip(toHost.get(), d, ack, 500ms)) r.host.push_back(*t); else ++r.lostHost;
        if (auto t = round_trip(toEcho.get(), d, echoed, 500ms)) r.echo.push_back(*t); else ++r.lostEcho;
    }
    return !r.host.empty() && !r.echo.empty();
}

// Twice: first with the host, the echo and this thread on one CPU, so that
// where the scheduler places the threads (a wake-up on another, idle
// virtual CPU costs tens of microseconds here) does not decide the figure;
// then with free placement, for comparison.
bool round_trips(HostProcess& host, Phone& phone, const UdpEcho& echo, const Options& o) {
    if (!echo.running()) return false;
    const int cpu = online_cores() - 1;
    RoundTrips pinned, free;
    host.pin(cpu);
    pin_task(echo.pid(), cpu);
    pin_task(0, cpu);
    const bool ok = sample_round_trips(host, phone, echo, o.samples, pinned);
    host.pin(std::nullopt);
    pin_task(echo.pid(), std::nullopt);
    pin_task(0, std::nullopt);
    if (!ok || !sample_round_trips(host, phone, echo, o.samples, free)) return false;
    note("round trips on CPU " + std::to_string(cpu) + ": " + std::to_string(pinned.host.size()) + " through the host (" +
         std::to_string(pinned.lostHost) + " lost), " + std::to_string(pinned.echo.size()) + " through the echo (" +
         std::to_string(pinned.lostEcho) + " lost); then as many with free placement");
    for (double p : {50.0, 99.0}) {
        const double hp = percentile(pinned.host, p), ep = percentile(pinned.echo, p);
        figure("datagram->acknowledgement round trip p" + fixed(p, 0) + " (one CPU)", "host " + fixed(hp, 1) + " us",
               "bare UDP echo process " + fixed(ep, 1) + " us", hp / ep, p < 60 ? 1.25 : 1.5);
    }
    for (double p : {50.0, 99.0}) {
        const double hp = percentile(free.host, p), ep = percentile(free.echo, p);
        absolute("datagram->acknowledgement round trip p" + fixed(p, 0) + " (free placement)",
                 "host " + fixed(hp, 1) + " us | baseline bare UDP echo process " + fixed(ep, 1) + " us | ratio " +
                     fixed(hp / ep));
    }
    return true;
}

struct FloodResult {
    std::uint64_t sent = 0, dropped = 0;
    ProcessDelta cpu;
    bool drained = false;
    std::uint64_t processed() const { return sent - std::min(sent, dropped); }
    double ns_each() const { return processed() ? double(cpu.cpuNs) / double(processed()) : 0; }
};

// A datagram flood as fast as the tool can send for `o.floodMs`; the host's
// CPU over the flood divided by the datagrams it took off its socket (the
// kernel's drops at a full queue are not the host's work).
FloodResult flood(HostProcess& host, const std::string& source,
                  const std::function<void(std::uint64_t, Bytes&)>& next, const Options& o) {
    FloodResult r;
    Fd fd = udp_from(source, host.port());
    host.wait_udp_drained(2s);
    const auto u0 = host.udp_socket();
    const auto s0 = host.sample();
    r.sent = send_datagrams(fd.get(), next, std::chrono::milliseconds(o.floodMs), 20'000'000, 0);
    r.drained = host.wait_udp_drained(10s);
    std::this_thread::sleep_for(20ms);
    const auto s1 = host.sample();
    const auto u1 = host.udp_socket();
    r.dropped = u1.drops - std::min(u1.drops, u0.drops);
    r.cpu = s1 - s0;
    note("flood from " + source + ": " + std::to_string(r.sent) + " sent in " + std::to_string(o.floodMs) +
         " ms, " + std::to_string(r.dropped) + " dropped by the kernel at the host's full queue, " +
         std::to_string(r.processed()) + " read by the host; host CPU " + fixed(double(r.cpu.cpuNs) / 1e6, 1) +
         " ms (" + fixed(double(r.cpu.statCpuNs) / 1e6, 0) + " ms in /proc/<pid>/stat ticks)" +
         (r.drained ? "" : "; the queue did not drain"));
    return r;
}

bool datagram_costs(HostProcess& host, Phone& phone, const Options& o) {
    if (!keep(phone)) return false;
    const AeadCost before = measure_aead();
    const auto withSession = flood(host, "127.0.0.1", [](std::uint64_t i, Bytes& out) { out = forged_datagram(i); }, o);
    if (!keep(phone)) return false;
    const auto noSession = flood(host, "127.0.0.3", [](std::uint64_t i, Bytes& out) { out = forged_datagram(i); }, o);
    if (!keep(phone)) return false;
    const crypto::Key32 key = phone.key();
    const auto valid = flood(host, "127.0.0.1",
                             [&](std::uint64_t, Bytes& out) { out = sealed_datagram(key, phone.next_seq(), false); }, o);
    if (!keep(phone)) return false;
    const AeadCost after = measure_aead();
    report(before, after);
    const AeadCost b = average(before, after);
    auto rate = [](const FloodResult& r) {
        return r.ns_each() > 0 ? fixed(1e9 / r.ns_each() / 1e6, 2) + " million per CPU-second" : std::string("-");
    };
    figure("host CPU per forged datagram, source with a session",
           fixed(withSession.ns_each(), 0) + " ns (" + rate(withSession) + ")",
           "AEAD open, wrong tag " + fixed(b.forgedNs, 0) + " ns", withSession.ns_each() / b.forgedNs, 1.5);
    figure("host CPU per forged datagram, source without a session", fixed(noSession.ns_each(), 0) + " ns (" + rate(noSession) + ")",
           "AEAD open, wrong tag " + fixed(b.forgedNs, 0) + " ns", noSession.ns_each() / b.forgedNs, 0.5,
           "well under 1 (taken as <= 0.50)");
    figure("host CPU per valid datagram (zero mouse move, no acknowledgement)",
           fixed(valid.ns_each(), 0) + " ns (" + rate(valid) + ")", "AEAD open, right tag " + fixed(b.validNs, 0) + " ns",
           valid.ns_each() / b.validNs, 1.5);
    return true;
}

bool handshake_cost(HostProcess& host, Phone& phone, SourcePacer& pacer, const Options& o) {
    if (!keep(phone)) return false;
    const PrimitiveCost before = measure_primitives(wall_ns_per_call);
    if (!keep(phone)) return false;
    int done = 0, refused = 0;
    std::map<std::string, int> reasons;
    const auto s0 = host.sample();
    const auto until = SteadyClock::now() + 60s;
    for (int i = 0; i < o.handshakes && SteadyClock::now() < until; ++i) {
        auto c = phone.authenticate_from(pacer.next());
        if (c) {
            ++done;
            (*c)->close();
        } else {
            ++refused;
            ++reasons[c.error().text];
        }
        if (!keep(phone)) return false;
    }
    std::this_thread::sleep_for(300ms);  // the host ends the last sessions
    const auto d = host.sample() - s0;
    if (!keep(phone)) return false;
    const PrimitiveCost after = measure_primitives(wall_ns_per_call);
    report(before, after);
    const PrimitiveCost b = average(before, after);
    std::string why;
    for (const auto& [text, n] : reasons) why += "; " + std::to_string(n) + "x " + text;
    note("authentications: " + std::to_string(done) + " completed, " + std::to_string(refused) +
         " refused, from " + std::to_string(pacer.sources()) +
         " loopback sources at most 9 per second each; host CPU " + fixed(double(d.cpuNs) / 1e6, 1) + " ms" + why);
    if (done == 0) return false;
    const double each = double(d.cpuNs) / done;
    figure("host CPU per authentication (connect, handshake, session, close)", fixed(each / 1000, 1) + " us",
           "sum of primitives " + fixed(b.sum() / 1000, 1) + " us", each / b.sum(), 1.15);

    // The half an attacker can make the host do without a key: AuthHello
    // in the phone's name answered by AuthChallenge, then a reset.
    const std::string hello = test::AuthClient(phone.identity(), phone.pinned_host()).hello_body();
    const Bytes frame = test::client_plain_frame(test::frame_type::AuthHello, as_bytes(hello));
    int answered = 0;
    const auto h0 = host.sample();
    for (int i = 0; i < o.handshakes && SteadyClock::now() < until + 30s; ++i) {
        Fd fd = tcp_from(pacer.next(), host.port());
        std::uint8_t reply[4096];
        if (fd && ::send(fd.get(), frame.data(), frame.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(frame.size())) {
            pollfd p{fd.get(), POLLIN, 0};
            if (::poll(&p, 1, 2000) == 1 && ::recv(fd.get(), reply, sizeof reply, 0) >= 5 &&
                reply[4] == test::frame_type::AuthChallenge)
                ++answered;
        }
        fd.reset_hard();
        if (!keep(phone)) return false;
    }
    std::this_thread::sleep_for(300ms);
    const auto h = host.sample() - h0;
    note("AuthHello left unanswered: " + std::to_string(answered) + " of " + std::to_string(o.handshakes) +
         " answered with AuthChallenge; host CPU " + fixed(double(h.cpuNs) / 1e6, 1) + " ms");
    if (answered > 0) {
        const double half = double(h.cpuNs) / answered;
        absolute("host CPU per AuthHello answered and abandoned (connect, key pair, signature, reset)",
                 fixed(half / 1000, 1) + " us | baseline X25519 key pair + Ed25519 sign " +
                     fixed((b.keypairNs + b.signNs) / 1000, 1) + " us | ratio " + fixed(half / (b.keypairNs + b.signNs)));
    }
    return true;
}

// Pings every held session (the host ends sessions silent for 10 s).
void ping_all(std::vector<std::unique_ptr<test::TestClient>>& held) {
    for (auto& c : held) {
        if (!c->send_secure(test::frame_type::Ping, std::string_view("{\"ts\":1}"))) continue;
        (void)c->recv();
    }
}

bool memory_costs(HostProcess& host, Phone& phone, SourcePacer& pacer, const Options& o) {
    if (!keep(phone)) return false;
    // Authenticated sessions.
    std::this_thread::sleep_for(300ms);
    const auto m0 = host.memory();
    std::vector<std::unique_ptr<test::TestClient>> held;
    int refused = 0;
    auto lastPing = SteadyClock::now();
    const auto until = SteadyClock::now() + 60s;
    while (static_cast<int>(held.size()) < o.sessions && SteadyClock::now() < until) {
        if (auto c = phone.authenticate_from(pacer.next())) held.push_back(std::move(*c)); else ++refused;
        if (SteadyClock::now() - lastPing > 4s) {
            ping_all(held);
            (void)phone.keepalive(0ms);
            lastPing = SteadyClock::now();
        }
    }
    std::this_thread::sleep_for(300ms);
    const auto m1 = host.memory();
    const auto sessions = held.size();
    held.clear();
    std::this_thread::sleep_for(500ms);
    const auto m2 = host.memory();
    note("sessions held: " + std::to_string(sessions) + " (" + std::to_string(refused) + " refused); VmRSS " +
         std::to_string(m0.rssKb) + " kB before, " + std::to_string(m1.rssKb) + " kB with them, " +
         std::to_string(m2.rssKb) + " kB after they closed");
    if (sessions > 0)
        absolute("resident memory per authenticated session",
                 fixed(double(m1.rssKb) - double(m0.rssKb) > 0 ? (double(m1.rssKb) - double(m0.rssKb)) / double(sessions) : 0, 1) +
                     " kB (VmRSS difference over " + std::to_string(sessions) + " sessions)",
                 "<= 24 kB");
    if (!keep(phone)) return false;

    // Silent connections, 8 per source from 127.0.0.40 on (the
    // per-source limit of unauthenticated connections).
    const auto c0 = host.memory();
    std::vector<Fd> idle;
    int failed = 0;
    for (int i = 0; i < o.idleConnections; ++i) {
        if (Fd fd = tcp_from(loopback(40 + i / 8), host.port())) idle.push_back(std::move(fd)); else ++failed;
    }
    std::this_thread::sleep_for(1s);
    const auto alive = std::count_if(idle.begin(), idle.end(), [](const Fd& fd) { return silent_and_open(fd.get()); });
    const auto c1 = host.memory();
    idle.clear();
    note("silent connections: " + std::to_string(o.idleConnections) + " opened from " +
         std::to_string((o.idleConnections + 7) / 8) + " sources (8 each), " + std::to_string(failed) +
         " failed to connect, " + std::to_string(alive) + " still open after 1 s; VmRSS " +
         std::to_string(c0.rssKb) + " kB before, " + std::to_string(c1.rssKb) + " kB with them");
    if (alive > 0)
        absolute("resident memory per silent unauthenticated connection",
                 fixed(std::max(0.0, double(c1.rssKb) - double(c0.rssKb)) / double(alive), 1) + " kB (VmRSS difference over " +
                     std::to_string(alive) + " connections)");
    std::this_thread::sleep_for(300ms);
    return keep(phone);
}

struct PhoneSamples {
    std::vector<double> datagram, ping;
    int lost = 0;
};

// The phone's input as a person would send it: a datagram asking for an
// acknowledgement every 2 ms, a Ping every tenth. A lost acknowledgement
// counts as 500 ms.
bool phone_samples(HostProcess& host, Phone& phone, int count, PhoneSamples& s) {
    Fd fd = udp_from("127.0.0.1", host.port());
    const auto t0 = SteadyClock::now();
    for (int i = 0; i < count && SteadyClock::now() - t0 < 30s; ++i) {
        const auto seq = phone.next_seq();
        const Bytes d = sealed_datagram(phone.key(), seq, true), ack = ack_of(phone.key(), seq);
        if (auto r = round_trip(fd.get(), d, ack, 500ms)) {
            s.datagram.push_back(*r);
        } else {
            s.datagram.push_back(500000);
            ++s.lost;
        }
        if (i % 10 == 0) {
            if (auto r = phone.ping_us()) s.ping.push_back(*r);
            else if (!keep(phone)) return false;
        }
        std::this_thread::sleep_until(t0 + std::chrono::milliseconds(2 * (i + 1)));
    }
    return true;
}

// Rounds of quiet and attack in turn, so that whatever else the machine
// does falls on both sides alike.
bool attack_figure(HostProcess& host, Phone& phone, const Options& o) {
    constexpr int kRounds = 8;
    PhoneSamples quiet, loud;
    AttackCounts counts;
    AttackPlan plan;
    plan.port = host.port();
    plan.sources = o.attackSources;
    plan.connections = o.attackConnections;
    plan.datagramRate = o.attackDatagramRate;
    plan.cpu = 0;
    ProcessDelta cpu;
    std::uint64_t drops = 0;
    for (int round = 0; round < kRounds; ++round) {
        if (!keep(phone) || !phone_samples(host, phone, o.attackSamples / kRounds, quiet)) return false;
        const auto s0 = host.sample();
        const auto u0 = host.udp_socket();
        {
            Attack attack(plan, phone.identity(), phone.pinned_host(), counts);
            std::this_thread::sleep_for(500ms);  // the attack in full swing
            if (!phone_samples(host, phone, o.attackSamples / kRounds, loud)) return false;
        }
        const auto d = host.sample() - s0;
        const auto u1 = host.udp_socket();
        cpu.seconds += d.seconds;
        cpu.cpuNs += d.cpuNs;
        drops += u1.drops - std::min(u1.drops, u0.drops);
        std::this_thread::sleep_for(500ms);  // the host lets go of the attacker's connections
    }
    note("attack from " + std::to_string(o.attackSources) + " address(es) from 127.0.0.2, its threads on CPU 0, " +
         std::to_string(kRounds) + " rounds, " + fixed(cpu.seconds, 1) + " s in all: " +
         std::to_string(counts.connections) + " silent connections opened (at most " +
         std::to_string(o.attackConnections) + " held; " + std::to_string(counts.foundClosed) +
         " found closed by the host when replaced; " + std::to_string(counts.connectFailures) + " failed), " +
         std::to_string(counts.handshakes) + " handshakes opened (" + std::to_string(counts.challenges) +
         " answered with AuthChallenge, " + std::to_string(counts.infos) + " with HostInfo, " +
         std::to_string(counts.unanswered) + " closed or unanswered; " +
         std::to_string(counts.handshakeConnectFailures) + " connects failed), " + std::to_string(counts.datagrams) +
         " forged datagrams (" + std::to_string(drops) + " dropped at the host's full queue); host CPU " +
         fixed(double(cpu.cpuNs) / 1e6, 0) + " ms");
    note("the phone: " + std::to_string(quiet.datagram.size()) + " datagram round trips and " +
         std::to_string(quiet.ping.size()) + " pings each side, one every 2 ms; acknowledgements lost: " +
         std::to_string(quiet.lost) + " quiet, " + std::to_string(loud.lost) +
         " under attack (a lost one counts as 500 ms)");
    auto both = [](const std::vector<double>& v) {
        return fixed(percentile(v, 99), 1) + " us (p50 " + fixed(percentile(v, 50), 1) + " us)";
    };
    figure("phone's datagram->acknowledgement p99 under attack", both(loud.datagram), "without the attack " + both(quiet.datagram),
           percentile(loud.datagram, 99) / percentile(quiet.datagram, 99), 2.0);
    figure("phone's Ping->Pong p99 under attack", both(loud.ping), "without the attack " + both(quiet.ping),
           percentile(loud.ping, 99) / percentile(quiet.ping, 99), 2.0);
    return true;
}

// ------------------------------------------------------------------ driver

const char* kUsage =
    "usage: hearthpad_load [--console PATH] [--samples N] [--flood-ms MS] [--handshakes N] [--sessions N]\n"
    "                      [--idle-connections N] [--attack-samples N] [--attack-connections N]\n"
    "                      [--attack-datagram-rate N] [--attack-sources N] [--host-fd-limit N]\n";

std::optional<Options> parse(int argc, char** argv) {
    Options o;
    const std::map<std::string, int*> numbers = {
        {"--samples", &o.samples},
        {"--flood-ms", &o.floodMs},
        {"--handshakes", &o.handshakes},
        {"--sessions", &o.sessions},
        {"--idle-connections", &o.idleConnections},
        {"--attack-samples", &o.attackSamples},
        {"--attack-connections", &o.attackConnections},
        {"--attack-datagram-rate", &o.attackDatagramRate},
        {"--attack-sources", &o.attackSources},
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
    // Bounds: every loop stays small enough to end within minutes.
    o.samples = std::min(o.samples, 20000);
    o.floodMs = std::min(o.floodMs, 10000);
    o.handshakes = std::min(o.handshakes, 2000);
    o.sessions = std::min(o.sessions, 1000);
    o.idleConnections = std::min(o.idleConnections, 8 * 200);
    o.attackSamples = std::min(o.attackSamples, 10000);
    o.attackConnections = std::min(o.attackConnections, 10000);
    o.attackSources = std::min(o.attackSources, 30);
    return o;
}

int run(const Options& o) {
    crypto::init();
    std::cout << "hearthpad_load: " << online_cores() << " online cores; load average " << load_average() << "\n";
    // The echo process goes first: it is forked before any thread starts.
    UdpEcho echo;
    HostOptions ho;
    ho.program = o.console;
    ho.fdLimit = o.hostFdLimit;
    auto started = HostProcess::start(ho);
    if (!started) {
        std::cerr << "hearthpad_load: " << started.error().text << "\n";
        return 1;
    }
    HostProcess& host = **started;
    std::cout << "host: " << o.console << " (pid " << host.pid() << ", port " << host.port()
              << ", descriptor limit " << o.hostFdLimit << ")\n";
    // The tool itself holds many sockets during the attack.
    rlimit r{};
    if (::getrlimit(RLIMIT_NOFILE, &r) == 0) {
        r.rlim_cur = r.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &r);
    }

    std::this_thread::sleep_until(host.started_at() + 6s);
    const auto idle = host.memory();
    absolute("resident memory of the idle host",
             fixed(double(idle.rssKb) / 1024, 2) + " MB VmRSS (" + fixed(double(idle.anonKb) / 1024, 2) +
                 " MB anonymous, " + fixed(double(idle.fileKb) / 1024, 2) + " MB file-backed), " +
                 std::to_string(host.thread_count()) + " threads, 6 s after start",
             "<= 4 MB");
    std::string largest;
    for (const auto& [name, kb] : host.resident_by_mapping(8))
        largest += (largest.empty() ? "" : ", ") + name + " " + std::to_string(kb) + " kB";
    note("largest resident mappings: " + largest);

    Phone phone;
    if (auto s = phone.pair(host); !s) {
        std::cerr << "hearthpad_load: " << s.error().text << "\n";
        return 1;
    }
    note("paired from 127.0.0.1");
    // Handshakes from 127.0.0.1..31, each source at most 9 a second: under
    // a per-source handshake rate limit of 10 a second.
    SourcePacer pacer(1, 31, std::chrono::milliseconds(111));
    const bool ok = round_trips(host, phone, echo, o) && datagram_costs(host, phone, o) &&
                    handshake_cost(host, phone, pacer, o) && memory_costs(host, phone, pacer, o) &&
                    attack_figure(host, phone, o);
    if (phone.reauthentications() > 0)
        note("the phone had to authenticate again " + std::to_string(phone.reauthentications()) + " time(s)");
    std::cout << "hearthpad_load: " << (ok ? "done" : "stopped early") << "; load average " << load_average()
              << "\n";
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
