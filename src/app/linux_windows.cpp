#include "app/linux_windows.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "app/linux_windows_probe.h"
#include "connection_check/allow_firewall.h"
#include "connection_check/gather.h"
#include "host_ops/host_ops.h"
#include "main/start_host.h"
#include "platform/elevation.h"
#include "platform/firewall.h"
#include "platform/thread_name.h"
#include "window_link/window_link.h"

extern char** environ;

namespace {

// The facts as the system's own firewall interfaces give them, for a caller
// that hands in no gathering of its own.
hp::connection_check::ConnectionFacts gather_system_facts(const hp::platform::System& system,
                                                          hp::discovery::AdvertState advert, std::uint16_t port,
                                                          const std::string& program) {
    auto firewall = hp::platform::make_firewall();
    auto networks = hp::platform::make_network_list();
    return hp::connection_check::gather_facts(system, firewall.get(), networks.get(), advert, port, program);
}

}  // namespace

namespace hp::app {

namespace wl = window_link;
namespace cc = connection_check;
using namespace std::chrono_literals;

namespace {

// The descriptor the window program finds its end of the link on.
constexpr int kChildLinkFd = 3;
// How long a window program may take to end once its link is closed.
constexpr auto kExitGrace = 2s;

// A descriptor closed when it goes out of scope.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

// posix_spawn's file actions, destroyed with the scope.
class FileActions {
public:
    FileActions() { ok_ = posix_spawn_file_actions_init(&actions_) == 0; }
    ~FileActions() {
        if (ok_) posix_spawn_file_actions_destroy(&actions_);
    }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
    bool ok() const { return ok_; }
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_{};
    bool ok_ = false;
};

// Waits for `pid` to end, at most `limit` (forever when limit is zero);
// true once it has been reaped. A SIGCHLD disposition of SIG_IGN reaps
// children itself: waitpid then says ECHILD, which also means gone.
bool reap(pid_t pid, std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, limit.count() == 0 ? 0 : WNOHANG);
        if (r == pid) return true;
        if (r < 0 && errno == ECHILD) return true;
        if (r < 0 && errno != EINTR) return false;
        if (limit.count() != 0) {
            if (std::chrono::steady_clock::now() >= until) return false;
            std::this_thread::sleep_for(10ms);
        }
    }
}

// One running window program and the reading end of its link.
class WindowChild {
public:
    using OnMessage = std::function<void(const wl::ToHost&)>;
    using OnEnd = std::function<void()>;

    static std::unique_ptr<WindowChild> start(const std::filesystem::path& program, wl::WindowKind kind,
                                              OnMessage onMessage, OnEnd onEnd) {
        std::array<int, 2> pair{};
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair.data()) != 0) return nullptr;
        Fd ours(pair[0]), theirs(pair[1]);
        // Above the descriptor the child expects, so that dup2 always makes
        // a copy without close-on-exec.
        Fd theirsHigh(::fcntl(theirs.get(), F_DUPFD_CLOEXEC, kChildLinkFd + 1));
        if (theirsHigh.get() < 0) return nullptr;
        theirs.reset();

        FileActions actions;
        if (!actions.ok()) return nullptr;
        if (posix_spawn_file_actions_adddup2(actions.get(), theirsHigh.get(), kChildLinkFd) != 0) return nullptr;
        // Nothing else of the host reaches the window program.
        if (posix_spawn_file_actions_addclosefrom_np(actions.get(), kChildLinkFd + 1) != 0) return nullptr;

        const std::string path = program.string();
        const std::string argument(wl::kind_argument(kind));
        std::array<char*, 3> argv{const_cast<char*>(path.c_str()), const_cast<char*>(argument.c_str()), nullptr};
        pid_t pid = -1;
        if (posix_spawn(&pid, path.c_str(), actions.get(), nullptr, argv.data(), environ) != 0) return nullptr;
        theirsHigh.reset();

        // A stuck program must not hold the host's thread for long.
        timeval timeout{1, 0};
        (void)::setsockopt(ours.get(), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);

        auto child = std::unique_ptr<WindowChild>(new WindowChild(pid, std::move(ours)));
        try {
            child->reader_ = std::thread([raw = child.get(), onMessage = std::move(onMessage),
                                          onEnd = std::move(onEnd)] { raw->read_loop(onMessage, onEnd); });
        } catch (const std::exception&) {
            child->shut();
            (void)::kill(pid, SIGKILL);
            (void)reap(pid, 0ms);
            return nullptr;
        }
        return child;
    }

    ~WindowChild() {
        shut();
        if (reader_.joinable()) reader_.join();
    }
    WindowChild(const WindowChild&) = delete;
    WindowChild& operator=(const WindowChild&) = delete;

    bool running() const { return !ended_.load(); }

    bool send(const wl::ToWindow& message) {
        const std::string line = wl::encode(message);
        std::lock_guard lock(writeMutex_);
        if (ended_.load()) return false;
        std::size_t done = 0;
        while (done < line.size()) {
            // MSG_NOSIGNAL: a program that has gone is an error here, not
            // a SIGPIPE for the host.
            const ssize_t n = ::send(fd_.get(), line.data() + done, line.size() - done, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                // Half a line cannot be taken back: the link ends.
                shut();
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

private:
    WindowChild(pid_t pid, Fd fd) : pid_(pid), fd_(std::move(fd)) {}

    // Both directions closed: the program reads the end of its link and
    // ends, and the reader sees the end of ours.
    void shut() { (void)::shutdown(fd_.get(), SHUT_RDWR); }

    void read_loop(const OnMessage& onMessage, const OnEnd& onEnd) {
        platform::name_this_thread("window-link");
        wl::LineReader reader;
        std::array<char, 4096> buffer{};
        bool good = true;
        while (good) {
            const ssize_t n = ::recv(fd_.get(), buffer.data(), buffer.size(), 0);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            reader.feed(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
            for (;;) {
                auto line = reader.next();
                if (!line) {
                    good = false;
                    break;
                }
                if (!*line) break;
                auto message = wl::decode_to_host(**line);
                // A program that says something it should not is ended.
                if (!message) {
                    good = false;
                    break;
                }
                if (onMessage) onMessage(*message);
            }
        }
        {
            std::lock_guard lock(writeMutex_);
            ended_ = true;
        }
        shut();
        if (!reap(pid_, kExitGrace)) {
            (void)::kill(pid_, SIGKILL);
            (void)reap(pid_, 0ms);
        }
        if (onEnd) onEnd();
    }

    pid_t pid_;
    Fd fd_;
    std::mutex writeMutex_;
    std::atomic<bool> ended_{false};
    std::thread reader_;
};

class LinuxDesktopWindows final : public DesktopWindows {
public:
    explicit LinuxDesktopWindows(DesktopWindowsContext context)
        : context_(std::move(context)), shared_(std::make_shared<Shared>()) {}

    ~LinuxDesktopWindows() override {
        std::array<std::unique_ptr<WindowChild>, 3> children;
        {
            std::lock_guard lock(shared_->mutex);
            shared_->stopping = true;
            for (std::size_t i = 0; i < children.size(); ++i) children[i] = std::move(shared_->children[i]);
        }
        children = {};  // each closes its link, reaps its program and joins its reader
        std::thread worker;
        {
            std::lock_guard lock(shared_->mutex);
            worker = std::move(checkWorker_);
        }
        if (worker.joinable()) worker.join();
    }

    void open_pairing() override {
        if (!context_.host) return;
        auto& host = *context_.host;
        auto offer = [&host] {
            const host_ops::PairingOffer o = host_ops::open_pairing_code(*host.state, *host.network);
            return wl::ShowPairing{o.code, o.link, o.lan, o.tailscale};
        };
        std::unique_lock lock(shared_->mutex);
        if (WindowChild* child = running_child(lock, wl::WindowKind::Pairing)) {
            // The open window takes the new code; the earlier one is gone.
            if (child->send(offer())) {
                (void)child->send(wl::Raise{});
                return;
            }
            // It is ending: its end withdraws the code, so it goes before
            // the next code is drawn.
            drop(lock, wl::WindowKind::Pairing);
        }
        WindowChild* child = start_child(lock, wl::WindowKind::Pairing);
        if (!child) return;
        if (!child->send(offer())) host_ops::withdraw_pairing_code(*host.state);
    }

    void open_connection_check() override {
        std::unique_lock lock(shared_->mutex);
        if (WindowChild* child = running_child(lock, wl::WindowKind::Check)) {
            (void)child->send(wl::Raise{});
            return;
        }
        // The window asks for the first check itself once it is up.
        (void)start_child(lock, wl::WindowKind::Check);
    }

    void open_mapping() override {
        if (!context_.host || !context_.host->gamepad) return;
        std::unique_lock lock(shared_->mutex);
        if (WindowChild* child = running_child(lock, wl::WindowKind::Mapping)) {
            (void)child->send(wl::Raise{});
            return;
        }
        if (WindowChild* child = start_child(lock, wl::WindowKind::Mapping))
            (void)child->send(mapping_message(false));
    }

    void host_event(const host::HostEvent& event) override {
        if (event.kind != host::HostEventKind::DevicePaired && event.kind != host::HostEventKind::PairingCodeRevoked)
            return;
        std::unique_lock lock(shared_->mutex);
        if (WindowChild* child = running_child(lock, wl::WindowKind::Pairing)) (void)child->send(wl::Close{});
    }

    void mapping_changed() override {
        if (!context_.host || !context_.host->gamepad) return;
        std::unique_lock lock(shared_->mutex);
        if (WindowChild* child = running_child(lock, wl::WindowKind::Mapping))
            (void)child->send(mapping_message(true));
    }

    std::optional<wl::Texts> texts(wl::WindowKind kind, std::chrono::milliseconds timeout) {
        std::unique_lock lock(shared_->mutex);
        WindowChild* child = running_child(lock, kind);
        if (!child) return std::nullopt;
        auto& slot = shared_->texts[index(kind)];
        slot.reset();
        if (!child->send(wl::DumpRequest{})) return std::nullopt;
        if (!shared_->answered.wait_for(lock, timeout, [&] { return slot.has_value(); })) return std::nullopt;
        return std::exchange(slot, std::nullopt);
    }

    std::optional<std::chrono::steady_clock::duration> drawn_after(wl::WindowKind kind) {
        std::lock_guard lock(shared_->mutex);
        return shared_->drawnAfter[index(kind)];
    }

private:
    // What the readers and the workers share with the windows object.
    struct Shared {
        std::mutex mutex;
        std::condition_variable answered;
        bool stopping = false;
        std::array<std::unique_ptr<WindowChild>, 3> children;
        std::array<std::optional<wl::Texts>, 3> texts;
        // When each kind's program was started, and how long it took to draw.
        std::array<std::chrono::steady_clock::time_point, 3> started{};
        std::array<std::optional<std::chrono::steady_clock::duration>, 3> drawnAfter;
        bool checking = false;
        bool fixing = false;
    };

    static std::size_t index(wl::WindowKind kind) { return static_cast<std::size_t>(kind); }

    // The window program of `kind` if it still runs; one that has ended is
    // dropped here (its reader has finished or is finishing).
    WindowChild* running_child(std::unique_lock<std::mutex>& lock, wl::WindowKind kind) {
        auto& slot = shared_->children[index(kind)];
        if (slot && slot->running()) return slot.get();
        if (slot) {
            drop(lock, kind);
            // Another thread may have started one meanwhile.
            auto& again = shared_->children[index(kind)];
            if (again && again->running()) return again.get();
        }
        return nullptr;
    }

    // Lets the window program of `kind` go, waiting for its reader to end
    // with the lock free (the reader takes it to hand over what it read).
    void drop(std::unique_lock<std::mutex>& lock, wl::WindowKind kind) {
        std::unique_ptr<WindowChild> gone = std::move(shared_->children[index(kind)]);
        lock.unlock();
        gone.reset();
        lock.lock();
    }

    WindowChild* start_child(std::unique_lock<std::mutex>& lock, wl::WindowKind kind) {
        while (shared_->children[index(kind)]) drop(lock, kind);
        if (shared_->stopping) return nullptr;
        auto child = WindowChild::start(
            context_.windowsProgram, kind, [this, kind](const wl::ToHost& message) { on_message(kind, message); },
            [this, kind] { on_end(kind); });
        if (!child) return nullptr;
        auto& slot = shared_->children[index(kind)];
        slot = std::move(child);
        shared_->started[index(kind)] = std::chrono::steady_clock::now();
        shared_->drawnAfter[index(kind)].reset();
        return slot.get();
    }

    // Sends to the window of `kind` if it is open.
    void send_to(wl::WindowKind kind, const wl::ToWindow& message) {
        std::lock_guard lock(shared_->mutex);
        auto& slot = shared_->children[index(kind)];
        if (slot && slot->running()) (void)slot->send(message);
    }

    wl::ShowMapping mapping_message(bool elsewhere) const {
        auto& host = *context_.host;
        return {host_ops::current_mapping(*host.state, *host.gamepad), !host.vigemMissing, elsewhere};
    }

    // On the reader's thread of the window program of `kind`.
    void on_message(wl::WindowKind kind, const wl::ToHost& message) {
        std::visit(
            [&](const auto& m) {
                using M = std::decay_t<decltype(m)>;
                if constexpr (std::is_same_v<M, wl::Texts>) {
                    std::lock_guard lock(shared_->mutex);
                    shared_->texts[index(kind)] = m;
                    shared_->answered.notify_all();
                } else if constexpr (std::is_same_v<M, wl::RunCheck>) {
                    if (kind == wl::WindowKind::Check) start_check();
                } else if constexpr (std::is_same_v<M, wl::AllowFirewall>) {
                    if (kind == wl::WindowKind::Check) start_fix();
                } else if constexpr (std::is_same_v<M, wl::SaveMapping>) {
                    if (kind == wl::WindowKind::Mapping) save(m.mapping);
                }
                if constexpr (std::is_same_v<M, wl::Shown>) {
                    std::lock_guard lock(shared_->mutex);
                    auto& drawn = shared_->drawnAfter[index(kind)];
                    if (!drawn) drawn = std::chrono::steady_clock::now() - shared_->started[index(kind)];
                }
            },
            message);
    }

    void on_end(wl::WindowKind kind) {
        // Closing the pairing window withdraws its code (after a pairing
        // there is none left to withdraw).
        if (kind == wl::WindowKind::Pairing && context_.host) host_ops::withdraw_pairing_code(*context_.host->state);
    }

    void save(const pad_mapping::PadMapping& mapping) {
        if (!context_.host || !context_.host->gamepad) return;
        auto& host = *context_.host;
        std::string error;
        {
            // One save at a time, so the file ends with the last mapping installed.
            std::lock_guard lock(saveMutex_);
            const Status written = host_ops::install_mapping(*host.state, *host.gamepad, host.dataDir, mapping);
            if (!written) error = written.error().text;
        }
        send_to(wl::WindowKind::Mapping,
                wl::Saved{host_ops::current_mapping(*host.state, *host.gamepad), std::move(error)});
        if (context_.refreshTray) context_.refreshTray();
    }

    // Gathering blocks (adapters, the firewall's tools): a worker of its own,
    // one at a time, joined when the next starts and when the windows object goes.
    void start_check() {
        if (!context_.host || !context_.system) return;
        std::thread previous;
        {
            std::lock_guard lock(shared_->mutex);
            if (shared_->checking || shared_->stopping) return;
            shared_->checking = true;
            previous = std::move(checkWorker_);
        }
        // Its check is over; at most it is still handing over the findings.
        if (previous.joinable()) previous.join();
        auto& host = *context_.host;
        std::lock_guard lock(shared_->mutex);
        try {
            checkWorker_ = std::thread([this, &host] {
                platform::name_this_thread("connection-check");
                const auto advert = host.advertState ? host.advertState() : discovery::AdvertState::Off;
                const cc::ConnectionFacts facts =
                    context_.gatherFacts ? context_.gatherFacts(advert, host.tcpPort)
                                         : gather_system_facts(*context_.system, advert, host.tcpPort,
                                                               context_.hostProgram.string());
                const wl::ShowFindings findings{cc::evaluate(facts)};
                {
                    std::lock_guard lock(shared_->mutex);
                    shared_->checking = false;
                }
                send_to(wl::WindowKind::Check, findings);
            });
        } catch (const std::exception&) {
            shared_->checking = false;
        }
    }

    // The elevated run waits for the user's answer for as long as it takes:
    // detached, holding only what it shares.
    void start_fix() {
        std::lock_guard lock(shared_->mutex);
        if (shared_->fixing || shared_->stopping) return;
        auto elevated = platform::make_elevated_runner();
        shared_->fixing = true;
        try {
            std::thread([shared = shared_, elevated, program = context_.hostProgram.string()] {
                platform::name_this_thread("firewall-fix");
                auto outcome = elevated ? elevated->run_elevated_and_wait(
                                              program, {std::string(cc::kAllowFirewallArgument)}, 0)
                                        : Result<platform::ElevatedOutcome>(fail("not available on this system"));
                std::lock_guard lock(shared->mutex);
                shared->fixing = false;
                auto& slot = shared->children[index(wl::WindowKind::Check)];
                if (slot && slot->running()) (void)slot->send(wl::FixFinished{std::move(outcome)});
            }).detach();
        } catch (const std::exception&) {
            shared_->fixing = false;
        }
    }

    DesktopWindowsContext context_;
    std::shared_ptr<Shared> shared_;
    std::thread checkWorker_;  // under shared_->mutex
    std::mutex saveMutex_;
};

}  // namespace

std::unique_ptr<DesktopWindows> make_desktop_windows(DesktopWindowsContext context) {
    return std::make_unique<LinuxDesktopWindows>(std::move(context));
}

std::optional<wl::Texts> window_texts(DesktopWindows& windows, wl::WindowKind kind,
                                      std::chrono::milliseconds timeout) {
    auto* ours = dynamic_cast<LinuxDesktopWindows*>(&windows);
    if (!ours) return std::nullopt;
    return ours->texts(kind, timeout);
}

std::optional<std::chrono::steady_clock::duration> first_drawn_after(DesktopWindows& windows, wl::WindowKind kind) {
    auto* ours = dynamic_cast<LinuxDesktopWindows*>(&windows);
    if (!ours) return std::nullopt;
    return ours->drawn_after(kind);
}

}  // namespace hp::app
