#include "app/win32_controls.h"

#include "app/win32_text.h"

namespace hp::app {

void set_text(HWND window, int id, const std::string& text) {
    HWND control = GetDlgItem(window, id);
    if (!control) return;
    const std::wstring wide = widen(text);
    std::wstring now(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    now.resize(static_cast<std::size_t>(GetWindowTextW(control, now.data(), static_cast<int>(now.size()))));
    if (now != wide) SetWindowTextW(control, wide.c_str());
}

void enable(HWND window, int id, bool enabled) {
    if (HWND control = GetDlgItem(window, id)) EnableWindow(control, enabled ? TRUE : FALSE);
}

void register_window_class(HINSTANCE instance, const wchar_t* name, WNDPROC procedure) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = name;
    (void)RegisterClassExW(&wc);
}

}  // namespace hp::app
