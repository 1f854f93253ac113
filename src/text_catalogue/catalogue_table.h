#pragma once
// The compiled catalogues. Generated at build time from translations/*.po
// (scripts/catalogue/make_table.py); nothing here is read at run time.
#include <cstddef>
#include <string_view>

#include "text_catalogue/catalogue.h"

namespace hp::text_catalogue {

struct TableEntry {
    std::string_view source;        // the English (msgid)
    std::string_view pluralSource;  // msgid_plural; empty when none
    const std::string_view* forms;  // formCount translations (one without a plural)
    std::size_t formCount;
};

struct Table {
    std::string_view code;
    unsigned (*pluralForm)(unsigned long n);  // from the .po file's Plural-Forms
    unsigned pluralCount;
    const TableEntry* entries;  // sorted by source, bytewise
    std::size_t entryCount;
};

// The table of a language; nullptr for English and a language without one.
const Table* table_for(Language language);

}  // namespace hp::text_catalogue
