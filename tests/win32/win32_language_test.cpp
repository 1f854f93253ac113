// The desktop program in the user's display language under Wine: the
// language Windows names (Wine takes it from LANG / LC_ALL), the tray menu
// and the connection check window read back in it. Run by
// tests/win32/run_in_language.sh, which sets the language and says what is
// expected in HP_EXPECT_UI_LANGUAGE; skipped without it.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <map>
#include <string>

#include "app/win32_connection_check.h"
#include "app/win32_language.h"
#include "app/win32_text.h"
#include "app/win32_tray_menu.h"
#include "tray/tray_model.h"

namespace hp::app {
namespace {

namespace cc = connection_check;
using text_catalogue::Language;

std::string menu_text(HMENU menu, int position) {
    wchar_t text[256] = {};
    const int n = GetMenuStringW(menu, static_cast<UINT>(position), text, 256, MF_BYPOSITION);
    return narrow(std::wstring_view(text, static_cast<std::size_t>(std::max(0, n))));
}

std::string window_text(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return narrow(text);
}

// What each language must show: the menu's "Pair New Device…" and "Exit
// Hearthpad", the check window's title and Close.
struct Expected {
    std::string pair, exit, title, close;
};
const std::map<std::string, Expected> kExpected = {
    {"en", {"Pair New Device\u2026", "Exit Hearthpad", "Connection Check", "Close"}},
    {"de", {"Neues Ger\u00e4t koppeln\u2026", "Hearthpad beenden", "Verbindungspr\u00fcfung", "Schlie\u00dfen"}},
    {"ja", {"新しいデバイスのペアリング...", "Hearthpad を終了", "接続の確認", "閉じる"}},
};

TEST(UserLanguage, TrayMenuAndCheckWindowSpeakTheDisplayLanguage) {
    const char* wanted = std::getenv("HP_EXPECT_UI_LANGUAGE");
    if (!wanted) GTEST_SKIP() << "run by tests/win32/run_in_language.sh";
    const auto expected = kExpected.find(wanted);
    ASSERT_NE(expected, kExpected.end()) << wanted;

    // Chosen from Windows' display language, not from a setting of ours.
    ASSERT_EQ(std::getenv("HEARTHPAD_UI_LANGUAGE"), nullptr);
    const text_catalogue::Catalogue texts = user_catalogue();
    ASSERT_EQ(text_catalogue::language_code(texts.language()), wanted) << "display language " << user_ui_language_tag();

    tray::TrayView view;
    view.hostName = "PC";
    const tray::Menu model = tray::build_menu(view, texts);
    UniqueMenu menu = build_popup_menu(model.items);
    ASSERT_TRUE(menu);
    EXPECT_EQ(menu_text(menu.get(), 5), expected->second.pair);
    EXPECT_EQ(menu_text(menu.get(), GetMenuItemCount(menu.get()) - 1), expected->second.exit);

    ConnectionCheckHooks hooks;
    hooks.instance = GetModuleHandleW(nullptr);
    hooks.texts = texts;
    ConnectionCheck check(std::move(hooks));  // nothing gathered: the rows stay empty
    check.open();
    HWND window = check.window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window_text(window), expected->second.title);
    EXPECT_EQ(window_text(GetDlgItem(window, cc::kCloseId)), expected->second.close);
    EXPECT_EQ(window_text(GetDlgItem(window, cc::kCheckAgainId)), texts.tr("Check Again"));
    // Every control mirrors the model, in the same language.
    for (const cc::ControlPlacement& placed : check.model().controls(96))
        EXPECT_EQ(window_text(GetDlgItem(window, placed.id)), placed.text) << placed.id;
    check.close();
}

}  // namespace
}  // namespace hp::app
