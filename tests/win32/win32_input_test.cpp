// The Windows PlatformServices against the real user32: synthetic input
// reaching a window of ours, the pointer, the clipboard, and the INPUT
// records each operation hands to SendInput.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/utf8.h"
#include "gamepad/gamepad_output.h"
#include "commands/commands.h"
#include "input/held_input.h"
#include "input/input_command.h"
#include "pad_mapping/mapping.h"
#include "vigem/client.h"
#include "platform/sas_system.h"
#include "platform/win32/platform_services.h"
#include "platform/win32/win32_system.h"

namespace hp::platform {
namespace {

// ------------------------------------------------------------ capture

// Every INPUT record the services hand over, one vector per SendInput call.
// Each call answers that all its records went in, or at most `inserted`.
struct CapturedInput {
    std::vector<std::vector<INPUT>> calls;
    std::optional<UINT> inserted;
    InputSender sender() {
        return [this](std::span<INPUT> in) {
            calls.emplace_back(in.begin(), in.end());
            const UINT all = static_cast<UINT>(in.size());
            return inserted ? std::min(all, *inserted) : all;
        };
    }
    std::vector<INPUT> all() const {
        std::vector<INPUT> out;
        for (const auto& c : calls) out.insert(out.end(), c.begin(), c.end());
        return out;
    }
};

TEST(Win32Typing, ThreeHundredUnitsGoOutAsTwoCallsOf512And88) {
    CapturedInput captured;
    const std::u16string text(300, u'x');
    type_units(text, captured.sender());
    ASSERT_EQ(captured.calls.size(), 2u);
    EXPECT_EQ(captured.calls[0].size(), 512u);
    EXPECT_EQ(captured.calls[1].size(), 88u);
}

TEST(Win32Typing, EachUnitIsAUnicodeDownUpPairInOrder) {
    CapturedInput captured;
    const std::u16string units = utf8_to_utf16("a\xC3\xBC\xF0\x9F\x8E\xAE");  // a ü 🎮
    ASSERT_EQ(units.size(), 4u);
    type_units(units, captured.sender());
    const auto inputs = captured.all();
    ASSERT_EQ(inputs.size(), 8u);
    for (std::size_t i = 0; i < units.size(); ++i) {
        for (const bool up : {false, true}) {
            const INPUT& in = inputs[2 * i + (up ? 1 : 0)];
            EXPECT_EQ(in.type, static_cast<DWORD>(INPUT_KEYBOARD));
            EXPECT_EQ(in.ki.wVk, 0);
            EXPECT_EQ(in.ki.wScan, units[i]);
            EXPECT_EQ(in.ki.dwFlags, static_cast<DWORD>(KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0)));
        }
    }
}

TEST(Win32Typing, APartlyRefusedBatchIsReportedAndTheRestStillHandedOver) {
    CapturedInput captured;
    captured.inserted = 100;  // SendInput stopped after 100 of 512 records
    EXPECT_FALSE(type_units(std::u16string(300, u'x'), captured.sender()));
    EXPECT_EQ(captured.calls.size(), 2u);
    CapturedInput all;
    EXPECT_TRUE(type_units(std::u16string(300, u'x'), all.sender()));
}

struct InjectionCase {
    const char* name;
    std::function<bool(PlatformServices&)> call;
};

class Win32Injection : public ::testing::TestWithParam<InjectionCase> {};

// SendInput's count is what the held-input bookkeeping relies on.
TEST_P(Win32Injection, AnswersWhetherTheEventsWentIn) {
    CapturedInput refused;
    refused.inserted = 0;  // as while the secure desktop is up
    EXPECT_FALSE(GetParam().call(*make_win32_platform_services(refused.sender())));
    EXPECT_EQ(refused.calls.size(), 1u);
    CapturedInput taken;
    EXPECT_TRUE(GetParam().call(*make_win32_platform_services(taken.sender())));
}

INSTANTIATE_TEST_SUITE_P(
    Win32, Win32Injection,
    ::testing::Values(InjectionCase{"move", [](PlatformServices& p) { return p.moveRelative(3, 4); }},
                      InjectionCase{"button", [](PlatformServices& p) { return p.mouseButton(2, false); }},
                      InjectionCase{"wheel", [](PlatformServices& p) { return p.wheel(120); }},
                      InjectionCase{"hwheel", [](PlatformServices& p) { return p.hwheel(-120); }},
                      InjectionCase{"key", [](PlatformServices& p) { return p.key({0x41, 0x1E, false}, true); }},
                      InjectionCase{"text", [](PlatformServices& p) { return p.typeText(u"ab"); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Win32Typing, EmptyTextSendsNothing) {
    CapturedInput captured;
    type_units(u"", captured.sender());
    EXPECT_TRUE(captured.calls.empty());
}

struct MouseCase {
    const char* name;
    std::function<void(PlatformServices&)> call;
    LONG dx, dy;
    DWORD data, flags;
};

class Win32MouseRecord : public ::testing::TestWithParam<MouseCase> {};

TEST_P(Win32MouseRecord, IsOneMouseInput) {
    const auto& c = GetParam();
    CapturedInput captured;
    c.call(*make_win32_platform_services(captured.sender()));
    ASSERT_EQ(captured.calls.size(), 1u);
    ASSERT_EQ(captured.calls[0].size(), 1u);
    const INPUT& in = captured.calls[0][0];
    EXPECT_EQ(in.type, static_cast<DWORD>(INPUT_MOUSE));
    EXPECT_EQ(in.mi.dx, c.dx);
    EXPECT_EQ(in.mi.dy, c.dy);
    EXPECT_EQ(in.mi.mouseData, c.data);
    EXPECT_EQ(in.mi.dwFlags, c.flags);
}

INSTANTIATE_TEST_SUITE_P(
    Win32, Win32MouseRecord,
    ::testing::Values(
        MouseCase{"move", [](PlatformServices& p) { p.moveRelative(-7, 12); }, -7, 12, 0, MOUSEEVENTF_MOVE},
        MouseCase{"left_down", [](PlatformServices& p) { p.mouseButton(1, true); }, 0, 0, 0, MOUSEEVENTF_LEFTDOWN},
        MouseCase{"left_up", [](PlatformServices& p) { p.mouseButton(1, false); }, 0, 0, 0, MOUSEEVENTF_LEFTUP},
        MouseCase{"right_down", [](PlatformServices& p) { p.mouseButton(2, true); }, 0, 0, 0, MOUSEEVENTF_RIGHTDOWN},
        MouseCase{"right_up", [](PlatformServices& p) { p.mouseButton(2, false); }, 0, 0, 0, MOUSEEVENTF_RIGHTUP},
        MouseCase{"middle_down", [](PlatformServices& p) { p.mouseButton(3, true); }, 0, 0, 0,
                  MOUSEEVENTF_MIDDLEDOWN},
        MouseCase{"middle_up", [](PlatformServices& p) { p.mouseButton(3, false); }, 0, 0, 0, MOUSEEVENTF_MIDDLEUP},
        MouseCase{"wheel_away", [](PlatformServices& p) { p.wheel(120); }, 0, 0, 120, MOUSEEVENTF_WHEEL},
        MouseCase{"wheel_toward", [](PlatformServices& p) { p.wheel(-240); }, 0, 0, static_cast<DWORD>(-240),
                  MOUSEEVENTF_WHEEL},
        MouseCase{"hwheel_left", [](PlatformServices& p) { p.hwheel(-5); }, 0, 0, static_cast<DWORD>(-5),
                  MOUSEEVENTF_HWHEEL}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Win32MouseRecord, OtherButtonsSendNothing) {
    CapturedInput captured;
    const auto services = make_win32_platform_services(captured.sender());
    for (const std::uint8_t b : {0, 4, 5, 255}) {
        services->mouseButton(b, true);
        services->mouseButton(b, false);
    }
    EXPECT_TRUE(captured.calls.empty());
}

struct KeyCase {
    KeyRecord record;
    bool down;
    DWORD flags;
};

TEST(Win32KeyRecord, CarriesVirtualKeyScanAndFlags) {
    const KeyCase cases[] = {
        {{0x41, 0x1E, false}, true, 0},
        {{0x41, 0x1E, false}, false, KEYEVENTF_KEYUP},
        {{0x27, 0x4D, true}, true, KEYEVENTF_EXTENDEDKEY},
        {{0x27, 0x4D, true}, false, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP},
    };
    for (const auto& c : cases) {
        CapturedInput captured;
        make_win32_platform_services(captured.sender())->key(c.record, c.down);
        ASSERT_EQ(captured.calls.size(), 1u);
        ASSERT_EQ(captured.calls[0].size(), 1u);
        const INPUT& in = captured.calls[0][0];
        EXPECT_EQ(in.type, static_cast<DWORD>(INPUT_KEYBOARD));
        EXPECT_EQ(in.ki.wVk, c.record.vk);
        EXPECT_EQ(in.ki.wScan, c.record.scan);
        EXPECT_EQ(in.ki.dwFlags, c.flags);
    }
}

// ------------------------------------------------------------ a real window

// What the test window saw.
struct WindowLog {
    std::u16string chars;
    std::vector<std::pair<UINT, WPARAM>> keys;  // WM_KEYDOWN / WM_KEYUP with the virtual key
    std::vector<LPARAM> key_lparams;
    std::vector<UINT> buttons;  // WM_[LRM]BUTTON{DOWN,UP}
    int wheel_total = 0;
};

LRESULT CALLBACK test_window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* log = reinterpret_cast<WindowLog*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lp);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    } else if (log) {
        switch (msg) {
            case WM_CHAR: log->chars.push_back(static_cast<char16_t>(wp)); return 0;
            case WM_KEYDOWN:
            case WM_KEYUP:
                log->keys.emplace_back(msg, wp);
                log->key_lparams.push_back(lp);
                break;
            case WM_LBUTTONDOWN:
            case WM_LBUTTONUP:
            case WM_RBUTTONDOWN:
            case WM_RBUTTONUP:
            case WM_MBUTTONDOWN:
            case WM_MBUTTONUP: log->buttons.push_back(msg); return 0;
            case WM_MOUSEWHEEL: log->wheel_total += GET_WHEEL_DELTA_WPARAM(wp); return 0;
            default: break;
        }
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

struct WindowDestroyer {
    void operator()(HWND h) const { DestroyWindow(h); }
};
using UniqueWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroyer>;

constexpr wchar_t kTestClass[] = L"HearthpadInputTestWindow";

// A visible top-level window in front with the keyboard focus, recording
// what arrives. One window serves the whole suite: under Wine without a window
// manager, hiding or destroying a mapped window waits two seconds for the X
// server's answer.
class Win32InputWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = test_window_proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kTestClass;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        RegisterClassW(&wc);
        log_ = std::make_unique<WindowLog>();
        window_.reset(CreateWindowExW(WS_EX_TOPMOST, kTestClass, L"Hearthpad input test", WS_OVERLAPPEDWINDOW,
                                      100, 100, 400, 300, nullptr, nullptr, wc.hInstance, log_.get()));
        if (window_) {
            ShowWindow(window_.get(), SW_SHOWNORMAL);
            UpdateWindow(window_.get());
        }
    }
    static void TearDownTestSuite() {
        window_.reset();
        log_.reset();
        UnregisterClassW(kTestClass, GetModuleHandleW(nullptr));
    }

    void SetUp() override {
        ASSERT_TRUE(window_);
        SetForegroundWindow(window_.get());
        SetFocus(window_.get());
        pump_until([] { return GetForegroundWindow() == window_.get() && GetFocus() == window_.get(); });
        ASSERT_EQ(GetForegroundWindow(), window_.get());
        ASSERT_EQ(GetFocus(), window_.get());
        *log_ = WindowLog{};
    }

    static bool pump_until(const std::function<bool()>& done,
                           std::chrono::milliseconds bound = std::chrono::seconds(10)) {
        const auto give_up = std::chrono::steady_clock::now() + bound;
        while (!done()) {
            if (std::chrono::steady_clock::now() > give_up) return false;
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        }
        return true;
    }

    static POINT client_center() {
        RECT rc{};
        GetClientRect(window_.get(), &rc);
        POINT p{(rc.right - rc.left) / 2, (rc.bottom - rc.top) / 2};
        ClientToScreen(window_.get(), &p);
        return p;
    }

    static inline std::unique_ptr<WindowLog> log_;
    static inline UniqueWindow window_;
    std::shared_ptr<PlatformServices> services_ = make_win32_platform_services();
};

TEST_F(Win32InputWindow, TypedTextArrivesAsCharacters) {
    // Includes a character outside the BMP, typed as its two surrogate units.
    const std::u16string units = utf8_to_utf16("Hi \xC3\xBC\xC3\x9F \xF0\x9F\x8E\xAE!");
    services_->typeText(units);
    pump_until([&] { return log_->chars.size() >= units.size(); });
    EXPECT_EQ(utf16_to_utf8(log_->chars), utf16_to_utf8(units));
}

TEST_F(Win32InputWindow, LongTextArrivesWholeAcrossBatches) {
    std::u16string units;
    for (int i = 0; i < 300; ++i) units.push_back(static_cast<char16_t>(u'a' + i % 26));
    services_->typeText(units);
    pump_until([&] { return log_->chars.size() >= units.size(); });
    EXPECT_EQ(utf16_to_utf8(log_->chars), utf16_to_utf8(units));
}

TEST_F(Win32InputWindow, KeysArriveAsKeyDownAndUp) {
    services_->key({0x41, 0x1E, false}, true);   // A
    services_->key({0x41, 0x1E, false}, false);
    services_->key({0x27, 0x4D, true}, true);    // Right arrow, extended
    services_->key({0x27, 0x4D, true}, false);
    pump_until([&] { return log_->keys.size() >= 4; });
    const std::vector<std::pair<UINT, WPARAM>> expected{
        {WM_KEYDOWN, 0x41}, {WM_KEYUP, 0x41}, {WM_KEYDOWN, 0x27}, {WM_KEYUP, 0x27}};
    EXPECT_EQ(log_->keys, expected);
    ASSERT_EQ(log_->key_lparams.size(), 4u);
    // Bits 16-23 carry the scan code, bit 24 the extended flag.
    EXPECT_EQ((log_->key_lparams[0] >> 16) & 0xFF, 0x1E);
    EXPECT_EQ((log_->key_lparams[0] >> 24) & 1, 0);
    EXPECT_EQ((log_->key_lparams[2] >> 16) & 0xFF, 0x4D);
    EXPECT_EQ((log_->key_lparams[2] >> 24) & 1, 1);
    // A plain A with no modifier held types a lower-case a.
    EXPECT_EQ(log_->chars, u"a");
}

TEST_F(Win32InputWindow, ButtonsAndWheelReachTheWindowUnderThePointer) {
    const POINT c = client_center();
    ASSERT_TRUE(SetCursorPos(c.x, c.y));
    for (const std::uint8_t b : {1, 2, 3}) {
        services_->mouseButton(b, true);
        services_->mouseButton(b, false);
    }
    services_->wheel(240);
    pump_until([&] { return log_->buttons.size() >= 6 && log_->wheel_total != 0; });
    const std::vector<UINT> expected{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN,
                                     WM_RBUTTONUP,   WM_MBUTTONDOWN, WM_MBUTTONUP};
    EXPECT_EQ(log_->buttons, expected);
    EXPECT_EQ(log_->wheel_total, 240);
}

TEST_F(Win32InputWindow, RelativeMovesShiftTheCursor) {
    const POINT c = client_center();
    ASSERT_TRUE(SetCursorPos(c.x, c.y));
    services_->moveRelative(40, -30);
    POINT now{};
    pump_until([&] { return GetCursorPos(&now) && (now.x != c.x || now.y != c.y); });
    // Pointer acceleration may scale a relative move; its direction holds.
    EXPECT_GT(now.x, c.x);
    EXPECT_LT(now.y, c.y);
}

// Without a ViGEmBus driver (there is none under Wine) the real probe fails,
// and a client's gamepad reaches the focused window as the mapping's keys.
TEST_F(Win32InputWindow, WithoutViGEmBusThePadArrivesAsTheMappingsKeys) {
    const auto bus = make_virtual_pad_bus();
    ASSERT_FALSE(vigem::probe(*bus));
    host::HostState state;
    state.platform = services_;
    host::SessionEntry entry;
    entry.id = 1;
    entry.deviceName = "Pad";
    entry.controllerEnabled = true;
    state.sessions[1] = std::move(entry);
    auto holder = std::make_shared<vigem::PadHolder>(bus, nullptr, vigem::make_thread_scheduler(),
                                                     vigem::kUnplugGrace, vigem::SwitchLines::LeaveToCaller);
    state.pad = std::make_shared<gamepad::GamepadOutput>(state, holder, false, pad_mapping::defaultMapping(),
                                                         nullptr);
    auto buttons = [](std::uint64_t seq, std::uint16_t pressed) {
        input::InputCommand c;
        c.kind = static_cast<std::uint8_t>(input::InputKind::PadButtons);
        c.seq = seq;
        c.payload[0] = static_cast<std::uint8_t>(pressed);
        c.payload[1] = static_cast<std::uint8_t>(pressed >> 8);
        return c;
    };
    {
        host::HostLock lock(state);
        commands::set_active_client(lock, 1);
        commands::refresh_controller_switch(lock);
        commands::execute(lock, 1, buttons(1, 0x001), Clock::now());  // A: Space
        commands::execute(lock, 1, buttons(2, 0x000), Clock::now());
    }
    pump_until([&] { return log_->keys.size() >= 2; });
    const std::vector<std::pair<UINT, WPARAM>> expected{{WM_KEYDOWN, VK_SPACE}, {WM_KEYUP, VK_SPACE}};
    EXPECT_EQ(log_->keys, expected);
}

// ------------------------------------------------------------ clipboard

TEST(Win32Clipboard, RoundTripKeepsNonAsciiText) {
    const auto services = make_win32_platform_services();
    const std::string texts[] = {"Gr\xC3\xBC\xC3\x9F" "e \xF0\x9F\x8E\xAE", "plain", "two\r\nlines", ""};
    for (const auto& text : texts) {
        services->setClipboard(text);
        EXPECT_EQ(services->getClipboard(), text) << text;
    }
}

TEST(Win32Clipboard, TextIsSetWithAnOwnerWindow) {
    const auto services = make_win32_platform_services();
    services->setClipboard("owned");
    const HWND owner = GetClipboardOwner();
    ASSERT_NE(owner, nullptr) << "an ownerless clipboard makes SetClipboardData fail on Windows";
    wchar_t name[64] = {};
    GetClassNameW(owner, name, 64);
    EXPECT_STREQ(name, L"HearthpadClipboardOwner");
    EXPECT_EQ(services->getClipboard(), "owned");
}

TEST(Win32Clipboard, StoresNulTerminatedUtf16) {
    const auto services = make_win32_platform_services();
    services->setClipboard("\xC3\xBC\xF0\x9F\x8E\xAE");
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    ASSERT_NE(data, nullptr);
    const auto* units = static_cast<const wchar_t*>(GlobalLock(data));
    ASSERT_NE(units, nullptr);
    const std::wstring got(units);
    GlobalUnlock(data);
    CloseClipboard();
    EXPECT_EQ(got, (std::wstring{0x00FC, 0xD83C, 0xDFAE}));
}

TEST(Win32Clipboard, UnpairedSurrogateReadsAsReplacement) {
    // Put text with a lone high surrogate there directly, as another program might.
    const wchar_t raw[] = {L'a', 0xD83C, L'b', 0};
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, sizeof raw);
    ASSERT_NE(block, nullptr);
    std::memcpy(GlobalLock(block), raw, sizeof raw);
    GlobalUnlock(block);
    if (!SetClipboardData(CF_UNICODETEXT, block)) GlobalFree(block);
    CloseClipboard();
    EXPECT_EQ(make_win32_platform_services()->getClipboard(), "a\xEF\xBF\xBD" "b");
}

TEST(Win32Clipboard, NoTextGivesNothing) {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();
    EXPECT_EQ(make_win32_platform_services()->getClipboard(), std::nullopt);
}

// ------------------------------------------------------------ Ctrl+Alt+Del

constexpr wchar_t kPolicyKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
constexpr wchar_t kPolicyValue[] = L"SoftwareSASGeneration";

// Sets (or with nullptr removes) the policy value for one test and puts the
// earlier state back afterwards. Needs write access to HKLM, which Wine's
// default user has.
class PolicyValue : public ::testing::Test {
protected:
    void SetUp() override {
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPolicyKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                            &key_, nullptr) != ERROR_SUCCESS)
            GTEST_SKIP() << "no write access to the policy key";
        DWORD type = 0;
        DWORD size = sizeof saved_;
        had_value_ = RegQueryValueExW(key_, kPolicyValue, nullptr, &type, reinterpret_cast<BYTE*>(&saved_),
                                      &size) == ERROR_SUCCESS &&
                     type == REG_DWORD;
    }
    void TearDown() override {
        if (!key_) return;
        if (had_value_)
            RegSetValueExW(key_, kPolicyValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&saved_), sizeof saved_);
        else
            RegDeleteValueW(key_, kPolicyValue);
        RegCloseKey(key_);
    }
    void set_dword(DWORD v) {
        ASSERT_EQ(RegSetValueExW(key_, kPolicyValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v),
                  ERROR_SUCCESS);
    }
    void set_text(const wchar_t* text) {
        const DWORD bytes = static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(wchar_t));
        ASSERT_EQ(RegSetValueExW(key_, kPolicyValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes),
                  ERROR_SUCCESS);
    }
    void remove() { RegDeleteValueW(key_, kPolicyValue); }

    HKEY key_ = nullptr;
    bool had_value_ = false;
    DWORD saved_ = 0;
};

TEST_F(PolicyValue, AbsentValueReadsAsNothing) {
    remove();
    EXPECT_EQ(make_win32_sas_system()->readPolicy(), std::nullopt);
}

TEST_F(PolicyValue, DwordValueIsRead) {
    for (const DWORD v : {0u, 1u, 2u, 3u}) {
        set_dword(v);
        EXPECT_EQ(make_win32_sas_system()->readPolicy(), std::optional<std::uint32_t>(v));
    }
}

TEST_F(PolicyValue, ValueOfAnotherTypeReadsAsNothing) {
    set_text(L"3");
    EXPECT_EQ(make_win32_sas_system()->readPolicy(), std::nullopt);
}

}  // namespace
}  // namespace hp::platform
