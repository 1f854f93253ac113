#include "platform/x11/x11_clipboard.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "base/utf8.h"
#include "platform/thread_name.h"

namespace hp::platform::x11 {
namespace {

using namespace std::chrono_literals;
using Deadline = std::chrono::steady_clock::time_point;

// How long the owner has to answer one conversion, and each further part of
// an incremental transfer.
constexpr auto kAnswerWait = 500ms;
// How long a caller waits for the thread (a read may try two targets).
constexpr auto kCallerWait = 1500ms;
// Text read incrementally stops growing here; the host sends clients far less.
constexpr std::size_t kReadLimit = 8u << 20;

struct DisplayCloser {
    void operator()(Display* d) const { XCloseDisplay(d); }
};

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) close(fd);
    }
};

std::string latin1_to_utf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) append_utf8(out, static_cast<unsigned char>(c));
    return out;
}

std::string utf8_to_latin1(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto cp = decode_utf8(utf8, i);
        out.push_back(cp && *cp <= 0xFF ? static_cast<char>(*cp) : '?');
    }
    return out;
}

std::string repaired(std::string text) {
    while (!text.empty() && text.back() == '\0') text.pop_back();
    if (is_valid_utf8(text)) return text;
    return utf16_to_utf8(utf8_to_utf16(text));
}

}  // namespace

struct X11Clipboard::Impl {
    std::unique_ptr<Display, DisplayCloser> display;
    Window window = 0;
    Fd wake;
    Atom clipboard = 0, targets = 0, timestamp = 0, utf8 = 0, text = 0, incr = 0, readProp = 0,
         timeProp = 0;

    std::mutex mutex;  // guards queue
    std::deque<std::function<void()>> queue;
    std::jthread thread;

    // Thread-only state.
    bool owned = false;
    Time ownedSince = CurrentTime;
    std::string content;
    std::size_t maxProperty = 0;

    ~Impl() {
        if (thread.joinable()) {
            thread.request_stop();
            signal();
            thread.join();
        }
        if (window) XDestroyWindow(display.get(), window);
    }

    void signal() {
        const std::uint64_t one = 1;
        (void)!write(wake.fd, &one, sizeof one);
    }

    void post(std::function<void()> work) {
        {
            std::lock_guard lock(mutex);
            queue.push_back(std::move(work));
        }
        signal();
    }

    void run(const std::stop_token& stop) {
        name_this_thread("hp-x11-clipboard");
        Display* d = display.get();
        pollfd fds[2] = {{ConnectionNumber(d), POLLIN, 0}, {wake.fd, POLLIN, 0}};
        while (!stop.stop_requested()) {
            while (XPending(d) > 0) {
                XEvent ev;
                XNextEvent(d, &ev);
                handle(ev);
            }
            std::deque<std::function<void()>> work;
            {
                std::lock_guard lock(mutex);
                work.swap(queue);
            }
            for (auto& w : work) w();
            if (!work.empty() || XPending(d) > 0) continue;
            fds[0].revents = fds[1].revents = 0;
            if (poll(fds, 2, -1) < 0) continue;
            if (fds[1].revents & POLLIN) {
                std::uint64_t n = 0;
                (void)!read(wake.fd, &n, sizeof n);
            }
        }
        // Whatever is still queued is answered (with nothing) so no caller waits.
        std::deque<std::function<void()>> rest;
        {
            std::lock_guard lock(mutex);
            rest.swap(queue);
        }
        for (auto& w : rest) w();
    }

    // Handles events until one matches `wanted` (which is then not handled
    // further) or the deadline passes.
    std::optional<XEvent> wait_for(const std::function<bool(const XEvent&)>& wanted, Deadline deadline) {
        Display* d = display.get();
        for (;;) {
            while (XPending(d) > 0) {
                XEvent ev;
                XNextEvent(d, &ev);
                if (wanted(ev)) return ev;
                handle(ev);
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                                     std::chrono::steady_clock::now());
            if (left <= 0ms) return std::nullopt;
            pollfd fd{ConnectionNumber(d), POLLIN, 0};
            (void)poll(&fd, 1, static_cast<int>(left.count()) + 1);
        }
    }

    void handle(const XEvent& ev) {
        if (ev.type == SelectionRequest) {
            answer(ev.xselectionrequest);
        } else if (ev.type == SelectionClear && ev.xselectionclear.selection == clipboard &&
                   ev.xselectionclear.window == window) {
            owned = false;
            content.clear();
        }
    }

    // One request of another client for our selection's content.
    void answer(const XSelectionRequestEvent& req) {
        Display* d = display.get();
        XSelectionEvent reply{};
        reply.type = SelectionNotify;
        reply.display = d;
        reply.requestor = req.requestor;
        reply.selection = req.selection;
        reply.target = req.target;
        reply.time = req.time;
        reply.property = None;
        // Old clients name no property: the target serves as one.
        const Atom prop = req.property == None ? req.target : req.property;
        const bool ours = owned && req.selection == clipboard && req.owner == window &&
                          (req.time == CurrentTime || req.time >= ownedSince);
        if (ours) {
            if (req.target == targets) {
                const long list[] = {static_cast<long>(targets), static_cast<long>(timestamp),
                                     static_cast<long>(utf8), static_cast<long>(text), static_cast<long>(XA_STRING)};
                XChangeProperty(d, req.requestor, prop, XA_ATOM, 32, PropModeReplace,
                                reinterpret_cast<const unsigned char*>(list), 5);
                reply.property = prop;
            } else if (req.target == timestamp) {
                const long t = static_cast<long>(ownedSince);
                XChangeProperty(d, req.requestor, prop, XA_INTEGER, 32, PropModeReplace,
                                reinterpret_cast<const unsigned char*>(&t), 1);
                reply.property = prop;
            } else if (req.target == utf8 || req.target == text || req.target == XA_STRING) {
                const bool latin1 = req.target == XA_STRING;
                const std::string bytes = latin1 ? utf8_to_latin1(content) : content;
                // Larger than one request: an incremental transfer would be
                // needed, which this owner does not offer; refused instead.
                if (bytes.size() <= maxProperty) {
                    XChangeProperty(d, req.requestor, prop, latin1 ? XA_STRING : utf8, 8, PropModeReplace,
                                    reinterpret_cast<const unsigned char*>(bytes.data()),
                                    static_cast<int>(bytes.size()));
                    reply.property = prop;
                }
            }
            // MULTIPLE and any other target: refused.
        }
        XEvent out{};
        out.xselection = reply;
        XSendEvent(d, req.requestor, False, NoEventMask, &out);
        XFlush(d);
    }

    // A server time for taking the selection: a zero-length append to our own
    // window's property comes back as PropertyNotify stamped by the server.
    std::optional<Time> server_time() {
        Display* d = display.get();
        XChangeProperty(d, window, timeProp, XA_STRING, 8, PropModeAppend, nullptr, 0);
        XFlush(d);
        const auto ev = wait_for(
            [&](const XEvent& e) {
                return e.type == PropertyNotify && e.xproperty.window == window && e.xproperty.atom == timeProp;
            },
            std::chrono::steady_clock::now() + kAnswerWait);
        if (!ev) return std::nullopt;
        return ev->xproperty.time;
    }

    bool take(std::string utf8Text) {
        Display* d = display.get();
        const auto time = server_time();
        if (!time) return false;
        content = std::move(utf8Text);
        XSetSelectionOwner(d, clipboard, window, *time);
        owned = XGetSelectionOwner(d, clipboard) == window;
        ownedSince = *time;
        if (!owned) content.clear();
        return owned;
    }

    // The property's whole value, deleted as it is read.
    struct Property {
        Atom type = None;
        int format = 0;
        std::string bytes;
    };
    std::optional<Property> read_property() {
        Display* d = display.get();
        Atom type = None;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(d, window, readProp, 0, LONG_MAX / 4, True, AnyPropertyType, &type, &format, &items,
                               &after, &data) != Success)
            return std::nullopt;
        Property p;
        p.type = type;
        p.format = format;
        if (data) {
            if (format == 8) p.bytes.assign(reinterpret_cast<const char*>(data), items);
            XFree(data);
        }
        return p;
    }

    // The value sent part by part after an INCR answer: each part is a new
    // value of the property, an empty one ends it.
    std::optional<std::string> read_incremental() {
        std::string all;
        for (;;) {
            const auto ev = wait_for(
                [&](const XEvent& e) {
                    return e.type == PropertyNotify && e.xproperty.window == window &&
                           e.xproperty.atom == readProp && e.xproperty.state == PropertyNewValue;
                },
                std::chrono::steady_clock::now() + kAnswerWait);
            if (!ev) return std::nullopt;
            const auto part = read_property();
            if (!part) return std::nullopt;
            if (part->bytes.empty()) return all;
            if (all.size() < kReadLimit) all += part->bytes.substr(0, kReadLimit - all.size());
        }
    }

    std::optional<std::string> fetch() {
        Display* d = display.get();
        // Asked of the server: another client may have taken the selection
        // while its SelectionClear is still on the way.
        const Window owner = XGetSelectionOwner(d, clipboard);
        if (owner == window && owned) return content;
        if (owner != window) {
            owned = false;
            content.clear();
        }
        if (owner == None) return std::nullopt;
        for (const Atom target : {utf8, static_cast<Atom>(XA_STRING)}) {
            XDeleteProperty(d, window, readProp);
            XConvertSelection(d, clipboard, target, readProp, window, CurrentTime);
            XFlush(d);
            const auto ev = wait_for(
                [&](const XEvent& e) {
                    return e.type == SelectionNotify && e.xselection.requestor == window &&
                           e.xselection.selection == clipboard;
                },
                std::chrono::steady_clock::now() + kAnswerWait);
            if (!ev) return std::nullopt;  // the owner does not answer
            if (ev->xselection.property == None) continue;  // not offered
            auto value = read_property();
            if (!value) return std::nullopt;
            std::string bytes;
            Atom type = value->type;
            if (type == incr) {
                auto whole = read_incremental();
                if (!whole) return std::nullopt;
                bytes = std::move(*whole);
                type = target;
            } else if (value->format != 8) {
                continue;
            } else {
                bytes = std::move(value->bytes);
            }
            return repaired(type == XA_STRING ? latin1_to_utf8(bytes) : std::move(bytes));
        }
        return std::nullopt;
    }
};

X11Clipboard::X11Clipboard(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
X11Clipboard::~X11Clipboard() = default;

Result<std::unique_ptr<X11Clipboard>> X11Clipboard::open(const std::string& name) {
    auto impl = std::make_unique<Impl>();
    impl->display.reset(XOpenDisplay(name.empty() ? nullptr : name.c_str()));
    if (!impl->display) return fail("cannot open the X display for the clipboard");
    Display* d = impl->display.get();
    impl->wake.fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (impl->wake.fd < 0) return fail("cannot create the clipboard thread's wake-up event");
    XSetWindowAttributes attributes{};
    attributes.event_mask = PropertyChangeMask;
    impl->window = XCreateWindow(d, DefaultRootWindow(d), -10, -10, 1, 1, 0, 0, InputOnly, CopyFromParent,
                                 CWEventMask, &attributes);
    auto atom = [d](const char* n) { return XInternAtom(d, n, False); };
    impl->clipboard = atom("CLIPBOARD");
    impl->targets = atom("TARGETS");
    impl->timestamp = atom("TIMESTAMP");
    impl->utf8 = atom("UTF8_STRING");
    impl->text = atom("TEXT");
    impl->incr = atom("INCR");
    impl->readProp = atom("HEARTHPAD_SELECTION");
    impl->timeProp = atom("HEARTHPAD_TIME");
    const long maxWords = XExtendedMaxRequestSize(d) > 0 ? XExtendedMaxRequestSize(d) : XMaxRequestSize(d);
    impl->maxProperty = static_cast<std::size_t>(maxWords) * 4 - 256;
    XSync(d, False);
    Impl* raw = impl.get();
    impl->thread = std::jthread([raw](std::stop_token stop) { raw->run(stop); });
    return std::unique_ptr<X11Clipboard>(new X11Clipboard(std::move(impl)));
}

bool X11Clipboard::set(std::string_view utf8) {
    auto done = std::make_shared<std::promise<bool>>();
    auto result = done->get_future();
    impl_->post([impl = impl_.get(), done, text = std::string(utf8)]() mutable { done->set_value(impl->take(std::move(text))); });
    return result.wait_for(kCallerWait) == std::future_status::ready && result.get();
}

std::optional<std::string> X11Clipboard::get() {
    auto done = std::make_shared<std::promise<std::optional<std::string>>>();
    auto result = done->get_future();
    impl_->post([impl = impl_.get(), done] { done->set_value(impl->fetch()); });
    if (result.wait_for(kCallerWait) != std::future_status::ready) return std::nullopt;
    return result.get();
}

}  // namespace hp::platform::x11
