// The pairing window against the real user32 and gdi32 under Wine, with a
// real host on loopback: its place, class, styles and pixels, the QR code
// read back by an independent decoder (zbarimg), pairing with the code from
// that QR code, and the ways it closes and withdraws its code.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/win32_text.h"
#include "pairing_flyout/flyout_layout.h"
#include "qr/qr_code.h"
#include "win32/desktop_fixture.h"

namespace hp::app {
namespace {

using namespace testing_desktop;


// The window's client area as the screen would show it, top row first.
struct Capture {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;  // 0x00RRGGBB
    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x] & 0xFFFFFF; }
};

Capture capture(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    Capture c;
    c.width = client.right;
    c.height = client.bottom;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = c.width;
    info.bmiHeader.biHeight = -c.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC windowDc = GetDC(window);
    HDC memory = CreateCompatibleDC(windowDc);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(windowDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, c.width, c.height, windowDc, 0, 0, SRCCOPY);
    GdiFlush();
    c.pixels.assign(static_cast<std::uint32_t*>(bits),
                    static_cast<std::uint32_t*>(bits) + static_cast<std::size_t>(c.width) * c.height);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, windowDc);
    return c;
}

// A 24-bit BMP file of the capture, for the decoder.
void save_bmp(const Capture& c, const fs::path& path) {
    const int stride = (c.width * 3 + 3) & ~3;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = c.width;
    info.biHeight = c.height;  // bottom-up
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(stride * c.height);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    std::vector<char> row(static_cast<std::size_t>(stride), 0);
    for (int y = c.height - 1; y >= 0; --y) {
        for (int x = 0; x < c.width; ++x) {
            const std::uint32_t p = c.at(x, y);
            row[x * 3] = static_cast<char>(p & 0xFF);
            row[x * 3 + 1] = static_cast<char>((p >> 8) & 0xFF);
            row[x * 3 + 2] = static_cast<char>((p >> 16) & 0xFF);
        }
        out.write(row.data(), stride);
    }
}

// zbarimg from the Linux side: Wine starts Unix programs by their Z: path,
// but hands back no process to wait for and does not connect them to
// Windows pipes, so the shell writes the text and then the exit status to
// files under /tmp (Z:\tmp) and the test waits for the status file.
// `name` is the image's file name under /tmp.
Result<std::string> decode_qr(const std::string& name) {
    const std::string base = "/tmp/" + name;
    const fs::path out = "Z:\\tmp\\" + name + ".out";
    const fs::path status = "Z:\\tmp\\" + name + ".exit";
    std::error_code ec;
    fs::remove(out, ec);
    fs::remove(status, ec);
    std::wstring command = widen("sh -c \"zbarimg -q --raw " + base + " > " + base + ".out 2>/dev/null; echo $? > " +
                                 base + ".exit.part && mv " + base + ".exit.part " + base + ".exit\"");
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(L"Z:\\bin\\sh", command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &si, &pi))
        return fail("cannot start /bin/sh: " + std::to_string(GetLastError()));
    if (pi.hThread) CloseHandle(pi.hThread);
    if (pi.hProcess) CloseHandle(pi.hProcess);
    const auto until = std::chrono::steady_clock::now() + 60s;
    while (!fs::exists(status, ec)) {
        if (std::chrono::steady_clock::now() >= until) return fail("zbarimg did not finish within 60 s");
        Sleep(50);
    }
    std::ifstream codeFile(status);
    int code = -1;
    codeFile >> code;
    std::ifstream in(out, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    codeFile.close();
    fs::remove(out, ec);
    fs::remove(status, ec);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (code != 0) return fail("zbarimg found no code (exit " + std::to_string(code) + ")");
    return text;
}

using PairingWindowTest = TrayFixture;

TEST_F(PairingWindowTest, OpensAtItsRectangleShowsAReadableQrCodeAndClosesWhenAClientPairs) {
    POINT cursor{};
    GetCursorPos(&cursor);
    dispatch(tray::kIdPairNewDevice);
    const PairingWindow::Shown* shown = tray_.pairing->shown();
    ASSERT_NE(shown, nullptr);
    HWND window = shown->window;
    ASSERT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(active_code(), shown->code);

    // Class, styles and title.
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    EXPECT_STREQ(name, L"HearthpadPairingFlyout");
    GetWindowTextW(window, name, 64);
    EXPECT_STREQ(name, L"Pair New Device");
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
    EXPECT_EQ(style & (WS_POPUP | WS_BORDER | WS_CAPTION), static_cast<DWORD>(WS_POPUP | WS_BORDER));
    EXPECT_EQ(exStyle & (WS_EX_TOPMOST | WS_EX_TOOLWINDOW), static_cast<DWORD>(WS_EX_TOPMOST | WS_EX_TOOLWINDOW));

    // The rectangle: from the icon's rectangle, or (as under Wine) the cursor.
    const int dpi = pairing_flyout::flyout_dpi(GetDpiForSystem());
    EXPECT_EQ(shown->dpi, dpi);
    NOTIFYICONIDENTIFIER id{sizeof id, tray_.window, 1, {}};
    RECT icon{};
    pairing_flyout::Rect anchor{cursor.x, cursor.y, cursor.x, cursor.y};
    if (SUCCEEDED(Shell_NotifyIconGetRect(&id, &icon))) anchor = {icon.left, icon.top, icon.right, icon.bottom};
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    const auto centre = pairing_flyout::anchor_centre(anchor);
    ASSERT_TRUE(GetMonitorInfoW(MonitorFromPoint({centre.x, centre.y}, MONITOR_DEFAULTTONEAREST), &monitor));
    const pairing_flyout::Rect expected = pairing_flyout::flyout_rect(
        dpi, anchor, {monitor.rcWork.left, monitor.rcWork.top, monitor.rcWork.right, monitor.rcWork.bottom});
    RECT actual{};
    GetWindowRect(window, &actual);
    EXPECT_EQ((pairing_flyout::Rect{actual.left, actual.top, actual.right, actual.bottom}), expected);

    // Painted: every pixel of the symbol's square is its module's colour,
    // k pixels a module, centred in the box.
    ASSERT_TRUE(shown->qr);
    const qr::Matrix& matrix = *shown->qr;
    EXPECT_EQ(matrix.side, qr::encode(shown->link)->side + 8);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    pump_for(200ms);
    const Capture shot = capture(window);
    const auto at = pairing_flyout::qr_placement(dpi, matrix.side);
    ASSERT_LE(at.x + at.size, shot.width);
    ASSERT_LE(at.y + at.size, shot.height);
    int wrong = 0;
    for (int y = 0; y < at.size; ++y)
        for (int x = 0; x < at.size; ++x) {
            const bool dark = matrix.dark(x / at.modulePixels, y / at.modulePixels);
            if (shot.at(at.x + x, at.y + y) != (dark ? 0x000000u : 0xFFFFFFu)) ++wrong;
        }
    EXPECT_EQ(wrong, 0) << "of " << at.size * at.size << " pixels";

    // An independent decoder reads the exact pairing link.
    const std::string image = "hp-pairing-" + std::to_string(GetCurrentProcessId()) + "-" +
                              std::to_string(GetTickCount64()) + ".bmp";
    save_bmp(shot, "Z:\\tmp\\" + image);
    const auto decoded = decode_qr(image);
    std::error_code ec;
    fs::remove("Z:\\tmp\\" + image, ec);
    ASSERT_TRUE(decoded) << decoded.error().text;
    EXPECT_EQ(*decoded, shown->link);

    // A client pairs with the code the link carries; the window then closes.
    const auto codeAt = decoded->find("&code=");
    ASSERT_NE(codeAt, std::string::npos);
    test::TestClient client(test::ClientIdentity::generate("Scanner"));
    ASSERT_TRUE(client.connect(port()));
    const auto paired = client.pair(decoded->substr(codeAt + 6));
    ASSERT_TRUE(paired.ok()) << paired.detail;
    EXPECT_TRUE(pump_until([&] { return !IsWindow(window); }));
    EXPECT_EQ(tray_.pairing->shown(), nullptr);
    EXPECT_FALSE(active_code());
}

TEST_F(PairingWindowTest, EscapeClosesItAndWithdrawsTheCodeOtherKeysAreSwallowed) {
    dispatch(tray::kIdPairNewDevice);
    HWND window = tray_.pairing->window();
    ASSERT_TRUE(window);
    const std::string code = tray_.pairing->shown()->code;
    PostMessageW(window, WM_KEYDOWN, 'A', 0);
    pump_for(100ms);
    EXPECT_TRUE(IsWindow(window));
    PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(pump_until([&] { return !IsWindow(window); }));
    EXPECT_FALSE(active_code());
    // A client that tries the code now is refused.
    test::TestClient client;
    ASSERT_TRUE(client.connect(port()));
    EXPECT_FALSE(client.pair(code).ok());
}

TEST_F(PairingWindowTest, LosingActivationClosesItAndWithdrawsTheCode) {
    dispatch(tray::kIdPairNewDevice);
    HWND window = tray_.pairing->window();
    ASSERT_TRUE(window);
    SetActiveWindow(window);
    pump_for(100ms);
    HWND other = CreateWindowExW(0, L"STATIC", L"elsewhere", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 600, 600, 200, 100,
                                 nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(other);
    SetActiveWindow(other);
    SetForegroundWindow(other);
    EXPECT_TRUE(pump_until([&] { return !IsWindow(window); }));
    EXPECT_FALSE(active_code());
    DestroyWindow(other);
}

TEST_F(PairingWindowTest, OpeningAgainReplacesTheWindowAndTheCodeAndTheRevokedEventClosesIt) {
    dispatch(tray::kIdPairNewDevice);
    HWND first = tray_.pairing->window();
    dispatch(tray::kIdPairNewDevice);
    HWND second = tray_.pairing->window();
    ASSERT_TRUE(second);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(active_code(), tray_.pairing->shown()->code);
    // The host withdrew the code (too many wrong tries): WM_HOST_EVENT 2.
    PostMessageW(tray_.window, WM_APP + 2, 2, 0);
    EXPECT_TRUE(pump_until([&] { return !IsWindow(second); }));
    // Exit closes an open window too.
    dispatch(tray::kIdPairNewDevice);
    HWND third = tray_.pairing->window();
    dispatch(tray::kIdExit);
    EXPECT_FALSE(IsWindow(third));
    EXPECT_FALSE(active_code());
}

}  // namespace
}  // namespace hp::app
