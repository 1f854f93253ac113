#pragma once
// JSON as the host reads and writes it: client bodies, the data files.
//
// Writing: JsonWriter produces compact JSON (no spaces, no newlines) with the
// members in the order they are written. Strings escape the quotation mark and
// the backslash, write 0x08 0x09 0x0A 0x0C 0x0D as \b \t \n \f \r and every
// other byte below 0x20 as \u00xx (lowercase hex); all other bytes, non-ASCII
// UTF-8 included, are copied unchanged.
//
// Reading: read_members() is the strict reader for client bodies. It accepts
//   - an object: members are looked up by name, unknown members are ignored
//     (and not inspected), a member name repeated at the top level is an
//     error;
//   - an array: element i is the i-th member of the descriptor table. A shorter
//     array leaves the missing trailing members absent (optional ones then take
//     their defaults, a missing required one is an error); more elements than
//     the table has members is an error.
// Whitespace (space, tab, CR, LF) around the value is allowed; anything else
// after the value, a byte-order mark, invalid UTF-8, any other top-level value
// or a member of the wrong type (null included) is an error. The reader is a
// pure function of the bytes and never throws.
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/bytes.h"

namespace hp {

class JsonWriter {
public:
    JsonWriter& begin_object();
    JsonWriter& end_object();
    JsonWriter& begin_array();
    JsonWriter& end_array();
    JsonWriter& key(std::string_view name);
    JsonWriter& string(std::string_view value);
    JsonWriter& uint(std::uint64_t value);
    JsonWriter& boolean(bool value);
    JsonWriter& string_array(std::span<const std::string> values);

    const std::string& str() const { return out_; }
    std::string take() { return std::move(out_); }

private:
    void before_value();

    std::string out_;
    std::vector<bool> hasElement_;  // one entry per open container
    bool afterKey_ = false;
};

enum class JsonType { String, Boolean, Unsigned };

struct MemberRule {
    std::string_view name;
    JsonType type = JsonType::String;
    bool required = true;
};

// One entry per descriptor member, in table order; nothing for an absent one.
using MemberValues = std::vector<std::optional<nlohmann::json>>;

// Parses the body strictly (rules above) and checks every present member
// against its descriptor: String must be a JSON string, Boolean true/false,
// Unsigned a non-negative integer that fits 64 bits (no fraction, no
// exponent). Nothing on any error.
std::optional<MemberValues> read_members(ByteView body, std::span<const MemberRule> members);

// The strict parse alone: one JSON value, whitespace around it, no repeated
// member names in a top-level object, no byte-order mark, no zero byte.
std::optional<nlohmann::json> parse_strict(ByteView body);

// The lenient parse of documents written by people or other programs: one
// JSON value with whitespace around it (a leading byte-order mark is
// skipped, a repeated name keeps its last value), and no zero byte, which the
// parser would otherwise take for the end of the input.
std::optional<nlohmann::json> parse_lenient(ByteView body);

}  // namespace hp
