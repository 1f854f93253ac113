// hearthpad_x11_latency: how long a phone's pointer move takes to reach an X
// client through the host, against XTEST injected directly, in the same run.
//
// Under an Xvfb of its own (a free display number, -nolisten tcp), an Xlib
// client maps a window with the pointer inside it. Two ways of moving the
// pointer by one pixel alternate, sample by sample:
//   direct  this tool's own XTEST connection: XTestFakeRelativeMotionEvent,
//           XFlush;
//   host    an authenticated MouseMove datagram, sent over 127.0.0.1 to a host
//           started in this process (start_host) with the X11 platform, paired
//           beforehand by the test client;
//   relay   a one-byte datagram over 127.0.0.1 to a thread of this tool that
//           waits in recv() and then injects as `direct` does: the hop every
//           network input pays (a datagram and a thread's wake-up) without
//           the host, to tell the host's own share from the hop's.
// Each sample runs from just before the injection or the datagram's send to
// the MotionNotify read by the client. Printed: median, 99th percentile and
// mean of both, and the ratio of the host's to the direct figure.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "client/datagram.h"
#include "client/input.h"
#include "host_ops/host_ops.h"
#include "main/start_host.h"
#include "platform/fake/fake_system.h"
#include "platform/x11/x11_platform.h"
#include "support/test_client.h"
#include "x11/x_session.h"

// After the project's headers: Xlib defines Status as a macro.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Stats {
    double p50 = 0, p99 = 0, mean = 0;
};

Stats stats(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    Stats s;
    s.p50 = v[v.size() / 2];
    s.p99 = v[std::min(v.size() - 1, v.size() * 99 / 100)];
    s.mean = std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size());
    return s;
}

int usage() {
    std::fprintf(stderr, "usage: hearthpad_x11_latency [--samples N]   (default 2000 of each kind)\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int samples = 2000;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--samples" && i + 1 < argc) samples = std::max(10, std::atoi(argv[++i]));
        else return usage();
    }

    auto xvfb = hp::test::Xvfb::start();
    if (!xvfb) {
        std::fprintf(stderr, "no X server: %s\n", xvfb.error().text.c_str());
        return 1;
    }
    const std::string display = (*xvfb)->display();
    auto receiver = hp::test::XReceiver::open(display);
    if (!receiver) {
        std::fprintf(stderr, "%s\n", receiver.error().text.c_str());
        return 1;
    }
    Display* direct = XOpenDisplay(display.c_str());
    int ev = 0, err = 0, major = 0, minor = 0;
    if (!direct || !XTestQueryExtension(direct, &ev, &err, &major, &minor)) {
        std::fprintf(stderr, "no XTEST on %s\n", display.c_str());
        return 1;
    }

    // The host, in this process, with the X11 platform on the same server.
    const auto dir = std::filesystem::temp_directory_path() / ("hp-x11-latency-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    auto system = std::make_shared<hp::fake::FakeSystem>();
    system->set_env("RC_DATA_DIR", (dir / "data").string());
    system->set_env("LOCALAPPDATA", (dir / "local").string());
    auto platform = hp::platform::x11::make_x11_platform({.display = display});
    if (!platform) {
        std::fprintf(stderr, "%s\n", platform.error().text.c_str());
        return 1;
    }
    hp::main::StartOptions options;
    options.system = system;
    options.platform = *platform;
    options.ports = hp::server::PortRange{0, 0};
    auto host = hp::main::start_host(std::move(options));
    if (!host) {
        std::fprintf(stderr, "host: %s\n", host.error().text.c_str());
        return 1;
    }
    hp::test::TestClient phone;
    const std::string code = hp::host_ops::open_pairing_code(*(*host)->state, *(*host)->network).code;
    if (auto s = phone.connect((*host)->tcpPort); !s) {
        std::fprintf(stderr, "connect: %s\n", s.error().text.c_str());
        return 1;
    }
    if (const auto r = phone.pair(code); !r.ok()) {
        std::fprintf(stderr, "pairing: %s\n", r.detail.c_str());
        return 1;
    }
    const auto key = phone.channel().key;
    const int udp = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons((*host)->state->info.udpPort);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);

    // The relay: a bare receiver that injects what it is sent.
    const int relayIn = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in relayAt{};
    relayAt.sin_family = AF_INET;
    relayAt.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t relayLen = sizeof relayAt;
    if (bind(relayIn, reinterpret_cast<const sockaddr*>(&relayAt), sizeof relayAt) != 0 ||
        getsockname(relayIn, reinterpret_cast<sockaddr*>(&relayAt), &relayLen) != 0) {
        std::fprintf(stderr, "relay socket failed\n");
        return 1;
    }
    Display* relayDisplay = XOpenDisplay(display.c_str());
    std::thread relay([&] {
        for (;;) {
            signed char b = 0;
            if (recv(relayIn, &b, 1, 0) != 1 || b == 0) return;
            XTestFakeRelativeMotionEvent(relayDisplay, b, 0, CurrentTime);
            XFlush(relayDisplay);
        }
    });

    std::uint64_t seq = 0;
    int step = 1;
    auto through_relay = [&] {
        const signed char b = static_cast<signed char>(step);
        (void)sendto(udp, &b, 1, 0, reinterpret_cast<const sockaddr*>(&relayAt), sizeof relayAt);
    };
    auto through_host = [&] {
        hp::client::InputCommand move = hp::client::mouse_move(static_cast<float>(step), 0.0f);
        move.seq = ++seq;
        const auto d = hp::client::seal_input(key, hp::protocol::encode_input_record(move), false);
        (void)sendto(udp, d.data(), d.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    };
    auto injected = [&] {
        XTestFakeRelativeMotionEvent(direct, step, 0, CurrentTime);
        XFlush(direct);
    };
    // One sample: from the start of `send` to the client's MotionNotify.
    int lost = 0;
    auto sample = [&](const auto& send) -> double {
        receiver->get()->drain(0ms);
        const auto t0 = Clock::now();
        send();
        const auto got = receiver->get()->next([](const XEvent& e) { return e.type == MotionNotify; }, 1s);
        const auto t1 = Clock::now();
        step = -step;  // back and forth inside the window
        if (!got) {
            ++lost;
            return -1;
        }
        return std::chrono::duration<double, std::micro>(t1 - t0).count();
    };

    for (int i = 0; i < 200; ++i) {  // warm-up
        sample(injected);
        sample(through_host);
        sample(through_relay);
    }
    lost = 0;
    std::vector<double> viaHost, viaXtest, viaRelay;
    const std::function<void()> ways[3] = {through_host, injected, through_relay};
    std::vector<double>* into[3] = {&viaHost, &viaXtest, &viaRelay};
    for (int i = 0; i < samples; ++i) {
        // Rotate which goes first, so none always follows another.
        for (int k = 0; k < 3; ++k) {
            const int w = (i + k) % 3;
            const double t = sample(ways[w]);
            if (t >= 0) into[w]->push_back(t);
        }
    }
    const signed char stop = 0;
    (void)sendto(udp, &stop, 1, 0, reinterpret_cast<const sockaddr*>(&relayAt), sizeof relayAt);
    relay.join();
    close(relayIn);
    XCloseDisplay(relayDisplay);
    close(udp);
    phone.close();
    host->reset();
    platform->reset();
    XCloseDisplay(direct);
    receiver->reset();
    xvfb->reset();
    std::filesystem::remove_all(dir);

    if (viaHost.empty() || viaXtest.empty() || viaRelay.empty()) {
        std::fprintf(stderr, "no samples (%d lost)\n", lost);
        return 1;
    }
    const Stats h = stats(viaHost), x = stats(viaXtest), r = stats(viaRelay);
    std::printf("pointer move to an X client's MotionNotify under Xvfb, %d samples of each, %d lost\n", samples, lost);
    std::printf("  %-44s p50 %8.1f us   p99 %8.1f us   mean %8.1f us\n", "XTEST injected directly", x.p50, x.p99,
                x.mean);
    std::printf("  %-44s p50 %8.1f us   p99 %8.1f us   mean %8.1f us\n", "datagram through the host (X11 platform)",
                h.p50, h.p99, h.mean);
    std::printf("  %-44s p50 %8.1f us   p99 %8.1f us   mean %8.1f us\n", "datagram to a bare relay thread", r.p50,
                r.p99, r.mean);
    std::printf("  ratio host / direct: p50 %.2fx   p99 %.2fx   (goal: p50 within 1.5x)\n", h.p50 / x.p50,
                h.p99 / x.p99);
    std::printf("  ratio relay / direct: p50 %.2fx   host / relay: p50 %.2fx\n", r.p50 / x.p50, h.p50 / r.p50);
    return 0;
}
