#include "app/win32_tray_menu.h"

#include "app/win32_text.h"

namespace hp::app {

namespace {

// Menu texts treat "&" as the mark of the next letter's access key; names
// (the host's, the devices' chosen by their clients) are shown as they are,
// so every "&" is doubled.
std::wstring menu_text(const std::string& text) {
    std::wstring out;
    for (const wchar_t c : widen(text)) {
        if (c == L'&') out.push_back(L'&');
        out.push_back(c);
    }
    return out;
}

void append(HMENU menu, const tray::MenuItem& item) {
    using Kind = tray::MenuItem::Kind;
    switch (item.kind) {
        case Kind::Separator:
            (void)AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            return;
        case Kind::Submenu: {
            UniqueMenu sub = build_popup_menu(item.items);
            if (!sub) return;
            const std::wstring text = menu_text(item.text);
            // The parent owns the submenu once it is appended.
            if (AppendMenuW(menu, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(sub.get()), text.c_str()))
                (void)sub.release();
            return;
        }
        case Kind::Command: {
            UINT flags = MF_STRING;
            if (item.grayed) flags |= MF_GRAYED;
            if (item.checked) flags |= MF_CHECKED;
            const std::wstring text = menu_text(item.text);
            (void)AppendMenuW(menu, flags, item.id, text.c_str());
            return;
        }
    }
}

}  // namespace

UniqueMenu build_popup_menu(const std::vector<tray::MenuItem>& items) {
    UniqueMenu menu(CreatePopupMenu());
    if (!menu) return menu;
    for (const auto& item : items) append(menu.get(), item);
    return menu;
}

unsigned track_popup_menu(HMENU menu, HWND owner) {
    POINT cursor{};
    (void)GetCursorPos(&cursor);
    SetForegroundWindow(owner);
    const BOOL chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_BOTTOMALIGN | TPM_RIGHTBUTTON, cursor.x, cursor.y,
                                       0, owner, nullptr);
    (void)PostMessageW(owner, WM_NULL, 0, 0);
    return chosen > 0 ? static_cast<unsigned>(chosen) : 0u;
}

}  // namespace hp::app
