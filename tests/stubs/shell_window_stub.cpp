// Plays the desktop shell's part of GetShellWindow: Wine's desktop never
// registers a shell window, so a program that asks the shell to start
// something (hearthpad.exe --start-as-user) finds none. This registers a
// window of its own with SetShellWindow and keeps it for the given number
// of milliseconds; the rest of the way (IShellWindows and the desktop's
// shell view) is Wine's own explorer.exe.
// Usage: shell_window.exe <milliseconds> [<file to create once registered>]
#include <windows.h>
#include <exdisp.h>
#include <oleauto.h>
#include <shlobj.h>

#include <cwchar>

namespace {

// Whether Wine's Explorer already serves the desktop through its window
// list; on a PC that is so whenever there is a shell window.
bool desktop_served() {
    IShellWindows* windows = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                reinterpret_cast<void**>(&windows))))
        return false;
    VARIANT location, root;
    VariantInit(&location);
    VariantInit(&root);
    location.vt = VT_I4;
    location.lVal = CSIDL_DESKTOP;
    long hwnd = 0;
    IDispatch* desktop = nullptr;
    const HRESULT hr = windows->FindWindowSW(&location, &root, SWC_DESKTOP, &hwnd, SWFO_NEEDDISPATCH, &desktop);
    if (desktop) desktop->Release();
    windows->Release();
    return hr == S_OK;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2 && argc != 3) return 2;
    const DWORD lifetime = static_cast<DWORD>(std::wcstoul(argv[1], nullptr, 10));
    HWND window = CreateWindowExW(0, L"STATIC", L"shell stand-in", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    if (!window) return 3;
    // Exported by user32 but not declared in the SDK headers.
    using SetShellWindowFunction = BOOL(WINAPI*)(HWND);
    const FARPROC proc = GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetShellWindow");
    if (!proc) return 4;
    const auto setShellWindow = reinterpret_cast<SetShellWindowFunction>(reinterpret_cast<void (*)()>(proc));
    if (!setShellWindow(window)) return 5;
    // Ready once Explorer serves the desktop, as it does on a PC long before
    // any installer runs (bounded: the caller's wait ends the test anyway).
    if (SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        for (int i = 0; i < 120 && !desktop_served(); ++i) Sleep(250);
    }
    if (argc == 3) {
        HANDLE ready = CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (ready == INVALID_HANDLE_VALUE) return 6;
        CloseHandle(ready);
    }
    const DWORD end = GetTickCount() + lifetime;
    for (;;) {
        const DWORD now = GetTickCount();
        if (static_cast<LONG>(end - now) <= 0) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, end - now, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    DestroyWindow(window);
    return 0;
}
