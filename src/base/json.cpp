#include "base/json.h"

#include <algorithm>
#include <set>

#include "base/json_text.h"

namespace hp {

// --- writer ------------------------------------------------------------------

void JsonWriter::before_value() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!hasElement_.empty()) {
        if (hasElement_.back()) out_.push_back(',');
        hasElement_.back() = true;
    }
}

JsonWriter& JsonWriter::begin_object() {
    before_value();
    out_.push_back('{');
    hasElement_.push_back(false);
    return *this;
}

JsonWriter& JsonWriter::end_object() {
    out_.push_back('}');
    if (!hasElement_.empty()) hasElement_.pop_back();
    return *this;
}

JsonWriter& JsonWriter::begin_array() {
    before_value();
    out_.push_back('[');
    hasElement_.push_back(false);
    return *this;
}

JsonWriter& JsonWriter::end_array() {
    out_.push_back(']');
    if (!hasElement_.empty()) hasElement_.pop_back();
    return *this;
}

JsonWriter& JsonWriter::key(std::string_view name) {
    before_value();
    append_json_string(out_, name);
    out_.push_back(':');
    afterKey_ = true;
    return *this;
}

JsonWriter& JsonWriter::string(std::string_view value) {
    before_value();
    append_json_string(out_, value);
    return *this;
}

JsonWriter& JsonWriter::uint(std::uint64_t value) {
    before_value();
    out_ += std::to_string(value);
    return *this;
}

JsonWriter& JsonWriter::boolean(bool value) {
    before_value();
    out_ += value ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::string_array(std::span<const std::string> values) {
    begin_array();
    for (const auto& v : values) string(v);
    return end_array();
}

// --- reader ------------------------------------------------------------------

namespace {

bool holds_zero_byte(ByteView body) { return std::find(body.begin(), body.end(), std::uint8_t{0}) != body.end(); }

}  // namespace

std::optional<nlohmann::json> parse_lenient(ByteView body) {
    if (holds_zero_byte(body)) return std::nullopt;
    try {
        auto value = nlohmann::json::parse(body.begin(), body.end(), nullptr, /*allow_exceptions=*/false);
        if (value.is_discarded()) return std::nullopt;
        return value;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<nlohmann::json> parse_strict(ByteView body) {
    // The parser would skip a leading byte-order mark; it is not whitespace.
    if (body.size() >= 3 && body[0] == 0xEF && body[1] == 0xBB && body[2] == 0xBF)
        return std::nullopt;
    // The parser also takes a zero byte for the end of the input, which would
    // let anything after it through. JSON text never holds a raw zero byte.
    if (holds_zero_byte(body)) return std::nullopt;
    try {
        // The parser keeps the last of repeated names silently, so the names
        // of the top-level object (the message's own members) are collected
        // while parsing. What lies deeper is never read by a message and is
        // not inspected.
        std::set<std::string> names;
        int level = 0;  // containers open around the current event
        bool top_is_object = false;
        bool repeated = false;
        auto watch = [&](int /*depth*/, nlohmann::json::parse_event_t event,
                         nlohmann::json& parsed) {
            using E = nlohmann::json::parse_event_t;
            switch (event) {
                case E::object_start:
                    if (level == 0) top_is_object = true;
                    ++level;
                    break;
                case E::array_start:
                    ++level;
                    break;
                case E::object_end:
                case E::array_end:
                    --level;
                    break;
                case E::key:
                    if (level == 1 && top_is_object && parsed.is_string() &&
                        !names.insert(parsed.get_ref<const std::string&>()).second)
                        repeated = true;
                    break;
                default:
                    break;
            }
            return true;
        };
        auto value = nlohmann::json::parse(body.begin(), body.end(), watch,
                                           /*allow_exceptions=*/false);
        if (value.is_discarded() || repeated) return std::nullopt;
        return value;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

namespace {

bool has_type(const nlohmann::json& v, JsonType type) {
    switch (type) {
        case JsonType::String:
            return v.is_string();
        case JsonType::Boolean:
            return v.is_boolean();
        case JsonType::Unsigned:
            return v.is_number_unsigned();
    }
    return false;
}

}  // namespace

std::optional<MemberValues> read_members(ByteView body, std::span<const MemberRule> members) {
    auto value = parse_strict(body);
    if (!value) return std::nullopt;
    MemberValues out(members.size());
    if (value->is_object()) {
        for (std::size_t i = 0; i < members.size(); ++i) {
            auto it = value->find(members[i].name);
            if (it != value->end()) out[i] = std::move(*it);
        }
    } else if (value->is_array()) {
        if (value->size() > members.size()) return std::nullopt;
        for (std::size_t i = 0; i < value->size(); ++i) out[i] = std::move((*value)[i]);
    } else {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (!out[i]) {
            if (members[i].required) return std::nullopt;
            continue;
        }
        if (!has_type(*out[i], members[i].type)) return std::nullopt;
    }
    return out;
}

}  // namespace hp
