#pragma once
// The tray menu as the system's popup menu: built from the model, shown at
// the cursor, and the chosen id returned.
#include <windows.h>

#include <memory>
#include <vector>

#include "tray/tray_model.h"

namespace hp::app {

struct MenuDestroyer {
    void operator()(HMENU menu) const {
        if (menu) DestroyMenu(menu);
    }
};
using UniqueMenu = std::unique_ptr<std::remove_pointer_t<HMENU>, MenuDestroyer>;

// A popup menu holding `items` (submenus included; DestroyMenu on it frees
// them all). A failed call leaves the items it could not add out.
UniqueMenu build_popup_menu(const std::vector<tray::MenuItem>& items);

// Shows `menu` at the cursor for `owner` and returns the chosen id (0 for
// none): GetCursorPos, SetForegroundWindow, TrackPopupMenu with
// TPM_RETURNCMD | TPM_BOTTOMALIGN | TPM_RIGHTBUTTON, then a WM_NULL posted to
// the owner so the menu closes properly when the user clicks elsewhere.
unsigned track_popup_menu(HMENU menu, HWND owner);

}  // namespace hp::app
