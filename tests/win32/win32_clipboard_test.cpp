// The clipboard while another program has it open: OpenClipboard fails
// until that program closes it, so the services retry for a moment.
#include <windows.h>

#include <gtest/gtest.h>

#include <future>
#include <string>
#include <thread>

#include "platform/win32/platform_services.h"

namespace hp::platform {
namespace {

TEST(Win32ClipboardBusy, SetSucceedsWhileAnotherThreadHoldsTheClipboardBriefly) {
    const auto services = make_win32_platform_services();
    services->setClipboard("before");

    std::promise<void> opened;
    auto isOpen = opened.get_future();
    std::promise<void> checked;
    auto isChecked = checked.get_future();
    std::thread other([&] {
        // Stands for another program, whose window opens the clipboard right
        // after it changed, as clipboard managers do.
        const HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                            GetModuleHandleW(nullptr), nullptr);
        const bool open = window && OpenClipboard(window) != FALSE;
        opened.set_value();
        if (open) {
            isChecked.wait();
            Sleep(50);
            CloseClipboard();
        }
        if (window) DestroyWindow(window);
    });
    isOpen.wait();
    // The clipboard really is taken: an open from here fails now.
    const bool taken = OpenClipboard(nullptr) == FALSE;
    if (!taken) CloseClipboard();
    checked.set_value();
    services->setClipboard("after");
    other.join();
    ASSERT_TRUE(taken) << "the other thread could not take the clipboard";
    EXPECT_EQ(services->getClipboard(), "after");
}

}  // namespace
}  // namespace hp::platform
