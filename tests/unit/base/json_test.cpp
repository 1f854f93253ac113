#include "base/json.h"

#include <gtest/gtest.h>

#include <array>

namespace hp {
namespace {

std::string written(std::string_view s) {
    JsonWriter w;
    w.string(s);
    return w.take();
}

TEST(JsonWriter, EscapesExactlyTheRequiredBytes) {
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"plain", "\"plain\""},
        {"a\"b", "\"a\\\"b\""},
        {"a\\b", "\"a\\\\b\""},
        {"\b\t\n\f\r", "\"\\b\\t\\n\\f\\r\""},
        {std::string("\x00", 1), "\"\\u0000\""},
        {"\x01", "\"\\u0001\""},
        {"\x0b", "\"\\u000b\""},
        {"\x1f", "\"\\u001f\""},
        {"\x7f", "\"\x7f\""},
        {"/", "\"/\""},
        {"\xc3\xa9", "\"\xc3\xa9\""},          // é stays raw UTF-8
        {"\xe2\x82\xac", "\"\xe2\x82\xac\""},  // €
        {"", "\"\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.out);
        EXPECT_EQ(written(c.in), c.out);
    }
}

TEST(JsonWriter, CompactWithMembersInWrittenOrder) {
    const std::array<std::string, 2> list{"a", "b\"c"};
    JsonWriter w;
    w.begin_object()
        .key("z")
        .uint(18446744073709551615ull)
        .key("a")
        .boolean(true)
        .key("m")
        .string_array(list)
        .key("e")
        .string_array({})
        .key("o")
        .begin_object()
        .key("x")
        .boolean(false)
        .end_object()
        .key("k\n")
        .string("v")
        .end_object();
    EXPECT_EQ(w.str(),
              "{\"z\":18446744073709551615,\"a\":true,\"m\":[\"a\",\"b\\\"c\"],\"e\":[],"
              "\"o\":{\"x\":false},\"k\\n\":\"v\"}");
}

// The reader, through a descriptor with one member of each type.
constexpr std::array<MemberRule, 3> kRules{{
    {"name", JsonType::String, true},
    {"flag", JsonType::Boolean, false},
    {"count", JsonType::Unsigned, false},
}};

std::optional<MemberValues> read(std::string_view body) {
    return read_members(as_bytes(body), kRules);
}

TEST(JsonReader, AcceptedBodies) {
    struct Case {
        std::string_view body;
        std::string name;
        std::optional<bool> flag;
        std::optional<std::uint64_t> count;
    };
    const Case cases[] = {
        {R"({"name":"n"})", "n", {}, {}},
        {R"({"count":5,"flag":true,"name":"n"})", "n", true, 5},
        {" \t\r\n{ \"name\" : \"n\" , \"flag\" : false }\n\r\t ", "n", false, {}},
        {R"({"name":"n","other":{"name":1,"x":[1,{"a":null}]},"x":null})", "n", {}, {}},
        {R"({"name":"n","x":[{"a":1},{"a":2}],"y":{"name":2}})", "n", {}, {}},
        // What a message ignores is not inspected: repeats inside it do not matter.
        {R"({"name":"n","x":{"a":1,"a":2}})", "n", {}, {}},
        {R"({"name":"n","x":[{"b":1,"b":2}],"flag":true})", "n", true, {}},
        {R"(["n"])", "n", {}, {}},
        {R"(["n",true])", "n", true, {}},
        {R"(["n",false,18446744073709551615])", "n", false, 18446744073709551615ull},
        {R"({"name":"\u00e9\ud83d\ude00"})", "\xc3\xa9\xf0\x9f\x98\x80", {}, {}},
        {"{\"name\":\"\xc3\xa9\"}", "\xc3\xa9", {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        const auto v = read(c.body);
        ASSERT_TRUE(v);
        ASSERT_EQ(v->size(), 3u);
        EXPECT_EQ((*v)[0]->get<std::string>(), c.name);
        EXPECT_EQ((*v)[1].has_value(), c.flag.has_value());
        if (c.flag) {
            EXPECT_EQ((*v)[1]->get<bool>(), *c.flag);
        }
        EXPECT_EQ((*v)[2].has_value(), c.count.has_value());
        if (c.count) {
            EXPECT_EQ((*v)[2]->get<std::uint64_t>(), *c.count);
        }
    }
}

TEST(JsonReader, RefusedBodies) {
    const std::string_view cases[] = {
        "",
        "   ",
        R"({"name":"n"} x)",
        R"({"name":"n"}{})",
        R"({"name":"n"},)",
        std::string_view("{\"name\":\"n\"}\0", 13),
        std::string_view("{\"name\":\"n\"}\0}", 14),
        "\xef\xbb\xbf{\"name\":\"n\"}",  // byte-order mark
        R"({"name":"n","name":"m"})",    // repeated member
        R"({"name":"n","flag":true,"flag":true})",
        R"({"flag":true})",                   // required member missing
        R"([])",
        R"(["n",true,1,"extra"])",  // more elements than members
        R"([1])",
        R"({"name":null})",
        R"({"name":"n","flag":null})",
        R"({"name":"n","flag":1})",
        R"({"name":"n","flag":"true"})",
        R"({"name":"n","count":-1})",
        R"({"name":"n","count":-0})",
        R"({"name":"n","count":1.5})",
        R"({"name":"n","count":1.0})",
        R"({"name":"n","count":1e3})",
        R"({"name":"n","count":"5"})",
        R"({"name":"n","count":18446744073709551616})",
        R"("n")",
        "42",
        "null",
        "{\"name\":\"\xc3\"}",          // truncated UTF-8 sequence
        "{\"name\":\"\xff\"}",          // invalid UTF-8 byte
        "{\"name\":\"\xed\xa0\x80\"}",  // encoded surrogate
        R"({"name":"\ud800"})",         // lone escaped surrogate
        "{\"name\":\"a\nb\"}",          // raw control character
        R"({"name":"n",})",
        R"({'name':'n'})",
        R"({"name":"n")",
    };
    for (const auto body : cases) {
        SCOPED_TRACE(body);
        EXPECT_FALSE(read(body));
    }
}

TEST(JsonReader, DeepNestingIsRefusedNotFatal) {
    for (const auto& [open, close] : {std::pair{'[', ']'}, std::pair{'{', '}'}}) {
        std::string body;
        for (int i = 0; i < 30000; ++i) body += open == '[' ? "[" : "{\"a\":";
        body += "1";
        body += std::string(30000, close);
        EXPECT_FALSE(read(body));
        EXPECT_TRUE(parse_strict(as_bytes(body)));
    }
}

}  // namespace
}  // namespace hp
