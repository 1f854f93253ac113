#pragma once
// The texts people read, in their language. English is the source: every
// text is written in English in the code, marked for the catalogue with
// i18n() (or handed to Catalogue::tr / tr_plural directly), and a Catalogue
// looks the English up in the table that the build makes from
// translations/<language>.po. A text the table lacks stays English.
//
// Placeholders are {0}, {1}, ... in the English and in every translation;
// a translation may reorder them. A Catalogue is a small value: the front
// ends are handed one, chosen once from the user's display language.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace hp::text_catalogue {

enum class Language : std::uint8_t {
    English,
    German,
    French,
    Spanish,
    Italian,
    PortugueseBrazil,
    Russian,
    Japanese,
    Korean,
    ChineseSimplified,
};

inline constexpr Language kLanguages[] = {
    Language::English, Language::German,  Language::French,   Language::Spanish, Language::Italian,
    Language::PortugueseBrazil, Language::Russian, Language::Japanese, Language::Korean,
    Language::ChineseSimplified,
};

// The catalogue's name of a language: "en", "de", ..., "pt_BR", "zh_CN".
std::string_view language_code(Language language);

// The language for a BCP 47 tag as Windows gives it ("de-AT", "zh-Hans-CN",
// "pt-PT"; "_" is taken for "-" and case does not matter): the language of
// its first subtag, Portuguese of any region as Portuguese (Brazil), Chinese
// only when simplified (zh-Hans, or zh-CN / zh-SG without a script), and
// English for everything else.
Language language_for_tag(std::string_view tag);

// Marks an English text for the catalogue where it is written down but
// translated later (constants, tables).
constexpr std::string_view i18n(std::string_view english) { return english; }

// A text to be shown later in whatever language: an English source with its
// arguments (each again a message, or literal text such as a name that is
// never translated), and for a count, the English plural as well.
struct Message {
    std::string source;
    std::vector<Message> args;
    std::string pluralSource;   // empty: no plural
    unsigned long count = 0;    // chooses the plural form
    bool literal = false;       // source is shown as it is
    friend bool operator==(const Message&, const Message&) = default;
};

Message message(std::string_view english, std::vector<Message> args = {});
Message literal(std::string text);

struct Table;

class Catalogue {
public:
    Catalogue() = default;  // English
    explicit Catalogue(Language language);

    Language language() const { return language_; }

    // The translation of `english`, or `english` itself.
    std::string_view tr(std::string_view english) const;
    // The form of the singular/plural pair for `n` in this language.
    std::string_view tr_plural(std::string_view singular, std::string_view plural, unsigned long n) const;
    // tr(english) with {i} replaced by args[i].
    std::string tr(std::string_view english, std::initializer_list<std::string_view> args) const;
    // The message in this language (its messages arguments too).
    std::string format(const Message& message) const;

private:
    Language language_ = Language::English;
    const Table* table_ = nullptr;
};

// {i} replaced by args[i]; a placeholder without an argument is kept.
std::string fill_placeholders(std::string_view pattern, const std::vector<std::string>& args);

// The message in English.
std::string english(const Message& message);

}  // namespace hp::text_catalogue
