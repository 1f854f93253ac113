// The strict JSON reader and the typed parsers of client messages, all given
// the same body (as a frame body would reach whichever parser its type picks).
//
// Invariants: the strict reader accepts no zero byte and no byte-order mark,
// and what it accepts is valid UTF-8 that writes out and reads back to the
// same value; a typed parser accepts only what the strict reader accepts, as
// an object or an array; read_members gives one entry per rule, each of the
// rule's type.
#include <nlohmann/json.hpp>

#include "base/json.h"
#include "fuzz_support.h"
#include "protocol/messages.h"

namespace {

using namespace hp;

constexpr MemberRule kRules[] = {
    {"s", JsonType::String, true},
    {"b", JsonType::Boolean, false},
    {"u", JsonType::Unsigned, false},
};

bool has_type(const nlohmann::json& v, JsonType type) {
    switch (type) {
        case JsonType::String: return v.is_string();
        case JsonType::Boolean: return v.is_boolean();
        case JsonType::Unsigned: return v.is_number_unsigned();
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ByteView body(data, size);
    const auto value = parse_strict(body);
    const bool container = value && (value->is_object() || value->is_array());
    if (value) {
        FUZZ_CHECK(std::find(body.begin(), body.end(), 0) == body.end());
        FUZZ_CHECK(!(size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF));
        std::string text;
        try {
            // The strict error handler throws on invalid UTF-8 in any string.
            text = value->dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
        } catch (const nlohmann::json::exception&) {
            FUZZ_CHECK(!"accepted text that is not valid UTF-8");
        }
        const auto again = parse_strict(as_bytes(text));
        FUZZ_CHECK(again && *again == *value);
    }

    const bool typed[] = {
        protocol::parse_pair_request(body).has_value(),  protocol::parse_pair_confirm(body).has_value(),
        protocol::parse_auth_hello(body).has_value(),    protocol::parse_auth_response(body).has_value(),
        protocol::parse_ping(body).has_value(),          protocol::parse_text_utf8(body).has_value(),
        protocol::parse_clipboard_set(body).has_value(), protocol::parse_clipboard_get(body).has_value(),
        protocol::parse_controller_state(body).has_value(),
    };
    for (const bool ok : typed) FUZZ_CHECK(!ok || container);

    if (const auto members = read_members(body, kRules)) {
        FUZZ_CHECK(container);
        FUZZ_CHECK(members->size() == std::size(kRules));
        FUZZ_CHECK((*members)[0].has_value());
        for (std::size_t i = 0; i < std::size(kRules); ++i)
            FUZZ_CHECK(!(*members)[i] || has_type(*(*members)[i], kRules[i].type));
    }
    return 0;
}
