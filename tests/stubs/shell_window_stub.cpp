// Plays the desktop shell's part of GetShellWindow: Wine's desktop never
// registers a shell window, so a program that asks the shell to start
// something (hearthpad.exe --start-as-user) finds none. This registers a
// window of its own with SetShellWindow and keeps it for the given number
// of milliseconds; the rest of the way (IShellWindows and the desktop's
// shell view) is Wine's own explorer.exe.
// Usage: shell_window.exe <milliseconds> [<file to create once registered>]
#include <windows.h>

#include <cwchar>

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
