#pragma once
// The language the desktop program speaks: the user's Windows display
// language (GetUserDefaultUILanguage), taken to the catalogue's languages
// with the usual fall-back from a region to its language, else English.
#include <string>

#include "text_catalogue/catalogue.h"

namespace hp::app {

// The display language's locale name ("de-DE", "ja-JP"); the user's locale
// (GetUserDefaultLocaleName) when Windows cannot name the display language;
// empty when neither is known.
std::string user_ui_language_tag();

// The catalogue for the user's display language. HEARTHPAD_UI_LANGUAGE (a
// tag such as "de-DE"), when set, is taken instead: the tests' way of
// choosing a language where the system's cannot be set.
text_catalogue::Catalogue user_catalogue();

// The face of the windows' font for a language: Segoe UI, or for Japanese,
// Korean and Chinese the system's UI face of that script (Yu Gothic UI,
// Malgun Gothic, Microsoft YaHei UI), each falling back to an older face of
// the same script, then to the CJK faces of Linux distributions (under Wine),
// when the system lacks it. Segoe UI when none is installed; GDI's font
// linking then finds the glyphs.
std::wstring ui_font_face(text_catalogue::Language language);

}  // namespace hp::app
