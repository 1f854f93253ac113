#include "app/win32_language.h"

#include <windows.h>

#include <vector>

#include "app/win32_text.h"

namespace hp::app {

std::string user_ui_language_tag() {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    const LANGID language = GetUserDefaultUILanguage();
    if (LCIDToLocaleName(MAKELCID(language, SORT_DEFAULT), name, LOCALE_NAME_MAX_LENGTH, 0) > 0) return narrow(name);
    if (GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH) > 0) return narrow(name);
    return {};
}

text_catalogue::Catalogue user_catalogue() {
    wchar_t chosen[LOCALE_NAME_MAX_LENGTH] = {};
    const DWORD length = GetEnvironmentVariableW(L"HEARTHPAD_UI_LANGUAGE", chosen, LOCALE_NAME_MAX_LENGTH);
    const std::string tag =
        length > 0 && length < LOCALE_NAME_MAX_LENGTH ? narrow(chosen) : user_ui_language_tag();
    return text_catalogue::Catalogue(text_catalogue::language_for_tag(tag));
}

namespace {

int CALLBACK note_font(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool font_installed(const wchar_t* face) {
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    wcsncpy_s(wanted.lfFaceName, LF_FACESIZE, face, _TRUNCATE);
    bool found = false;
    if (HDC screen = GetDC(nullptr)) {
        (void)EnumFontFamiliesExW(screen, &wanted, note_font, reinterpret_cast<LPARAM>(&found), 0);
        ReleaseDC(nullptr, screen);
    }
    return found;
}

// The faces for a language, best first.
std::vector<const wchar_t*> faces_for(text_catalogue::Language language) {
    using text_catalogue::Language;
    switch (language) {
        // The last ones for systems without Windows' own faces (Wine): the
        // CJK faces Linux distributions carry.
        case Language::Japanese:
            return {L"Yu Gothic UI", L"Meiryo UI", L"MS UI Gothic", L"Noto Sans CJK JP", L"WenQuanYi Zen Hei"};
        case Language::Korean: return {L"Malgun Gothic", L"Gulim", L"Noto Sans CJK KR", L"WenQuanYi Zen Hei"};
        case Language::ChineseSimplified:
            return {L"Microsoft YaHei UI", L"Microsoft YaHei", L"SimSun", L"Noto Sans CJK SC", L"WenQuanYi Zen Hei"};
        default: break;
    }
    return {L"Segoe UI"};
}

}  // namespace

std::wstring ui_font_face(text_catalogue::Language language) {
    for (const wchar_t* face : faces_for(language))
        if (font_installed(face)) return face;
    return L"Segoe UI";
}

}  // namespace hp::app
