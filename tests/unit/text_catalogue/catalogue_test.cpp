// The catalogue: which language a display language gets, lookup with the
// English as fall-back, plural forms by each language's rule, placeholders.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text_catalogue/catalogue.h"
#include "text_catalogue/catalogue_table.h"

namespace hp::text_catalogue {
namespace {

TEST(LanguageForTag, RegionsFallBackToTheirLanguage) {
    const struct {
        const char* tag;
        Language language;
    } cases[] = {
        {"de-DE", Language::German},          {"de-AT", Language::German},
        {"de-CH", Language::German},          {"DE_de", Language::German},
        {"fr-CA", Language::French},          {"es-MX", Language::Spanish},
        {"it-CH", Language::Italian},         {"pt-BR", Language::PortugueseBrazil},
        {"pt-PT", Language::PortugueseBrazil}, {"ru-RU", Language::Russian},
        {"ja-JP", Language::Japanese},        {"ja", Language::Japanese},
        {"ko-KR", Language::Korean},          {"zh-CN", Language::ChineseSimplified},
        {"zh-SG", Language::ChineseSimplified}, {"zh-Hans-CN", Language::ChineseSimplified},
        {"zh-Hans-HK", Language::ChineseSimplified}, {"zh", Language::ChineseSimplified},
        // Traditional Chinese is not simplified: English rather than the wrong script.
        {"zh-TW", Language::English},         {"zh-Hant-TW", Language::English},
        {"zh-HK", Language::English},         {"en-US", Language::English},
        {"en-GB", Language::English},         {"nl-NL", Language::English},
        {"", Language::English},              {"-", Language::English},
        {"deu", Language::English},
    };
    for (const auto& c : cases) EXPECT_EQ(language_for_tag(c.tag), c.language) << c.tag;
}

TEST(Catalogue, EveryLanguageButEnglishHasItsTable) {
    for (const Language l : kLanguages) {
        const Table* table = table_for(l);
        if (l == Language::English) {
            EXPECT_EQ(table, nullptr);
            continue;
        }
        ASSERT_NE(table, nullptr) << language_code(l);
        EXPECT_EQ(table->code, language_code(l));
        EXPECT_GT(table->entryCount, 0u);
    }
}

TEST(Catalogue, TranslatesAndFallsBackToTheEnglish) {
    const Catalogue german(Language::German), english;
    EXPECT_EQ(german.tr("Exit Hearthpad"), "Hearthpad beenden");
    EXPECT_EQ(Catalogue(Language::Japanese).tr("Close"), "閉じる");
    EXPECT_EQ(english.tr("Exit Hearthpad"), "Exit Hearthpad");
    // A text the catalogue lacks stays as written.
    EXPECT_EQ(german.tr("Not a text of the program"), "Not a text of the program");
    EXPECT_EQ(german.tr(""), "");
}

TEST(Catalogue, PluralFormsFollowEachLanguagesRule) {
    const auto status = [](Language l, unsigned long n) {
        return fill_placeholders(Catalogue(l).tr_plural("{0} problem found.", "{0} problems found.", n),
                                 {std::to_string(n)});
    };
    EXPECT_EQ(status(Language::English, 1), "1 problem found.");
    EXPECT_EQ(status(Language::English, 2), "2 problems found.");
    EXPECT_EQ(status(Language::German, 1), "1 Problem gefunden.");
    EXPECT_EQ(status(Language::German, 0), "0 Probleme gefunden.");
    // French and Portuguese (Brazil) take the singular for 0 and 1.
    EXPECT_EQ(status(Language::French, 0), "0 problème détecté.");
    EXPECT_EQ(status(Language::French, 2), "2 problèmes détectés.");
    EXPECT_EQ(status(Language::PortugueseBrazil, 1), "1 problema encontrado.");
    // Russian: one (1, 21, 101), few (2-4, 22-24), many (5-20, 11-14, 25).
    const struct {
        unsigned long n;
        const char* text;
    } russian[] = {
        {1, "Обнаружена 1 проблема."},   {21, "Обнаружена 21 проблема."}, {101, "Обнаружена 101 проблема."},
        {2, "Обнаружено 2 проблемы."},   {4, "Обнаружено 4 проблемы."},   {22, "Обнаружено 22 проблемы."},
        {5, "Обнаружено 5 проблем."},    {11, "Обнаружено 11 проблем."},  {12, "Обнаружено 12 проблем."},
        {111, "Обнаружено 111 проблем."}, {0, "Обнаружено 0 проблем."},
    };
    for (const auto& c : russian) EXPECT_EQ(status(Language::Russian, c.n), c.text) << c.n;
    // One form for every count.
    EXPECT_EQ(status(Language::Japanese, 1), "1 件の問題が見つかりました。");
    EXPECT_EQ(status(Language::Japanese, 7), "7 件の問題が見つかりました。");
    // A pair the catalogue lacks: the English rule.
    EXPECT_EQ(Catalogue(Language::Russian).tr_plural("one {0}", "many {0}", 1), "one {0}");
    EXPECT_EQ(Catalogue(Language::Russian).tr_plural("one {0}", "many {0}", 3), "many {0}");
}

TEST(Placeholders, FilledByIndexInAnyOrder) {
    EXPECT_EQ(fill_placeholders("{1} then {0}", {"a", "b"}), "b then a");
    EXPECT_EQ(fill_placeholders("{0}{0}", {"x"}), "xx");
    // Without an argument, or not a placeholder: kept as written.
    EXPECT_EQ(fill_placeholders("{2} {x} {} {", {"a"}), "{2} {x} {} {");
    // An argument's own braces are not filled again.
    EXPECT_EQ(fill_placeholders("{0} {1}", {"{1}", "b"}), "{1} b");
}

TEST(Message, ArgumentsAreTranslatedUnlessLiteral) {
    const Catalogue german(Language::German);
    const Message unnamed = message("Windows treats the network on {0} as private.", {message("an unnamed adapter")});
    EXPECT_EQ(english(unnamed), "Windows treats the network on an unnamed adapter as private.");
    EXPECT_EQ(german.format(unnamed), "Windows behandelt das Netzwerk an Adapter (ohne Namen) als privat.");
    // A name is never translated, even one that happens to be a text of the program.
    const Message named = message("Windows treats the network on {0} as private.", {literal("Close")});
    EXPECT_EQ(german.format(named), "Windows behandelt das Netzwerk an Adapter Close als privat.");
}

}  // namespace
}  // namespace hp::text_catalogue
