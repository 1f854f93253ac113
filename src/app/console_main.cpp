// hearthpad-console: the host with a console front end instead of the tray.
// One line per event on standard output; one command per line on standard
// input (pair, unpair, devices, remove <index>, status, endpoints, check,
// update, quit).
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/linux_connection_check.h"
#include "app/qr_text.h"
#include "main/start_host.h"
#include "platform/process_runner.h"
#include "platform/https_client.h"
#include "platform/posix/console_platform.h"
#include "platform/posix/console_virtual_pad_bus.h"
#include "platform/posix/posix_system.h"
#include "platform/posix/stop_signals.h"
#include "platform/thread_name.h"
#include "host_ops/host_ops.h"
#include "update/check.h"
#include "update/version.h"

namespace {

// Every line goes out in one write, so lines from the host's threads (events,
// platform calls) and from the command loop never mix.
void write_whole(const std::string& text) {
    std::cout.write(text.data(), static_cast<std::streamsize>(text.size()));
    std::cout.flush();
}

void say(const std::string& line) { write_whole(line + "\n"); }

std::string event_line(const hp::host::HostEvent& e) {
    std::string line = std::string("event: ") + hp::host::host_event_name(e.kind);
    if (!e.deviceName.empty()) line += " " + e.deviceName;
    return line;
}

std::string joined(const std::vector<std::string>& list) {
    std::string out;
    for (const auto& item : list) out += (out.empty() ? "" : ",") + item;
    return out;
}

std::string update_line(const hp::update::ManualResult& result) {
    using hp::update::ManualOutcome;
    if (result.outcome == ManualOutcome::Available && result.latest)
        return "update: " + result.latest->version + " available at " + result.latest->url;
    if (result.outcome == ManualOutcome::UpToDate)
        return "update: up to date (version " + std::string(hp::update::running_version()) + ")";
    return "update: failed";
}

class Console {
public:
    Console(hp::main::HostHandle& host, std::shared_ptr<hp::platform::System> system,
            std::shared_ptr<hp::platform::ProcessRunner> processes)
        : host_(host), system_(std::move(system)), processes_(std::move(processes)) {}

    // Returns false when the host should stop.
    bool command(const std::string& line) {
        std::istringstream in(line);
        std::string cmd;
        in >> cmd;
        if (cmd.empty()) return true;
        if (cmd == "quit") return false;
        if (cmd == "pair") return pair(), true;
        if (cmd == "unpair") {
            hp::host_ops::withdraw_pairing_code(*host_.state);
            return true;
        }
        if (cmd == "devices") return devices(), true;
        if (cmd == "endpoints") {
            const auto e = hp::host_ops::endpoints(*host_.state, *host_.network);
            say("lan: " + joined(e.lan));
            say("tailscale: " + joined(e.tailscale));
            return true;
        }
        if (cmd == "remove") {
            std::size_t index = 0;
            if (!(in >> index)) {
                say("error: remove takes the index shown by devices");
                return true;
            }
            remove(index);
            return true;
        }
        if (cmd == "check") return check(), true;
        if (cmd == "update") return update(), true;
        if (cmd == "status") {
            const auto who = hp::host_ops::controlling_device(*host_.state);
            say(who ? "status: controlled by " + *who : "status: ready");
            return true;
        }
        say("error: unknown command \"" + cmd + "\"");
        return true;
    }

private:
    void pair() {
        const hp::host_ops::PairingOffer offer = hp::host_ops::open_pairing_code(*host_.state, *host_.network);
        say("code: " + offer.code);
        say("link: " + offer.link);
        if (isatty(STDOUT_FILENO)) write_whole(hp::app::qr_text(offer.link));
    }

    void devices() {
        const auto list = hp::host_ops::list_devices(*host_.state);
        for (std::size_t i = 0; i < list.size(); ++i)
            say(std::to_string(i + 1) + " " + list[i].clientId + " " + list[i].deviceName + " " +
                (list[i].online ? "online" : "offline"));
    }

    void remove(std::size_t index) {
        const auto list = hp::host_ops::list_devices(*host_.state);
        if (index == 0 || index > list.size()) {
            say("error: no device " + std::to_string(index));
            return;
        }
        hp::host_ops::remove_device(*host_.state, list[index - 1].clientId);
    }

    // The connection check, gathered here and now: the addresses, and
    // firewalld's or ufw's answers about the host's ports.
    void check() {
        const auto advert = host_.advertState ? host_.advertState() : hp::discovery::AdvertState::Off;
        std::string lines;
        for (const auto& line : hp::app::linux_connection_check_lines(*system_, *processes_, advert, host_.tcpPort))
            lines += line + "\n";
        write_whole(lines);
    }

    // The manual update check on its own thread; its line comes when it is
    // done. While a check runs, another request does nothing.
    void update() {
        hp::update::UpdateServices services;
        services.dataDir = host_.dataDir;
        services.https = hp::platform::make_https_client();
        services.system = "Linux";
        services.nameThread = hp::platform::name_this_thread;
        (void)hp::update::start_manual_check(std::move(services),
                                             [](const hp::update::ManualResult& r) { say(update_line(r)); });
    }

    hp::main::HostHandle& host_;
    std::shared_ptr<hp::platform::System> system_;
    std::shared_ptr<hp::platform::ProcessRunner> processes_;
};

struct Options {
    bool virtualPad = false;  // a ViGEmBus stand-in that prints its requests
    bool mdns = true;         // advertise through the system's avahi-daemon
    std::string tailscaleApi = "100.100.100.100:80";
};

constexpr const char* kUsage = "usage: hearthpad-console [--virtual-pad] [--no-mdns] [--tailscale-api <host:port>]";

std::optional<Options> parse_options(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--virtual-pad") {
            o.virtualPad = true;
        } else if (arg == "--no-mdns") {
            o.mdns = false;
        } else if (arg == "--tailscale-api" && i + 1 < argc) {
            o.tailscaleApi = argv[++i];
        } else {
            std::cerr << "hearthpad-console: unknown option " << arg << "\n" << kUsage << "\n";
            return std::nullopt;
        }
    }
    return o;
}


}  // namespace

int main(int argc, char** argv) {
    const auto parsed = parse_options(argc, argv);
    if (!parsed) return 2;

    // Signals are taken synchronously by the main loop; every thread the
    // host starts inherits the blocked mask.
    const hp::platform::StopSignals stopSignals;
    const int sigfd = stopSignals.fd();

    hp::main::StartOptions options;
    const std::shared_ptr<hp::platform::System> system = hp::platform::make_posix_system();
    options.system = system;
    options.platform = hp::platform::make_console_platform(std::cout);
    options.padBus = parsed->virtualPad ? hp::platform::make_console_virtual_pad_bus(std::cout)
                                        : hp::platform::make_virtual_pad_bus();
    options.notifyTray = [](const hp::host::HostEvent& e) { say(event_line(e)); };
    options.refreshTray = [] { say("event: NetworkChanged"); };
    if (parsed->mdns) {
        // No daemon to talk to: nothing is advertised; the host runs all the same.
        if (auto responder = hp::platform::make_mdns_responder()) options.mdns = *responder;
    }
    const auto processes = hp::platform::make_process_runner();
    options.processes = processes;
    options.tailscaleApi = parsed->tailscaleApi;
    auto host = hp::main::start_host(std::move(options));
    if (!host) {
        std::cerr << "Hearthpad could not start: " << host.error().text << '\n';
        return 1;
    }
    say("listening: " + std::to_string((*host)->tcpPort));

    Console console(**host, system, processes);
    std::string pending;
    bool running = true;
    while (running) {
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {sigfd, POLLIN, 0}};
        if (poll(fds, sigfd >= 0 ? 2 : 1, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (sigfd >= 0 && (fds[1].revents & POLLIN)) break;
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            char buf[4096];
            const ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
            if (n <= 0) break;  // end of input
            pending.append(buf, static_cast<std::size_t>(n));
            std::size_t nl;
            while (running && (nl = pending.find('\n')) != std::string::npos) {
                std::string line = pending.substr(0, nl);
                pending.erase(0, nl + 1);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                running = console.command(line);
            }
        }
    }

    // Nothing stays pressed after the host goes away.
    hp::host_ops::release_all_input(*(*host)->state);
    host->reset();
    return 0;
}
