#include "platform/x11/x11_platform.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <thread>
#include <vector>

#include "platform/thread_name.h"
#include "platform/x11/x11_clipboard.h"
#include "platform/x11/x11_translate.h"

namespace hp::platform::x11 {
namespace {

using namespace std::chrono_literals;
using SteadyTime = std::chrono::steady_clock::time_point;

// A keycode bound for text keeps its keysym this long after the last typing,
// so clients that read the keymap late still read the right one; then the
// keymap is as it was.
constexpr auto kRestoreDelay = 500ms;
// Before a keycode that typed one keysym is bound to another, this long has
// passed since it was typed, so that clients have read the events typed with
// the old binding (only texts needing more keysyms than there are spare
// keycodes wait for it, and a client slower than this may still read one of
// them with the new binding).
constexpr auto kRebindGap = 150ms;

struct DisplayCloser {
    void operator()(Display* d) const { XCloseDisplay(d); }
};

// Xlib reports protocol errors (a requestor window that went away, a keycode
// another client took) through one handler per process, whose default ends
// the process. The platform's requests all tolerate failure.
int ignore_x_error(Display*, XErrorEvent*) { return 0; }

// The keyboard map as the server has it now.
struct Keymap {
    int minCode = 0, maxCode = 0, width = 0;
    std::vector<KeySym> syms;     // width per keycode, from minCode
    std::set<unsigned> modifiers;  // keycodes in the modifier map

    KeySym sym(unsigned code, int column) const {
        return syms[static_cast<std::size_t>(code - minCode) * width + column];
    }
    bool empty_key(unsigned code) const {
        for (int c = 0; c < width; ++c)
            if (sym(code, c) != NoSymbol) return false;
        return !modifiers.contains(code);
    }
    // Still shows a keysym bound to it (the server may have added columns).
    bool shows(unsigned code, KeySym keysym) const { return width > 0 && sym(code, 0) == keysym; }
    std::optional<unsigned> find(KeySym keysym) const {
        for (int code = minCode; code <= maxCode; ++code)
            if (width > 0 && sym(static_cast<unsigned>(code), 0) == keysym) return static_cast<unsigned>(code);
        return std::nullopt;
    }
};

class X11Platform final : public PlatformServices {
public:
    X11Platform(std::unique_ptr<Display, DisplayCloser> display, std::unique_ptr<X11Clipboard> clipboard,
                X11Options options)
        : display_(std::move(display)), clipboard_(std::move(clipboard)), options_(std::move(options)) {
        restorer_ = std::jthread([this](std::stop_token stop) { restore_when_due(stop); });
    }

    ~X11Platform() override {
        restorer_.request_stop();
        if (restorer_.joinable()) restorer_.join();
        std::lock_guard lock(mutex_);
        if (!bound_.empty()) {
            wait_rebind_gap();
            restore_keymap();
        }
    }

    bool moveRelative(std::int32_t dx, std::int32_t dy) override {
        if (dx == 0 && dy == 0) return true;
        // The request carries 16-bit offsets; no screen is wider.
        const int x = std::clamp(dx, -32768, 32767), y = std::clamp(dy, -32768, 32767);
        std::lock_guard lock(mutex_);
        const bool ok = XTestFakeRelativeMotionEvent(d(), x, y, CurrentTime) != 0;
        XFlush(d());
        return ok;
    }

    bool mouseButton(std::uint8_t button, bool down) override {
        const auto b = x_button(button);
        if (!b) return true;
        std::lock_guard lock(mutex_);
        const bool ok = XTestFakeButtonEvent(d(), *b, down ? True : False, CurrentTime) != 0;
        XFlush(d());
        return ok;
    }

    bool wheel(std::int32_t amount) override {
        std::lock_guard lock(mutex_);
        return clicks(vertical_.add(amount), kButtonWheelUp, kButtonWheelDown);
    }

    bool hwheel(std::int32_t amount) override {
        std::lock_guard lock(mutex_);
        return clicks(horizontal_.add(amount), kButtonWheelRight, kButtonWheelLeft);
    }

    // A record with no X key is nothing to send (and so no refusal).
    bool key(const KeyRecord& record, bool down) override {
        const auto code = x_keycode(record);
        if (!code) return true;
        std::lock_guard lock(mutex_);
        const bool ok = XTestFakeKeyEvent(d(), *code, down ? True : False, CurrentTime) != 0;
        XFlush(d());
        return ok;
    }

    bool typeText(std::u16string_view units) override {
        const std::vector<std::uint32_t> keysyms = text_keysyms(units);
        if (keysyms.empty()) return true;
        std::lock_guard lock(mutex_);
        const Keymap map = read_keymap();
        forget_lost_bindings(map);
        std::vector<unsigned> spare;
        for (int code = map.minCode; code <= map.maxCode; ++code) {
            const auto c = static_cast<unsigned>(code);
            if (map.empty_key(c) || bound_.contains(c)) spare.push_back(c);
        }
        // Keysyms the keymap has on a key's first or Shift level are typed
        // with that key (and Shift) while nothing else (a held Shift, another
        // group) changes levels: text in the keyboard's own layout then needs
        // no binding at all. Caps Lock is let go while typing and locked
        // again after it: text is typed as it is, as on Windows.
        struct OnKey {
            unsigned code;
            bool shift;
        };
        std::map<std::uint32_t, OnKey> onKeys;
        XkbStateRec state{};
        const bool haveState = XkbGetState(d(), XkbUseCoreKbd, &state) == Success;
        const bool capsLocked = haveState && (state.locked_mods & LockMask) != 0;
        const unsigned otherMods = haveState ? (state.mods & ~(capsLocked ? LockMask : 0u)) : 0u;
        if (haveState && state.group == 0 && (otherMods & (ShiftMask | LockMask)) == 0) {
            const auto shiftCode = map.find(XK_Shift_L);
            for (int column = 0; column < std::min(map.width, shiftCode ? 2 : 1); ++column)
                for (int code = map.minCode; code <= map.maxCode; ++code) {
                    const auto c = static_cast<unsigned>(code);
                    if (map.sym(c, column) != NoSymbol && !bound_.contains(c))
                        onKeys.emplace(static_cast<std::uint32_t>(map.sym(c, column)), OnKey{c, column == 1});
                }
            shiftCode_ = shiftCode.value_or(0);
        }
        const auto needsSlot = [&](std::uint32_t ks) { return !is_fixed_key(ks) && !onKeys.contains(ks); };
        const auto runs = binding_runs(keysyms, spare.size(), needsSlot);
        if (!runs) return false;
        const auto returnCode = map.find(kKeysymReturn), tabCode = map.find(kKeysymTab);
        if (capsLocked) XkbLockModifiers(d(), XkbUseCoreKbd, LockMask, 0);
        bool ok = true;
        std::size_t begin = 0;
        for (const std::size_t end : *runs) {
            const std::span<const std::uint32_t> run(keysyms.data() + begin, end - begin);
            bind(run, spare, needsSlot);
            for (const std::uint32_t ks : run) {
                std::optional<unsigned> code;
                if (ks == kKeysymReturn) code = returnCode;
                else if (ks == kKeysymTab) code = tabCode;
                else if (const auto it = onKeys.find(ks); it != onKeys.end()) code = it->second.code;
                else code = code_of(ks);
                if (!code) continue;
                const auto on = onKeys.find(ks);
                const bool shift = on != onKeys.end() && on->second.shift;
                if (shift) ok = XTestFakeKeyEvent(d(), shiftCode_, True, CurrentTime) != 0 && ok;
                ok = XTestFakeKeyEvent(d(), *code, True, CurrentTime) != 0 && ok;
                ok = XTestFakeKeyEvent(d(), *code, False, CurrentTime) != 0 && ok;
                if (shift) ok = XTestFakeKeyEvent(d(), shiftCode_, False, CurrentTime) != 0 && ok;
            }
            XFlush(d());
            lastTyped_ = std::chrono::steady_clock::now();
            begin = end;
        }
        if (capsLocked) {
            XkbLockModifiers(d(), XkbUseCoreKbd, LockMask, LockMask);
            XFlush(d());
        }
        restoreAt_ = std::chrono::steady_clock::now() + kRestoreDelay;
        wake_.notify_all();
        return ok;
    }

    void lockWorkstation() override {
        if (options_.lock) options_.lock();
    }
    void keepAwake() override {
        if (options_.keepAwake) options_.keepAwake();
    }
    void stepBrightness(bool up) override {
        if (options_.stepBrightness) options_.stepBrightness(up);
    }
    void setClipboard(std::string_view utf8) override { (void)clipboard_->set(utf8); }
    std::optional<std::string> getClipboard() override { return clipboard_->get(); }

private:
    Display* d() const { return display_.get(); }

    bool clicks(int count, unsigned positive, unsigned negative) {
        if (count == 0) return true;
        const unsigned button = count > 0 ? positive : negative;
        bool ok = true;
        for (int i = 0; i < std::abs(count); ++i) {
            ok = XTestFakeButtonEvent(d(), button, True, CurrentTime) != 0 && ok;
            ok = XTestFakeButtonEvent(d(), button, False, CurrentTime) != 0 && ok;
        }
        XFlush(d());
        return ok;
    }

    // Reads the map from the server (Xlib's copy lags behind other clients'
    // changes) and drops the notices of map changes that queue up on this
    // connection, which reads no events otherwise.
    Keymap read_keymap() {
        drain_events();
        Keymap map;
        XDisplayKeycodes(d(), &map.minCode, &map.maxCode);
        const int count = map.maxCode - map.minCode + 1;
        if (KeySym* syms = XGetKeyboardMapping(d(), static_cast<KeyCode>(map.minCode), count, &map.width)) {
            map.syms.assign(syms, syms + static_cast<std::size_t>(count) * map.width);
            XFree(syms);
        } else {
            map.width = 0;
            map.maxCode = map.minCode - 1;
        }
        if (XModifierKeymap* mods = XGetModifierMapping(d())) {
            for (int i = 0; i < 8 * mods->max_keypermod; ++i)
                if (mods->modifiermap[i]) map.modifiers.insert(mods->modifiermap[i]);
            XFreeModifiermap(mods);
        }
        return map;
    }

    void drain_events() {
        while (XPending(d()) > 0) {
            XEvent ev;
            XNextEvent(d(), &ev);
        }
    }

    // Someone else changed the map (a new layout, xmodmap): bindings it no
    // longer shows are not ours any more.
    void forget_lost_bindings(const Keymap& map) {
        std::erase_if(bound_, [&](const auto& entry) {
            const auto [code, keysym] = entry;
            return code < static_cast<unsigned>(map.minCode) || code > static_cast<unsigned>(map.maxCode) ||
                   !map.shows(code, keysym);
        });
    }

    std::optional<unsigned> code_of(std::uint32_t keysym) const {
        for (const auto& [code, ks] : bound_)
            if (ks == keysym) return code;
        return std::nullopt;
    }

    // Binds every keysym of the run that is not bound yet to a spare keycode:
    // first the unused ones, then those whose keysym the run does not need.
    void bind(std::span<const std::uint32_t> run, const std::vector<unsigned>& spare,
              const std::function<bool(std::uint32_t)>& needsSlot) {
        std::set<std::uint32_t> needed;
        for (const std::uint32_t ks : run)
            if (needsSlot(ks)) needed.insert(ks);
        std::vector<std::uint32_t> missing;
        for (const std::uint32_t ks : needed)
            if (!code_of(ks)) missing.push_back(ks);
        if (missing.empty()) return;
        std::vector<unsigned> free, reusable;
        for (const unsigned code : spare) {
            const auto it = bound_.find(code);
            if (it == bound_.end()) free.push_back(code);
            else if (!needed.contains(it->second)) reusable.push_back(code);
        }
        std::map<unsigned, std::uint32_t> changes;
        bool rebinding = false;
        for (const std::uint32_t ks : missing) {
            unsigned code = 0;
            if (!free.empty()) {
                code = free.back();
                free.pop_back();
            } else {
                code = reusable.back();
                reusable.pop_back();
                rebinding = true;
            }
            changes[code] = ks;
        }
        if (rebinding) wait_rebind_gap();
        apply(changes);
        for (const auto& [code, ks] : changes) bound_[code] = ks;
        // The server has the new map before the first key of the run.
        XSync(d(), False);
    }

    // One request per stretch of consecutive keycodes. The keysym fills both
    // levels: alone, the server would give a letter's two cases to the two
    // levels, and an upper-case letter would type its lower case.
    void apply(const std::map<unsigned, std::uint32_t>& changes) {
        auto it = changes.begin();
        while (it != changes.end()) {
            const unsigned first = it->first;
            std::vector<KeySym> syms;
            unsigned next = first;
            while (it != changes.end() && it->first == next) {
                syms.push_back(it->second);
                syms.push_back(it->second);
                ++it;
                ++next;
            }
            XChangeKeyboardMapping(d(), static_cast<int>(first), 2, syms.data(), static_cast<int>(syms.size() / 2));
        }
    }

    void wait_rebind_gap() {
        if (!lastTyped_) return;
        const auto due = *lastTyped_ + kRebindGap;
        const auto now = std::chrono::steady_clock::now();
        if (due > now) std::this_thread::sleep_for(due - now);
    }

    // Gives the bound keycodes back their empty map, where the map still
    // shows what this object bound.
    void restore_keymap() {
        const Keymap map = read_keymap();
        forget_lost_bindings(map);
        std::map<unsigned, std::uint32_t> changes;
        for (const auto& [code, ks] : bound_) changes[code] = NoSymbol;
        apply(changes);
        bound_.clear();
        XSync(d(), False);
        drain_events();
    }

    void restore_when_due(const std::stop_token& stop) {
        name_this_thread("hp-x11-keymap");
        std::unique_lock lock(mutex_);
        while (!stop.stop_requested()) {
            if (!restoreAt_) {
                wake_.wait(lock, stop, [&] { return restoreAt_.has_value(); });
                continue;
            }
            const SteadyTime at = *restoreAt_;
            if (wake_.wait_until(lock, stop, at, [&] { return restoreAt_ != at; })) continue;
            if (stop.stop_requested()) break;
            restoreAt_.reset();
            if (!bound_.empty()) restore_keymap();
        }
    }

    std::unique_ptr<Display, DisplayCloser> display_;
    std::unique_ptr<X11Clipboard> clipboard_;
    X11Options options_;

    std::mutex mutex_;  // the input connection and everything below
    WheelAxis vertical_, horizontal_;
    std::map<unsigned, std::uint32_t> bound_;  // keycode → keysym bound for text
    unsigned shiftCode_ = 0;                   // left Shift, for keysyms on a Shift level
    std::optional<SteadyTime> lastTyped_;
    std::optional<SteadyTime> restoreAt_;
    std::condition_variable_any wake_;
    std::jthread restorer_;  // last: stopped before the members it uses go
};

}  // namespace

Result<std::shared_ptr<PlatformServices>> make_x11_platform(X11Options options) {
    XInitThreads();
    XSetErrorHandler(&ignore_x_error);
    const char* shown = XDisplayName(options.display.empty() ? nullptr : options.display.c_str());
    const std::string name = shown ? shown : "";
    if (name.empty()) return fail("no X display: DISPLAY is not set");
    std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(name.c_str()));
    if (!display) return fail("cannot open the X display \"" + name + "\"");
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display.get(), &event, &error, &major, &minor))
        return fail("the X display \"" + name + "\" has no XTEST extension, which input needs");
    // Input goes on while another client grabs the server (a menu, a drag).
    XTestGrabControl(display.get(), True);
    auto clipboard = X11Clipboard::open(name);
    if (!clipboard) return std::unexpected(clipboard.error());
    return std::make_shared<X11Platform>(std::move(display), std::move(*clipboard), std::move(options));
}

}  // namespace hp::platform::x11
