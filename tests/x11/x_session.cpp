#include "x11/x_session.h"

#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/x11/x11_translate.h"

namespace hp::test {

using namespace std::chrono_literals;

Result<std::unique_ptr<Xvfb>> Xvfb::start() {
    int fds[2];
    if (pipe(fds) != 0) return fail("pipe failed");
    const pid_t pid = fork();
    if (pid < 0) return fail("fork failed");
    if (pid == 0) {
        close(fds[0]);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0", "1280x800x24",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (number.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, 200) <= 0) continue;
        char buf[16];
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n <= 0) break;
        number.append(buf, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    if (number.find('\n') == std::string::npos) {
        kill(pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
        if (WIFEXITED(status) && WEXITSTATUS(status) == 127) return fail("Xvfb is not installed");
        return fail("Xvfb did not start");
    }
    number.erase(number.find('\n'));
    return std::unique_ptr<Xvfb>(new Xvfb(pid, ":" + number));
}

Xvfb::~Xvfb() {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
}

Result<std::unique_ptr<XReceiver>> XReceiver::open(const std::string& name) {
    Display* d = XOpenDisplay(name.c_str());
    if (!d) return fail("cannot open " + name);
    XSetWindowAttributes a{};
    a.event_mask = KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                   StructureNotifyMask;
    a.background_pixel = WhitePixel(d, DefaultScreen(d));
    const Window w = XCreateWindow(d, DefaultRootWindow(d), 100, 100, 400, 300, 0, CopyFromParent, InputOutput,
                                   CopyFromParent, CWEventMask | CWBackPixel, &a);
    XMapRaised(d, w);
    auto receiver = std::unique_ptr<XReceiver>(new XReceiver(d, w));
    if (!receiver->next([](const XEvent& e) { return e.type == MapNotify; }, 5s)) return fail("window not mapped");
    XSetInputFocus(d, w, RevertToParent, CurrentTime);
    XWarpPointer(d, None, w, 0, 0, 0, 0, 200, 150);
    XSync(d, False);
    receiver->drain(100ms);
    return receiver;
}

XReceiver::~XReceiver() {
    XDestroyWindow(display_, window_);
    XCloseDisplay(display_);
}

std::optional<XEvent> XReceiver::next(const std::function<bool(const XEvent&)>& wanted,
                                      std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        while (XPending(display_) > 0) {
            XEvent ev;
            XNextEvent(display_, &ev);
            if (ev.type == MappingNotify) XRefreshKeyboardMapping(&ev.xmapping);
            if (wanted(ev)) return ev;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left <= 0ms) return std::nullopt;
        pollfd p{ConnectionNumber(display_), POLLIN, 0};
        poll(&p, 1, static_cast<int>(left.count()) + 1);
    }
}

int XReceiver::drain(std::chrono::milliseconds quiet) {
    int count = 0;
    while (next([](const XEvent& e) { return e.type != MappingNotify; }, quiet)) ++count;
    return count;
}

std::u32string XReceiver::read_text(std::size_t count, std::chrono::milliseconds timeout) {
    std::u32string text;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (text.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left <= 0ms) break;
        auto ev = next([](const XEvent& e) { return e.type == KeyPress; }, left);
        if (!ev) break;
        char buf[32];
        KeySym keysym = NoSymbol;
        XLookupString(&ev->xkey, buf, sizeof buf, &keysym, nullptr);
        if (const auto c = platform::x11::keysym_char(static_cast<std::uint32_t>(keysym))) text.push_back(*c);
    }
    return text;
}

}  // namespace hp::test
