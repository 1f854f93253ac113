// hearthpad: the host for Linux desktop sessions. Its face is the
// notification-area icon (StatusNotifierItem over the session bus), its
// messages are desktop notifications, and its windows are drawn by a
// separate toolkit program started on demand. One runs per user: a second
// start asks the running one to open the pairing window and ends.
//
// Everything that touches the session bus runs on the main thread, which
// polls the bus, the termination signals and a queue that other threads
// post to.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <unistd.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/linux_connection_check.h"
#include "app/linux_platform_choice.h"
#include "app/linux_tray.h"
#include "app/linux_windows.h"
#include "connection_check/allow_firewall.h"
#include "host_ops/host_ops.h"
#include "input/desktop_shortcuts.h"
#include "main/start_host.h"
#include "protocol/messages.h"
#include "platform/brightness.h"
#include "platform/dbus/bus.h"
#include "platform/dbus/desktop_services.h"
#include "platform/dbus/session_actions.h"
#include "platform/https_client.h"
#include "platform/posix/posix_system.h"
#include "platform/posix/stop_signals.h"
#include "platform/process_runner.h"
#include "platform/thread_name.h"
#include "startup/xdg_autostart.h"
#include "update/check.h"
#include "update/version.h"

namespace {

namespace dbus = hp::platform::dbus;

void say(const std::string& line) {
    const std::string text = line + "\n";
    std::cout.write(text.data(), static_cast<std::streamsize>(text.size()));
    std::cout.flush();
}

void complain(const std::string& line) { std::cerr << "hearthpad: " << line << std::endl; }

std::filesystem::path program_path() {
    std::error_code error;
    const auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : path;
}

// --- one host per user -------------------------------------------------------

// An exclusive lock on $XDG_RUNTIME_DIR/hearthpad.lock, held while the
// process lives (the system drops it when the process ends, however it ends).
class InstanceLock {
public:
    static std::filesystem::path file(const hp::platform::System& system) {
        if (auto runtime = system.env("XDG_RUNTIME_DIR"); runtime && !runtime->empty())
            return std::filesystem::path(*runtime) / "hearthpad.lock";
        return std::filesystem::temp_directory_path() / ("hearthpad-" + std::to_string(getuid()) + ".lock");
    }
    explicit InstanceLock(const std::filesystem::path& path)
        : fd_(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {}
    ~InstanceLock() {
        if (fd_ >= 0) close(fd_);
    }
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    // False when another process holds it; true also when the file cannot be
    // opened (better two hosts than none).
    bool take() const { return fd_ < 0 || flock(fd_, LOCK_EX | LOCK_NB) == 0; }

private:
    int fd_;
};

// --- the main thread's queue ---------------------------------------------------

class MainQueue {
public:
    MainQueue() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~MainQueue() {
        if (fd_ >= 0) close(fd_);
    }
    MainQueue(const MainQueue&) = delete;
    MainQueue& operator=(const MainQueue&) = delete;
    int fd() const { return fd_; }
    void post(std::function<void()> task) {
        {
            std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
        }
        const std::uint64_t one = 1;
        (void)!write(fd_, &one, sizeof one);
    }
    void run_pending() {
        std::uint64_t count = 0;
        (void)!read(fd_, &count, sizeof count);
        std::deque<std::function<void()>> tasks;
        {
            std::lock_guard lock(mutex_);
            tasks.swap(tasks_);
        }
        for (auto& task : tasks) task();
    }

private:
    int fd_;
    std::mutex mutex_;
    std::deque<std::function<void()>> tasks_;
};

// --- options -------------------------------------------------------------------

struct Options {
    bool mdns = true;
    // Tailscale's local API on Linux is the Unix socket
    // /var/run/tailscale/tailscaled.sock, which discovery does not speak
    // (it asks over TCP): by default only `tailscale status --json` is asked.
    std::string tailscaleApi;
};

constexpr const char* kUsage = "usage: hearthpad [--background] [--no-mdns] [--tailscale-api <host:port>]";

std::optional<Options> parse_options(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--background") {
            // The start entry's argument: nothing differs.
        } else if (arg == "--no-mdns") {
            o.mdns = false;
        } else if (arg == "--tailscale-api" && i + 1 < argc) {
            o.tailscaleApi = argv[++i];
        } else {
            std::cerr << "hearthpad: unknown option " << arg << "\n" << kUsage << "\n";
            return std::nullopt;
        }
    }
    return o;
}

std::string update_text(const hp::update::ManualResult& result) {
    using hp::update::ManualOutcome;
    if (result.outcome == ManualOutcome::Available && result.latest)
        return "Hearthpad " + result.latest->version + " is available (you have " +
               std::string(hp::update::running_version()) + "): " + result.latest->url;
    if (result.outcome == ManualOutcome::UpToDate) return hp::update::up_to_date_text();
    return std::string(hp::update::kFailedText);
}

constexpr const char* kNoTrayText =
    "Hearthpad is running, but this desktop shows no tray icons. Open the pairing window from the Hearthpad "
    "entry of the applications menu.";

// --- the tray's commands ---------------------------------------------------------

class DesktopActions final : public hp::tray::TrayActions {
public:
    struct Parts {
        hp::main::HostHandle* host = nullptr;
        hp::app::DesktopWindows* windows = nullptr;
        std::optional<std::filesystem::path> autostartFile;
        std::string exePath;
        std::function<void()> refresh;
        std::function<void(const std::string&)> notify;
        std::function<void()> exit;
    };
    explicit DesktopActions(Parts parts) : p_(std::move(parts)) {}

    void open_pairing_window() override { p_.windows->open_pairing(); }
    void set_start_entry(bool enable) override {
        if (!p_.autostartFile) return;
        if (auto done = hp::startup::set_autostart(*p_.autostartFile, p_.exePath, enable); !done)
            complain(done.error().text);
        p_.refresh();
    }
    void toggle_elevated_task(bool) override {}  // no such mode here
    void check_for_updates() override {
        hp::update::UpdateServices services;
        services.dataDir = p_.host->dataDir;
        services.https = hp::platform::make_https_client();
        services.system = "Linux";
        services.nameThread = hp::platform::name_this_thread;
        auto notify = p_.notify;
        (void)hp::update::start_manual_check(
            std::move(services), [notify](const hp::update::ManualResult& r) { notify(update_text(r)); });
    }
    void exit() override { p_.exit(); }
    void remove_device(const std::string& clientId) override {
        hp::host_ops::remove_device(*p_.host->state, clientId);
        p_.refresh();
    }
    void apply_preset(std::uint8_t index) override {
        if (!p_.host->gamepad) return;
        (void)hp::host_ops::apply_preset(*p_.host->state, *p_.host->gamepad, p_.host->dataDir, index);
        p_.windows->mapping_changed();
        p_.refresh();
    }
    void set_output(bool useMapping) override {
        if (!p_.host->gamepad) return;
        (void)hp::host_ops::set_output(*p_.host->state, *p_.host->gamepad, p_.host->dataDir, useMapping);
        p_.windows->mapping_changed();
        p_.refresh();
    }
    void open_mapping_window() override { p_.windows->open_mapping(); }
    void open_connection_check() override { p_.windows->open_connection_check(); }

private:
    Parts p_;
};

int ask_running_host(const hp::platform::System&) {
    auto bus = dbus::Bus::session();
    if (!bus) {
        complain("Hearthpad already runs, and it could not be reached: " + bus.error().text);
        return 1;
    }
    if (auto asked = dbus::ask_running_host_to_open_pairing(*bus); !asked) {
        complain("Hearthpad already runs, and it could not be reached: " + asked.error().text);
        return 1;
    }
    say("Hearthpad already runs: its pairing window opens.");
    return 0;
}

// The windows program: beside this one (a build folder), else where the
// package puts it.
std::filesystem::path windows_program(const std::filesystem::path& exe) {
    const auto beside = exe.parent_path() / "hearthpad-windows";
    std::error_code error;
    if (std::filesystem::exists(beside, error)) return beside;
    return "/usr/libexec/hearthpad/hearthpad-windows";
}

}  // namespace

int main(int argc, char** argv) {
    // The firewall fix's run, started as root by pkexec from the connection
    // check: nothing else of the program starts.
    if (argc == 2 && argv[1] == hp::connection_check::kAllowFirewallArgument)
        return hp::app::run_linux_allow_firewall();

    const auto parsed = parse_options(argc, argv);
    if (!parsed) return 2;

    // Signals are taken synchronously by the main loop; every thread the
    // host starts inherits the blocked mask.
    const hp::platform::StopSignals stopSignals;
    const int sigfd = stopSignals.fd();

    const std::shared_ptr<hp::platform::System> system = hp::platform::make_posix_system();
    InstanceLock instance(InstanceLock::file(*system));
    if (!instance.take()) return ask_running_host(*system);

    const auto exe = program_path();
    const bool wayland = system->env("XDG_SESSION_TYPE") == std::optional<std::string>("wayland");
    std::vector<std::string> notices;
    if (wayland) notices.emplace_back(hp::app::kWaylandNotice);

    MainQueue queue;
    auto bus = dbus::Bus::session();
    if (!bus) complain(bus.error().text + "; no tray icon and no notifications");
    auto notify = [&queue, &bus](const std::string& body) {
        queue.post([&bus, body] {
            if (bus) dbus::notify(*bus, dbus::Notification{"Hearthpad", body});
        });
    };

    // The session's own actions, handed to the input platform.
    auto actions = std::make_shared<dbus::SessionActions>();
    auto brightness = std::make_shared<hp::platform::BrightnessStepper>([actions](bool up) {
        if (auto done = actions->step_brightness(up); !done) complain(done.error().text);
    });
    hp::app::DesktopPlatformOptions platformOptions;
    platformOptions.display = system->env("DISPLAY").value_or("");
    platformOptions.lock = [actions] {
        if (auto done = actions->lock(); !done) complain(done.error().text);
    };
    platformOptions.keepAwake = [actions] { actions->keep_awake(); };
    platformOptions.stepBrightness = [brightness](bool up) { (void)brightness->request(up); };
    auto platform = hp::app::make_desktop_platform(std::move(platformOptions));
    if (!platform.problem.empty()) {
        complain("input cannot reach other programs: " + platform.problem);
        if (!wayland) notices.push_back("Input from phones cannot reach other programs: " + platform.problem);
    }

    // Filled in once the host runs; host events arrive from its threads.
    std::function<void()> refreshTray;
    std::unique_ptr<hp::app::DesktopWindows> windows;
    std::mutex windowsMutex;  // the windows object is made after the host starts sending events

    hp::main::StartOptions options;
    options.system = system;
    options.platform = platform.services;
    options.padBus = hp::platform::make_virtual_pad_bus();
    options.notifyTray = [&](const hp::host::HostEvent& e) {
        {
            std::lock_guard lock(windowsMutex);
            if (windows) windows->host_event(e);
        }
        queue.post([&] {
            if (refreshTray) refreshTray();
        });
    };
    options.refreshTray = [&] {
        queue.post([&] {
            if (refreshTray) refreshTray();
        });
    };
    if (parsed->mdns) {
        if (auto responder = hp::platform::make_mdns_responder()) options.mdns = *responder;
    }
    options.processes = hp::platform::make_process_runner();
    options.tailscaleApi = parsed->tailscaleApi;
    options.osType = std::string(hp::protocol::kOsTypeLinux);
    options.desktopStyle = hp::input::desktop_style_from_xdg(system->env("XDG_CURRENT_DESKTOP").value_or(""));
    auto host = hp::main::start_host(std::move(options));
    if (!host) {
        complain("Hearthpad could not start: " + host.error().text);
        if (bus) {
            dbus::notify(*bus, dbus::Notification{"Hearthpad could not start", host.error().text});
            (void)bus->process();
        }
        return 1;
    }
    say("listening: " + std::to_string((*host)->tcpPort));

    {
        hp::app::DesktopWindowsContext context;
        context.host = host->get();
        context.system = system;
        context.windowsProgram = windows_program(exe);
        context.gatherFacts = [system](hp::discovery::AdvertState advert, std::uint16_t port) {
            const auto runner = hp::platform::make_process_runner();
            return hp::app::gather_linux_connection_facts(*system, *runner, advert, port);
        };
        context.hostProgram = exe;
        context.refreshTray = [&] {
            queue.post([&] {
                if (refreshTray) refreshTray();
            });
        };
        auto made = hp::app::make_desktop_windows(std::move(context));
        std::lock_guard lock(windowsMutex);
        windows = std::move(made);
    }

    bool running = true;
    const auto autostartFile =
        hp::startup::autostart_file([&system](const char* name) { return system->env(name); });
    DesktopActions trayActions({host->get(), windows.get(), autostartFile, exe.string(), [&] {
                                    if (refreshTray) refreshTray();
                                },
                                notify, [&] { running = false; }});

    std::unique_ptr<hp::app::LinuxTray> tray;
    std::unique_ptr<dbus::HostService> hostService;
    std::unique_ptr<dbus::ColorSchemeWatch> scheme;
    if (bus) {
        bool told = false;
        hp::app::LinuxTrayContext trayContext;
        trayContext.host = host->get();
        trayContext.actions = &trayActions;
        trayContext.startEntryEnabled = [&] {
            return autostartFile && hp::startup::autostart_enabled(*autostartFile, exe.string());
        };
        trayContext.notices = notices;
        trayContext.watcher = [&, told](bool registered) mutable {
            say(registered ? "tray: shown" : "tray: no tray host");
            if (!registered && !told) {
                told = true;
                notify(kNoTrayText);
            }
        };
        if (auto made = hp::app::LinuxTray::create(*bus, std::move(trayContext))) {
            tray = std::move(*made);
            refreshTray = [&] { tray->refresh(); };
        } else {
            complain(made.error().text);
        }
        if (auto made = dbus::HostService::create(*bus, [&] { windows->open_pairing(); })) {
            hostService = std::move(*made);
        } else {
            complain(made.error().text);
        }
        if (auto made = dbus::ColorSchemeWatch::start(*bus, [&](dbus::ColorScheme s) {
                if (tray) tray->set_color_scheme(s);
            })) {
            scheme = std::move(*made);
        }
        if (wayland) notify(std::string(hp::app::kWaylandNotice));
    }

    while (running) {
        std::vector<pollfd> fds = {{sigfd, POLLIN, 0}, {queue.fd(), POLLIN, 0}};
        int timeout = -1;
        if (bus) {
            fds.push_back({bus->fd(), bus->events(), 0});
            timeout = bus->timeout_ms();
        }
        if (poll(fds.data(), fds.size(), timeout) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents & POLLIN) break;
        if (fds[1].revents & POLLIN) queue.run_pending();
        if (bus) {
            if (auto processed = bus->process(); !processed) {
                complain(processed.error().text);
                tray.reset();
                hostService.reset();
                scheme.reset();
                refreshTray = nullptr;
                bus = std::unexpected(processed.error());
            }
        }
    }
    say("exiting");

    // Nothing stays pressed after the host goes away.
    hp::host_ops::release_all_input(*(*host)->state);
    refreshTray = nullptr;
    scheme.reset();
    hostService.reset();
    tray.reset();
    {
        std::lock_guard lock(windowsMutex);
        windows.reset();
    }
    host->reset();
    return 0;
}
