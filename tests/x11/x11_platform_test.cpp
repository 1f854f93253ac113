// The X11 platform against an X server of the test's own (Xvfb): what an X
// client receives from it, text typed into that client, and the clipboard as
// xclip and xsel see it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "base/utf8.h"
#include "input/keys.h"
#include "platform/x11/x11_platform.h"
#include "x11/x_session.h"

// After the project's headers: Xlib defines Status as a macro.
#include <X11/XF86keysym.h>
#include <X11/XKBlib.h>
#include <X11/keysym.h>

namespace hp::platform::x11 {
namespace {

using namespace std::chrono_literals;

std::u16string u16(const std::u32string& s) {
    std::string utf8;
    for (const char32_t c : s) append_utf8(utf8, c);
    return utf8_to_utf16(utf8);
}

std::string utf8_of(const std::u32string& s) {
    std::string utf8;
    for (const char32_t c : s) append_utf8(utf8, c);
    return utf8;
}

bool have(const char* program) { return std::system((std::string("command -v ") + program + " >/dev/null").c_str()) == 0; }

class X11PlatformTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto server = test::Xvfb::start();
        if (!server) GTEST_SKIP() << "no X server for the test: " << server.error().text;
        xvfb = std::move(*server);
        auto r = test::XReceiver::open(xvfb->display());
        ASSERT_TRUE(r) << r.error().text;
        receiver = std::move(*r);
        auto p = make_x11_platform(X11Options{.display = xvfb->display()});
        ASSERT_TRUE(p) << p.error().text;
        platform = std::move(*p);
    }

    // Runs a shell command with this server as its display; its output.
    std::string run(const std::string& command) {
        std::string out;
        FILE* f = popen(("export DISPLAY=" + xvfb->display() + "; " + command).c_str(), "r");
        if (!f) return out;
        char buf[65536];
        std::size_t n = 0;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
        pclose(f);
        return out;
    }

    // xclip and xsel take the selection after their command returned (in the
    // copy they leave running): wait until the server names a new owner.
    void wait_for_clipboard_text(const std::string& text, const std::string& target = "") {
        for (int i = 0; i < 100 && run("xclip -selection clipboard -o " + target + " 2>/dev/null") != text; ++i)
            std::this_thread::sleep_for(20ms);
    }
    void wait_for_owner_other_than_platform() { wait_for_clipboard_text("Grüße 日本語 🎮"); }

    std::vector<unsigned> button_presses(std::size_t count) {
        std::vector<unsigned> got;
        while (got.size() < count) {
            auto ev = receiver->next([](const XEvent& e) { return e.type == ButtonPress; }, 2s);
            if (!ev) break;
            got.push_back(ev->xbutton.button);
        }
        return got;
    }

    std::vector<KeySym> keymap() {
        int lo = 0, hi = 0, width = 0;
        XDisplayKeycodes(receiver->display(), &lo, &hi);
        KeySym* syms = XGetKeyboardMapping(receiver->display(), static_cast<KeyCode>(lo), hi - lo + 1, &width);
        std::vector<KeySym> all(syms, syms + static_cast<std::size_t>(hi - lo + 1) * width);
        XFree(syms);
        return all;
    }

    // Declared first, so the server outlives its clients.
    std::unique_ptr<test::Xvfb> xvfb;
    std::unique_ptr<test::XReceiver> receiver;
    std::shared_ptr<PlatformServices> platform;
};

TEST_F(X11PlatformTest, PointerMotionMovesThePointerByTheOffsets) {
    Window root, child;
    int x0 = 0, y0 = 0, wx = 0, wy = 0;
    unsigned mask = 0;
    XQueryPointer(receiver->display(), receiver->window(), &root, &child, &x0, &y0, &wx, &wy, &mask);
    receiver->drain(50ms);
    ASSERT_TRUE(platform->moveRelative(7, -4));
    auto ev = receiver->next([](const XEvent& e) { return e.type == MotionNotify; }, 2s);
    ASSERT_TRUE(ev);
    EXPECT_EQ(ev->xmotion.x_root, x0 + 7);
    EXPECT_EQ(ev->xmotion.y_root, y0 - 4);
    // Nothing to move sends nothing.
    EXPECT_TRUE(platform->moveRelative(0, 0));
    EXPECT_FALSE(receiver->next([](const XEvent& e) { return e.type == MotionNotify; }, 200ms));
}

TEST_F(X11PlatformTest, ButtonsAndWheelClicks) {
    for (const std::uint8_t b : {1, 2, 3}) {
        EXPECT_TRUE(platform->mouseButton(b, true));
        EXPECT_TRUE(platform->mouseButton(b, false));
    }
    EXPECT_TRUE(platform->mouseButton(4, true));  // no such button: nothing
    EXPECT_TRUE(platform->wheel(240));            // two notches away from the user
    EXPECT_TRUE(platform->wheel(-60));            // half a notch back: nothing yet
    EXPECT_TRUE(platform->wheel(-60));            // the other half
    EXPECT_TRUE(platform->hwheel(120));           // right
    EXPECT_TRUE(platform->hwheel(-100));          // left, not yet a notch
    EXPECT_TRUE(platform->hwheel(-30));
    EXPECT_EQ(button_presses(8), (std::vector<unsigned>{1, 3, 2, 4, 4, 5, 7, 6}));
    EXPECT_EQ(button_presses(1), std::vector<unsigned>{});
}

struct KeyCase {
    const char* what;
    KeyRecord record;
    unsigned keycode;
    KeySym keysym;  // what the server's keymap makes of it
};

TEST_F(X11PlatformTest, KeysArriveWithTheirKeycodes) {
    const KeyCase cases[] = {
        {"a", *input::key_record(4), 38, XK_a},
        {"Enter", *input::key_record(40), 36, XK_Return},
        {"F5", *input::key_record(62), 71, XK_F5},
        {"Left", *input::key_record(80), 113, XK_Left},
        {"Delete", *input::key_record(76), 119, XK_Delete},
        {"keypad /", *input::key_record(84), 106, XK_KP_Divide},
        {"right Ctrl", *input::key_record(228), 105, XK_Control_R},
        {"left Win", *input::key_record(227), 133, XK_Super_L},
        {"volume up", input::record_for_vk(0xAF), 123, XF86XK_AudioRaiseVolume},
        {"play/pause", input::record_for_vk(0xB3), 172, XF86XK_AudioPlay},
        {"previous track", input::record_for_vk(0xB1), 173, XF86XK_AudioPrev},
    };
    for (const KeyCase& c : cases) {
        ASSERT_TRUE(platform->key(c.record, true)) << c.what;
        auto down = receiver->next([](const XEvent& e) { return e.type == KeyPress; }, 2s);
        ASSERT_TRUE(down) << c.what;
        EXPECT_EQ(down->xkey.keycode, c.keycode) << c.what;
        EXPECT_EQ(XkbKeycodeToKeysym(receiver->display(), static_cast<KeyCode>(down->xkey.keycode), 0, 0), c.keysym)
            << c.what;
        ASSERT_TRUE(platform->key(c.record, false)) << c.what;
        auto up = receiver->next([](const XEvent& e) { return e.type == KeyRelease; }, 2s);
        ASSERT_TRUE(up) << c.what;
        EXPECT_EQ(up->xkey.keycode, c.keycode) << c.what;
    }
    // A record with no X key sends nothing and is no refusal.
    EXPECT_TRUE(platform->key(KeyRecord{0x41, 0, false}, true));
    EXPECT_TRUE(platform->key(KeyRecord{0, 0x70, true}, true));
    EXPECT_FALSE(receiver->next([](const XEvent& e) { return e.type == KeyPress; }, 200ms));
}

TEST_F(X11PlatformTest, TextArrivesIntactAndTheKeymapIsRestored) {
    const std::vector<KeySym> before = keymap();
    const std::u32string text = U"Grüße 日本語 🎮\nnext line\tTab ~ ÀÉÎõü €";
    ASSERT_TRUE(platform->typeText(u16(text)));
    EXPECT_EQ(utf8_of(receiver->read_text(text.size(), 5s)), utf8_of(text));
    // Typed again at once: the bindings are reused.
    ASSERT_TRUE(platform->typeText(u"日本"));
    EXPECT_EQ(utf8_of(receiver->read_text(2, 5s)), "日本");
    // Half a second after the last typing; a busy machine may take longer.
    std::vector<KeySym> after = keymap();
    for (int i = 0; i < 50 && after != before; ++i) {
        std::this_thread::sleep_for(100ms);
        after = keymap();
    }
    EXPECT_EQ(after, before);
}

// Text is typed as it is, whatever Caps Lock says; Caps Lock stays on.
TEST_F(X11PlatformTest, CapsLockDoesNotChangeTypedText) {
    const KeyRecord caps = *input::key_record(57);
    ASSERT_TRUE(platform->key(caps, true));
    ASSERT_TRUE(platform->key(caps, false));
    receiver->drain(100ms);
    const std::u32string text = U"aé Ü ß 日 Z";
    ASSERT_TRUE(platform->typeText(u16(text)));
    EXPECT_EQ(utf8_of(receiver->read_text(text.size(), 5s)), utf8_of(text));
    XkbStateRec state{};
    XkbGetState(receiver->display(), XkbUseCoreKbd, &state);
    EXPECT_TRUE(state.locked_mods & LockMask);
}

// More different characters than the server has spare keycodes: the text is
// typed in runs, each with its own bindings.
TEST_F(X11PlatformTest, TextWithMoreCharactersThanSpareKeycodes) {
    std::u32string text;
    for (char32_t c = 0x4E00; c < 0x4E00 + 400; ++c) text.push_back(c);
    text += U"🎮a";
    // Read while it is typed, as a client does: the keycodes of one run are
    // bound to other keysyms for the next.
    std::u32string read;
    std::thread reader([&] { read = receiver->read_text(text.size(), 20s); });
    EXPECT_TRUE(platform->typeText(u16(text)));
    reader.join();
    EXPECT_EQ(utf8_of(read), utf8_of(text));
}

TEST_F(X11PlatformTest, ClipboardSetIsReadByXclipAndXsel) {
    if (!have("xclip") || !have("xsel")) GTEST_SKIP() << "xclip or xsel is not installed";
    const std::string text = "Grüße 日本語 🎮\nline two";
    platform->setClipboard(text);
    EXPECT_EQ(run("xclip -selection clipboard -o"), text);
    const std::string targets = run("xclip -selection clipboard -o -t TARGETS");
    for (const char* t : {"TARGETS", "UTF8_STRING", "STRING"}) EXPECT_NE(targets.find(t), std::string::npos) << t;
    // STRING is Latin-1: what it cannot hold becomes '?'.
    EXPECT_EQ(run("xclip -selection clipboard -o -t STRING"), "Gr\xFC\xDF" "e ??? ?\nline two");
    EXPECT_EQ(run("xsel -b -o"), text);
    // Its own text comes back without asking the server.
    EXPECT_EQ(platform->getClipboard(), text);
    // Larger than a property of the core protocol (BIG-REQUESTS carries it).
    const std::string big(300000, 'x');
    platform->setClipboard(big);
    EXPECT_EQ(run("xclip -selection clipboard -o"), big);
}

TEST_F(X11PlatformTest, ClipboardOfOtherClientsIsRead) {
    if (!have("xclip") || !have("xsel")) GTEST_SKIP() << "xclip or xsel is not installed";
    platform->setClipboard("ours");
    run("printf '%s' 'Grüße 日本語 🎮' | xclip -selection clipboard -i >/dev/null 2>&1");
    wait_for_owner_other_than_platform();
    EXPECT_EQ(platform->getClipboard(), "Grüße 日本語 🎮");
    run("printf '%s' 'from xsel: Grüße 日本語' | xsel -b -i >/dev/null 2>&1");
    wait_for_clipboard_text("from xsel: Grüße 日本語");
    EXPECT_EQ(platform->getClipboard(), "from xsel: Grüße 日本語");
    // An owner that offers only STRING (Latin-1).
    run("printf 'Gr\\374\\337e' | xclip -selection clipboard -i -t STRING >/dev/null 2>&1");
    wait_for_clipboard_text("Gr\xFC\xDF" "e", "-t STRING");
    EXPECT_EQ(platform->getClipboard(), "Grüße");
    // Large enough for an incremental transfer.
    const auto file = std::filesystem::temp_directory_path() / ("hp-x11-clip-" + std::to_string(getpid()));
    std::string big;
    for (int i = 0; big.size() < 1500000; ++i) big += "line " + std::to_string(i) + " äöü\n";
    std::ofstream(file, std::ios::binary) << big;
    run("xclip -selection clipboard -i '" + file.string() + "' >/dev/null 2>&1");
    wait_for_clipboard_text(big);
    const auto read = platform->getClipboard();
    std::filesystem::remove(file);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->size(), big.size());
    EXPECT_TRUE(*read == big);
}

TEST_F(X11PlatformTest, NoOwnerReadsAsNothing) {
    EXPECT_EQ(platform->getClipboard(), std::nullopt);
}

TEST(X11PlatformDisplay, AnAbsentDisplayIsAnError) {
    int n = 900;
    while (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n))) ++n;
    const std::string name = ":" + std::to_string(n);
    auto p = make_x11_platform(X11Options{.display = name});
    ASSERT_FALSE(p);
    EXPECT_NE(p.error().text.find(name), std::string::npos) << p.error().text;
}

TEST_F(X11PlatformTest, SystemActionsGoToTheGivenFunctions) {
    int locks = 0, awake = 0;
    std::vector<bool> steps;
    auto p = make_x11_platform(X11Options{.display = xvfb->display(),
                                          .lock = [&] { ++locks; },
                                          .keepAwake = [&] { ++awake; },
                                          .stepBrightness = [&](bool up) { steps.push_back(up); }});
    ASSERT_TRUE(p);
    (*p)->lockWorkstation();
    (*p)->keepAwake();
    (*p)->stepBrightness(true);
    (*p)->stepBrightness(false);
    EXPECT_EQ(locks, 1);
    EXPECT_EQ(awake, 1);
    EXPECT_EQ(steps, (std::vector<bool>{true, false}));
    // Without them nothing happens.
    platform->lockWorkstation();
    platform->keepAwake();
    platform->stepBrightness(true);
}

}  // namespace
}  // namespace hp::platform::x11
