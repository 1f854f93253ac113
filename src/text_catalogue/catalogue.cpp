#include "text_catalogue/catalogue.h"

#include <algorithm>
#include <cctype>

#include "text_catalogue/catalogue_table.h"

namespace hp::text_catalogue {

namespace {

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (c == '_') c = '-';
    }
    return out;
}

// The subtags of a lower-cased tag.
std::vector<std::string_view> subtags(std::string_view tag) {
    std::vector<std::string_view> out;
    while (!tag.empty()) {
        const std::size_t dash = tag.find('-');
        out.push_back(tag.substr(0, dash));
        if (dash == std::string_view::npos) break;
        tag.remove_prefix(dash + 1);
    }
    return out;
}

Language chinese(const std::vector<std::string_view>& parts) {
    for (std::size_t i = 1; i < parts.size(); ++i) {
        if (parts[i] == "hans") return Language::ChineseSimplified;
        if (parts[i] == "hant") return Language::English;
    }
    if (parts.size() == 1) return Language::ChineseSimplified;
    const std::string_view region = parts[1];
    return region == "cn" || region == "sg" ? Language::ChineseSimplified : Language::English;
}

const TableEntry* find(const Table* table, std::string_view source) {
    if (!table) return nullptr;
    const TableEntry* end = table->entries + table->entryCount;
    const TableEntry* it = std::lower_bound(table->entries, end, source,
                                            [](const TableEntry& e, std::string_view s) { return e.source < s; });
    return it != end && it->source == source ? it : nullptr;
}

}  // namespace

std::string_view language_code(Language language) {
    switch (language) {
        case Language::English: break;
        case Language::German: return "de";
        case Language::French: return "fr";
        case Language::Spanish: return "es";
        case Language::Italian: return "it";
        case Language::PortugueseBrazil: return "pt_BR";
        case Language::Russian: return "ru";
        case Language::Japanese: return "ja";
        case Language::Korean: return "ko";
        case Language::ChineseSimplified: return "zh_CN";
    }
    return "en";
}

Language language_for_tag(std::string_view tag) {
    const std::string lowered = lower(tag);
    const auto parts = subtags(lowered);
    if (parts.empty()) return Language::English;
    const std::string_view primary = parts.front();
    if (primary == "de") return Language::German;
    if (primary == "fr") return Language::French;
    if (primary == "es") return Language::Spanish;
    if (primary == "it") return Language::Italian;
    if (primary == "pt") return Language::PortugueseBrazil;
    if (primary == "ru") return Language::Russian;
    if (primary == "ja") return Language::Japanese;
    if (primary == "ko") return Language::Korean;
    if (primary == "zh") return chinese(parts);
    return Language::English;
}

Message message(std::string_view english, std::vector<Message> args) {
    Message m;
    m.source = std::string(english);
    m.args = std::move(args);
    return m;
}

Message literal(std::string text) {
    Message m;
    m.source = std::move(text);
    m.literal = true;
    return m;
}

Catalogue::Catalogue(Language language) : language_(language), table_(table_for(language)) {}

std::string_view Catalogue::tr(std::string_view english) const {
    const TableEntry* e = find(table_, english);
    if (!e || e->formCount == 0 || e->forms[0].empty()) return english;
    return e->forms[0];
}

std::string_view Catalogue::tr_plural(std::string_view singular, std::string_view plural, unsigned long n) const {
    const TableEntry* e = find(table_, singular);
    if (e && e->pluralSource == plural) {
        const unsigned form = table_->pluralForm(n);
        if (form < e->formCount && !e->forms[form].empty()) return e->forms[form];
    }
    return n == 1 ? singular : plural;
}

std::string Catalogue::tr(std::string_view english, std::initializer_list<std::string_view> args) const {
    return fill_placeholders(tr(english), std::vector<std::string>(args.begin(), args.end()));
}

std::string Catalogue::format(const Message& m) const {
    if (m.literal) return m.source;
    std::vector<std::string> args;
    args.reserve(m.args.size());
    for (const Message& a : m.args) args.push_back(format(a));
    const std::string_view pattern = m.pluralSource.empty() ? tr(m.source)
                                                            : tr_plural(m.source, m.pluralSource, m.count);
    return fill_placeholders(pattern, args);
}

std::string fill_placeholders(std::string_view pattern, const std::vector<std::string>& args) {
    std::string out;
    out.reserve(pattern.size());
    for (std::size_t i = 0; i < pattern.size();) {
        if (pattern[i] == '{') {
            const std::size_t close = pattern.find('}', i + 1);
            if (close != std::string_view::npos && close > i + 1 && close - i <= 3) {
                const std::string_view digits = pattern.substr(i + 1, close - i - 1);
                if (std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
                    std::size_t index = 0;
                    for (const char c : digits) index = index * 10 + static_cast<std::size_t>(c - '0');
                    if (index < args.size()) {
                        out += args[index];
                        i = close + 1;
                        continue;
                    }
                }
            }
        }
        out += pattern[i++];
    }
    return out;
}

std::string english(const Message& m) { return Catalogue{}.format(m); }

}  // namespace hp::text_catalogue
