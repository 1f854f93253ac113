#pragma once
// Key vocabulary: the 97 keys a client, the mapping file and the mapping
// dialog can name, their Windows key records, and name normalisation.
//
// A KeyCode is a USB HID keyboard usage id (usage page 7); 0 means no key.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "host/input_state.h"
#include "platform/platform_services.h"

namespace hp::input {

using host::KeyCode;
using host::ModifierMask;
using platform::KeyRecord;

// One row of the key-name table: the name used in files, the code and the
// label shown to people.
struct KeyNameRow {
    std::string_view name;
    KeyCode code;
    std::string_view label;
};

// The 97 rows in table order: a-z, 1-9 and 0, enter … capsLock, f1-f12,
// printScreen … up, numpad keys, then the seven modifier keys.
std::span<const KeyNameRow> key_name_table();

// One alias accepted when reading a key name; the alias is already
// normalised (lower case, no spaces, hyphens or underscores).
struct KeyAlias {
    std::string_view alias;
    KeyCode code;
};
std::span<const KeyAlias> key_alias_table();

// The Windows virtual key, scan code and extended flag for a key code;
// nothing for codes outside the table (50, 71, 72, 83, 88, 99, 231, ...).
std::optional<KeyRecord> key_record(KeyCode code);

// The record for a virtual key the host chooses itself (media keys, shortcut
// keys, the pinch-zoom Ctrl): the first of the codes 4-82, then 224-227, whose
// virtual key matches, taking its scan code and extended flag; scan code 0 and
// not extended when none matches.
KeyRecord record_for_vk(std::uint16_t vk);

// The key code whose virtual key is vk, searching all 97 table rows in table
// order (used when a pressed Windows key must be named); nothing if none.
std::optional<KeyCode> key_code_for_vk(std::uint16_t vk);

// Trims white space at both ends, drops every space, hyphen and underscore
// and lower-cases every character.
//
// The text is decoded as UTF-8. White space for trimming is Unicode
// White_Space (ASCII blanks, U+0085, U+00A0, U+1680, U+2000-U+200A, U+2028,
// U+2029, U+202F, U+205F, U+3000). Lower-casing applies the Unicode case
// mappings of these blocks: Basic Latin, Latin-1 Supplement, Latin
// Extended-A and -B, Greek and Coptic, Cyrillic and Cyrillic Supplement,
// Armenian, Georgian capitals, Latin Extended Additional (and U+1E9E), the
// letter-like symbols U+2126, U+212A, U+212B, U+2132, Roman numerals
// U+2160-U+216F and U+2183, circled Latin capitals U+24B6-U+24CF, fullwidth
// Latin capitals and Deseret. U+0130
// becomes "i" followed by U+0307; capital sigma always becomes U+03C3.
// Other code points, and bytes that are not valid UTF-8, are kept as they are.
std::string normalizeName(std::string_view text);

// The key named by text (after normalizeName): first a table name, in table
// order, then an alias; nothing otherwise.
std::optional<KeyCode> parseKeyName(std::string_view text);

// The file name and the display label of a key code; empty for a code that
// is not in the table.
std::string_view keyName(KeyCode code);
std::string_view keyLabel(KeyCode code);

// The ModifierMask bit of a left-hand modifier key (224 Ctrl, 225 Shift,
// 226 Alt, 227 Win); 0 for every other code, right-hand modifiers included.
ModifierMask own_modifier(KeyCode code);

}  // namespace hp::input
