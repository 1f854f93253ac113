#include "platform/win32/platform_services.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <future>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/utf8.h"
#include "platform/brightness.h"
#include "platform/win32/hidden_process.h"

namespace hp::platform {

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

INPUT mouse_input(LONG dx, LONG dy, DWORD data, DWORD flags) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = dx;
    in.mi.dy = dy;
    in.mi.mouseData = data;
    in.mi.dwFlags = flags;
    return in;
}

INPUT key_input(WORD vk, WORD scan, DWORD flags) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = scan;
    in.ki.dwFlags = flags;
    return in;
}

// ---------------------------------------------------------------- handles

// OpenClipboard fails while another window has the clipboard open, which
// is common for a moment right after another program's EmptyClipboard or
// SetClipboardData (clipboard managers and viewers open it on every
// change). A few short retries ride that out.
inline constexpr int kClipboardOpenAttempts = 10;
inline constexpr DWORD kClipboardRetryMs = 15;

bool open_clipboard(HWND owner) {
    for (int attempt = 1;; ++attempt) {
        if (OpenClipboard(owner)) return true;
        if (attempt == kClipboardOpenAttempts) return false;
        Sleep(kClipboardRetryMs);
    }
}

// Closes the clipboard when it was opened.
class ClipboardSession {
public:
    explicit ClipboardSession(HWND owner = nullptr) : open_(open_clipboard(owner)) {}
    ~ClipboardSession() {
        if (open_) CloseClipboard();
    }
    ClipboardSession(const ClipboardSession&) = delete;
    ClipboardSession& operator=(const ClipboardSession&) = delete;
    bool open() const { return open_; }

private:
    bool open_;
};

// A moveable global block that is freed unless ownership passes elsewhere
// (to the clipboard, after SetClipboardData succeeds).
class GlobalBlock {
public:
    explicit GlobalBlock(SIZE_T bytes) : handle_(GlobalAlloc(GMEM_MOVEABLE, bytes)) {}
    ~GlobalBlock() {
        if (handle_) GlobalFree(handle_);
    }
    GlobalBlock(const GlobalBlock&) = delete;
    GlobalBlock& operator=(const GlobalBlock&) = delete;
    HGLOBAL get() const { return handle_; }
    HGLOBAL release() { return std::exchange(handle_, nullptr); }

private:
    HGLOBAL handle_;
};

// Keeps a global block locked for the guard's lifetime.
class GlobalLockGuard {
public:
    explicit GlobalLockGuard(HGLOBAL handle) : handle_(handle), data_(handle ? GlobalLock(handle) : nullptr) {}
    ~GlobalLockGuard() {
        if (data_) GlobalUnlock(handle_);
    }
    GlobalLockGuard(const GlobalLockGuard&) = delete;
    GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;
    void* data() const { return data_; }

private:
    HGLOBAL handle_;
    void* data_;
};

// ---------------------------------------------------------------- clipboard

void set_clipboard_text(std::string_view utf8, HWND owner) {
    std::u16string units = utf8_to_utf16(utf8);
    units.push_back(u'\0');
    const ClipboardSession clipboard(owner);
    if (!clipboard.open()) return;
    EmptyClipboard();
    GlobalBlock block(units.size() * sizeof(char16_t));
    if (!block.get()) return;
    {
        const GlobalLockGuard lock(block.get());
        if (!lock.data()) return;
        std::memcpy(lock.data(), units.data(), units.size() * sizeof(char16_t));
    }
    // On success the clipboard owns the block; on failure it is freed here.
    if (SetClipboardData(CF_UNICODETEXT, block.get())) block.release();
}

std::optional<std::string> get_clipboard_text() {
    if (!IsClipboardFormatAvailable(CF_UNICODETEXT)) return std::nullopt;
    const ClipboardSession clipboard;
    if (!clipboard.open()) return std::nullopt;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    if (!data) return std::nullopt;
    const GlobalLockGuard lock(data);
    if (!lock.data()) return std::nullopt;
    // Read up to the first NUL, never past the end of the block even when
    // another program stored text without one.
    const std::size_t capacity = GlobalSize(data) / sizeof(char16_t);
    const auto* units = static_cast<const char16_t*>(lock.data());
    std::size_t length = 0;
    while (length < capacity && units[length] != u'\0') ++length;
    return utf16_to_utf8(std::u16string_view(units, length));
}

// Owner window for the text the host puts on the clipboard. Opened without
// an owner, EmptyClipboard leaves the clipboard ownerless and SetClipboardData
// is documented to fail then; so the clipboard is opened with this
// message-only window, which lives on a thread of its own so that the
// messages other programs send to the clipboard owner are always answered.
class ClipboardOwner {
public:
    ClipboardOwner() {
        std::promise<HWND> created;
        auto window = created.get_future();
        try {
            thread_ = std::thread([this, &created] { run(created); });
            window_ = window.get();
        } catch (const std::exception&) {
            window_ = nullptr;  // no thread: the clipboard is opened without an owner
        }
    }
    ~ClipboardOwner() {
        if (thread_.joinable()) {
            PostThreadMessageW(thread_id_, WM_QUIT, 0, 0);
            thread_.join();
        }
    }
    ClipboardOwner(const ClipboardOwner&) = delete;
    ClipboardOwner& operator=(const ClipboardOwner&) = delete;

    HWND window() const { return window_; }

private:
    void run(std::promise<HWND>& created) {
        thread_id_ = GetCurrentThreadId();
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = instance;
        wc.lpszClassName = L"HearthpadClipboardOwner";
        RegisterClassW(&wc);  // already registered by an earlier instance is fine
        HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    instance, nullptr);
        // The message queue exists before the creator learns the window, so
        // a quit posted right after construction is never lost.
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
        created.set_value(hwnd);
        if (!hwnd) return;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        DestroyWindow(hwnd);
    }

    std::thread thread_;
    DWORD thread_id_ = 0;
    HWND window_ = nullptr;
};

// ---------------------------------------------------------------- services

class Win32PlatformServices final : public PlatformServices {
public:
    explicit Win32PlatformServices(InputSender sender) : send_(std::move(sender)) {}

    bool moveRelative(std::int32_t dx, std::int32_t dy) override {
        return send_one(mouse_input(dx, dy, 0, MOUSEEVENTF_MOVE));
    }

    bool mouseButton(std::uint8_t button, bool down) override {
        DWORD flags = 0;
        switch (button) {
            case 1: flags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP; break;
            case 2: flags = down ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP; break;
            case 3: flags = down ? MOUSEEVENTF_MIDDLEDOWN : MOUSEEVENTF_MIDDLEUP; break;
            default: return true;  // nothing to send
        }
        return send_one(mouse_input(0, 0, 0, flags));
    }

    // mouseData is a DWORD carrying a signed amount.
    bool wheel(std::int32_t amount) override {
        return send_one(mouse_input(0, 0, static_cast<DWORD>(amount), MOUSEEVENTF_WHEEL));
    }

    bool hwheel(std::int32_t amount) override {
        return send_one(mouse_input(0, 0, static_cast<DWORD>(amount), MOUSEEVENTF_HWHEEL));
    }

    bool key(const KeyRecord& record, bool down) override {
        DWORD flags = 0;
        if (record.extended) flags |= KEYEVENTF_EXTENDEDKEY;
        if (!down) flags |= KEYEVENTF_KEYUP;
        return send_one(key_input(record.vk, record.scan, flags));
    }

    bool typeText(std::u16string_view units) override { return type_units(units, send_); }

    void lockWorkstation() override { LockWorkStation(); }

    // Without ES_CONTINUOUS: resets the system and display idle timers once.
    void keepAwake() override { SetThreadExecutionState(ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED); }

    void setClipboard(std::string_view utf8) override {
        set_clipboard_text(utf8, clipboard_owner_.window());
    }

    std::optional<std::string> getClipboard() override { return get_clipboard_text(); }

    // PowerShell takes a second or more to start, so steps run on a thread
    // of the stepper, one at a time, each ended after kBrightnessRunLimit.
    void stepBrightness(bool up) override { brightness_.request(up); }

private:
    bool send_one(INPUT in) { return send_(std::span(&in, 1)) == 1; }

    InputSender send_;
    ClipboardOwner clipboard_owner_;
    BrightnessStepper brightness_{[](bool up) { win32::run_brightness_step(up); }};
};

}  // namespace

UINT send_inputs(std::span<INPUT> inputs) {
    if (inputs.empty()) return 0;
    return SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

bool type_units(std::u16string_view units, const InputSender& send) {
    bool all = true;
    std::vector<INPUT> batch;
    batch.reserve(std::min(units.size(), kTypeBatchUnits) * 2);
    while (!units.empty()) {
        const std::size_t n = std::min(units.size(), kTypeBatchUnits);
        batch.clear();
        for (const char16_t u : units.substr(0, n)) {
            batch.push_back(key_input(0, u, KEYEVENTF_UNICODE));
            batch.push_back(key_input(0, u, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP));
        }
        if (send(batch) != batch.size()) all = false;
        units.remove_prefix(n);
    }
    return all;
}

std::shared_ptr<PlatformServices> make_win32_platform_services() {
    return std::make_shared<Win32PlatformServices>(send_inputs);
}

std::shared_ptr<PlatformServices> make_win32_platform_services(InputSender sender) {
    return std::make_shared<Win32PlatformServices>(std::move(sender));
}

}  // namespace hp::platform
