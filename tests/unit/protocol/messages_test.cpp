#include "protocol/messages.h"

#include <gtest/gtest.h>

namespace hp::protocol {
namespace {

std::string rep(std::string_view unit, std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += unit;
    return s;
}

template <std::size_t N>
ByteArray<N> filled(std::uint8_t v) {
    ByteArray<N> a{};
    a.fill(v);
    return a;
}

// Hex members of a valid PairRequest.
const std::string kX = rep("a1", 32);
const std::string kEd = rep("b2", 32);
const std::string kNonce = rep("c3", 16);

std::string pair_request_object(std::string_view extra = "") {
    return R"({"clientId":"c-1","deviceName":"Phone","deviceModel":"M9",)"
           R"("clientX25519PubHex":")" +
           kX + R"(","clientEd25519PubHex":")" + kEd + R"(","clientNonceHex":")" + kNonce + "\"" +
           std::string(extra) + "}";
}

std::optional<PairRequest> pair_request(std::string_view body) {
    return parse_pair_request(as_bytes(body));
}

TEST(PairRequestParse, AcceptedForms) {
    struct Case {
        std::string name;
        std::string body;
        std::string deviceModel;
    };
    const Case cases[] = {
        {"object", pair_request_object(), "M9"},
        {"unknown members ignored", pair_request_object(R"(,"future":[1,{"a":2}],"v":2)"), "M9"},
        {"members in another order",
         R"({"clientNonceHex":")" + kNonce + R"(","clientEd25519PubHex":")" + kEd +
             R"(","clientX25519PubHex":")" + kX +
             R"(","deviceName":"Phone","clientId":"c-1","deviceModel":"M9"})",
         "M9"},
        {"deviceModel missing",
         R"({"clientId":"c-1","deviceName":"Phone","clientX25519PubHex":")" + kX +
             R"(","clientEd25519PubHex":")" + kEd + R"(","clientNonceHex":")" + kNonce + "\"}",
         ""},
        {"array in table order",
         R"(["c-1","Phone","M9",")" + kX + R"(",")" + kEd + R"(",")" + kNonce + "\"]", "M9"},
        {"whitespace around", "\n\t " + pair_request_object() + " \r\n", "M9"},
        {"upper-case hex",
         R"({"clientId":"c-1","deviceName":"Phone","deviceModel":"M9","clientX25519PubHex":")" +
             rep("A1", 32) + R"(","clientEd25519PubHex":")" + rep("B2", 32) +
             R"(","clientNonceHex":")" + rep("C3", 16) + "\"}",
         "M9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto r = pair_request(c.body);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->clientId, "c-1");
        EXPECT_EQ(r->deviceName, "Phone");
        EXPECT_EQ(r->deviceModel, c.deviceModel);
        EXPECT_EQ(r->clientX25519Pub, filled<32>(0xa1));
        EXPECT_EQ(r->clientEd25519Pub, filled<32>(0xb2));
        EXPECT_EQ(r->clientNonce, filled<16>(0xc3));
    }
}

TEST(PairRequestParse, RefusedForms) {
    auto with = [](std::string_view member, std::string_view value) {
        std::string body = pair_request_object();
        const std::string key = "\"" + std::string(member) + "\":";
        const auto at = body.find(key) + key.size();
        const auto end = body.find_first_of(",}", at);
        return body.replace(at, end - at, value);
    };
    auto without = [](std::string_view member) {
        std::string body = pair_request_object();
        const std::string key = "\"" + std::string(member) + "\":";
        const auto at = body.find(key);
        const auto end = body.find_first_of(",}", at);
        body.erase(at, end - at + (body[end] == ',' ? 1 : 0));
        if (body[body.size() - 2] == ',') body.erase(body.size() - 2, 1);
        return body;
    };
    struct Case {
        std::string name;
        std::string body;
    };
    const Case cases[] = {
        {"empty body", ""},
        {"repeated member", pair_request_object(R"(,"clientId":"c-2")")},
        {"trailing garbage", pair_request_object() + "x"},
        {"two values", pair_request_object() + "{}"},
        {"clientId missing", without("clientId")},
        {"deviceName missing", without("deviceName")},
        {"clientX25519PubHex missing", without("clientX25519PubHex")},
        {"clientEd25519PubHex missing", without("clientEd25519PubHex")},
        {"clientNonceHex missing", without("clientNonceHex")},
        {"X25519 key one byte short", with("clientX25519PubHex", "\"" + rep("a1", 31) + "\"")},
        {"X25519 key one byte long", with("clientX25519PubHex", "\"" + rep("a1", 33) + "\"")},
        {"odd hex length", with("clientEd25519PubHex", "\"" + rep("b2", 31) + "b\"")},
        {"non-hex digit", with("clientNonceHex", "\"" + rep("c3", 15) + "g3\"")},
        {"nonce of 32 bytes", with("clientNonceHex", "\"" + kX + "\"")},
        {"clientId a number", with("clientId", "7")},
        {"deviceModel null", with("deviceModel", "null")},
        {"array too long",
         R"(["c-1","Phone","M9",")" + kX + R"(",")" + kEd + R"(",")" + kNonce + R"(",1])"},
        {"array without nonce", R"(["c-1","Phone","M9",")" + kX + R"(",")" + kEd + "\"]"},
        {"array in another order",
         R"(["c-1","Phone",")" + kX + R"(","M9",")" + kEd + R"(",")" + kNonce + "\"]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name + ": " + c.body);
        EXPECT_FALSE(pair_request(c.body));
    }
}

TEST(HandshakeParse, PairConfirmAuthHelloAuthResponse) {
    const auto confirm =
        parse_pair_confirm(as_bytes(R"({"clientMacHex":"AB","clientSigHex":"cd"})"));
    ASSERT_TRUE(confirm);
    EXPECT_EQ(confirm->clientMacHex, "AB");  // decoded later, by the handshake
    EXPECT_EQ(confirm->clientSigHex, "cd");
    EXPECT_TRUE(parse_pair_confirm(as_bytes(R"(["m","s"])")));
    EXPECT_FALSE(parse_pair_confirm(as_bytes(R"({"clientMacHex":"m"})")));
    EXPECT_FALSE(parse_pair_confirm(as_bytes(R"(["m"])")));
    EXPECT_FALSE(parse_pair_confirm(as_bytes(R"({"clientMacHex":"m","clientSigHex":1})")));

    const auto hello = parse_auth_hello(
        as_bytes(R"({"clientId":"c","clientX25519PubHex":"x","clientNonceHex":"n"})"));
    ASSERT_TRUE(hello);  // deviceName may be left out
    EXPECT_EQ(hello->clientId, "c");
    EXPECT_EQ(hello->deviceName, "");
    EXPECT_EQ(hello->clientX25519PubHex, "x");
    EXPECT_EQ(hello->clientNonceHex, "n");
    const auto helloArray = parse_auth_hello(as_bytes(R"(["c","Tab","x","n"])"));
    ASSERT_TRUE(helloArray);
    EXPECT_EQ(helloArray->deviceName, "Tab");
    EXPECT_EQ(helloArray->clientNonceHex, "n");
    EXPECT_FALSE(parse_auth_hello(as_bytes(R"({"clientId":"c","clientX25519PubHex":"x"})")));
    EXPECT_FALSE(parse_auth_hello(as_bytes(R"(["c","Tab","x"])")));

    const auto response = parse_auth_response(as_bytes(R"({"clientSigHex":"s"})"));
    ASSERT_TRUE(response);
    EXPECT_EQ(response->clientSigHex, "s");
    EXPECT_FALSE(parse_auth_response(as_bytes(R"({"clientSigHex":"s","clientSigHex":"s"})")));
    EXPECT_FALSE(parse_auth_response(as_bytes(R"({})")));
}

TEST(SessionParse, PingTsIsAnUnsigned64BitInteger) {
    struct Case {
        std::string_view body;
        std::optional<std::uint64_t> ts;
    };
    const Case cases[] = {
        {R"({"ts":0})", 0},
        {R"({"ts":1712345678})", 1712345678},
        {R"({"ts":18446744073709551615})", 18446744073709551615ull},
        {R"([5])", 5},
        {R"({"ts":18446744073709551616})", {}},
        {R"({"ts":-1})", {}},
        {R"({"ts":1.5})", {}},
        {R"({"ts":2.0})", {}},
        {R"({"ts":1e3})", {}},
        {R"({"ts":"5"})", {}},
        {R"({"ts":true})", {}},
        {R"({})", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        const auto ping = parse_ping(as_bytes(c.body));
        ASSERT_EQ(ping.has_value(), c.ts.has_value());
        if (ping) {
            EXPECT_EQ(ping->ts, *c.ts);
        }
    }
}

TEST(SessionParse, TextAndClipboardAndController) {
    const auto text = parse_text_utf8(as_bytes(R"({"text":"h\u00e9 \"x\"\n"})"));
    ASSERT_TRUE(text);
    EXPECT_EQ(text->text, "h\xc3\xa9 \"x\"\n");
    EXPECT_FALSE(parse_text_utf8(as_bytes(R"({})")));
    EXPECT_FALSE(parse_text_utf8(as_bytes(R"({"text":5})")));

    const auto set = parse_clipboard_set(as_bytes(R"({"text":"t"})"));
    ASSERT_TRUE(set);
    EXPECT_EQ(set->text, "t");
    EXPECT_FALSE(set->autoPaste);
    const auto setPaste = parse_clipboard_set(as_bytes(R"(["t",true])"));
    ASSERT_TRUE(setPaste);
    EXPECT_TRUE(setPaste->autoPaste);
    EXPECT_FALSE(parse_clipboard_set(as_bytes(R"({"text":"t","autoPaste":"yes"})")));
    EXPECT_FALSE(parse_clipboard_set(as_bytes(R"({"autoPaste":true})")));

    struct BoolCase {
        std::string_view body;
        std::optional<bool> value;
    };
    const BoolCase cases[] = {
        {R"({})", false},    {R"([])", false}, {R"({"x":1})", false}, {R"([true])", true},
        {R"([true,1])", {}}, {R"("x")", {}},   {R"({"v":0})", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        const auto get = parse_clipboard_get(as_bytes(c.body));
        const auto controller = parse_controller_state(as_bytes(c.body));
        ASSERT_EQ(get.has_value(), c.value.has_value());
        ASSERT_EQ(controller.has_value(), c.value.has_value());
        if (c.value) {
            EXPECT_EQ(get->copyFirst, *c.value);
            EXPECT_EQ(controller->enabled, *c.value);
        }
    }
    EXPECT_TRUE(parse_clipboard_get(as_bytes(R"({"copyFirst":true})"))->copyFirst);
    EXPECT_TRUE(parse_controller_state(as_bytes(R"({"enabled":true})"))->enabled);
    EXPECT_FALSE(parse_controller_state(as_bytes(R"({"enabled":1})")));
}

// --- encoders --------------------------------------------------------------------

ChallengeCommon common() {
    ChallengeCommon c;
    c.hostId = "0f0e0d0c-0b0a-4908-8706-050403020100";
    c.hostName = "B\xc3\xbcro \"PC\"";
    c.deviceType = "laptop";
    c.lanEndpoints = {"192.168.1.20:47800", "[fd00::5]:47800"};
    c.tailscaleEndpoints = {"100.64.0.7:47800", "pc.tail1234.ts.net:47800"};
    c.udpPort = 47800;
    return c;
}

TEST(Encoders, HostInfo) {
    EXPECT_EQ(encode_host_info("0f0e0d0c-0b0a-4908-8706-050403020100", "Desk\\1",
                               "0123456789abcdef", 47800),
              R"({"v":1,"hostId":"0f0e0d0c-0b0a-4908-8706-050403020100","name":"Desk\\1",)"
              R"("os":"windows","fp":"0123456789abcdef","udpPort":47800})");
}

TEST(Encoders, PairChallenge) {
    EXPECT_EQ(encode_pair_challenge(common(), filled<32>(0x1a), filled<32>(0xEd), filled<16>(0x07)),
              R"({"hostId":"0f0e0d0c-0b0a-4908-8706-050403020100","hostName":"B)"
              "\xc3\xbc"
              R"(ro \"PC\"","osType":"windows","hostX25519PubHex":")" +
                  rep("1a", 32) + R"(","hostEd25519PubHex":")" + rep("ed", 32) +
                  R"(","hostNonceHex":")" + rep("07", 16) +
                  R"(","lanEndpoints":["192.168.1.20:47800","[fd00::5]:47800"],)"
                  R"("tailscaleEndpoints":["100.64.0.7:47800","pc.tail1234.ts.net:47800"],)"
                  R"("deviceType":"laptop"})");
}

TEST(Encoders, AuthChallengeWithEmptyEndpointLists) {
    ChallengeCommon c = common();
    c.lanEndpoints.clear();
    c.tailscaleEndpoints.clear();
    c.deviceType = "desktop";
    c.udpPort = 0;
    EXPECT_EQ(encode_auth_challenge(c, filled<32>(0x2b), filled<16>(0xF0), filled<64>(0x5c)),
              R"({"hostId":"0f0e0d0c-0b0a-4908-8706-050403020100","hostName":"B)"
              "\xc3\xbc"
              R"(ro \"PC\"","osType":"windows","hostX25519PubHex":")" +
                  rep("2b", 32) + R"(","hostNonceHex":")" + rep("f0", 16) + R"(","hostSigHex":")" +
                  rep("5c", 64) +
                  R"(","udpPort":0,"lanEndpoints":[],"tailscaleEndpoints":[],)"
                  R"("deviceType":"desktop"})");
}

TEST(Encoders, PairAcceptedAndSmallBodies) {
    EXPECT_EQ(encode_pair_accepted(filled<32>(0xAA), filled<64>(0x0b), 65535),
              R"({"hostMacHex":")" + rep("aa", 32) + R"(","hostSigHex":")" + rep("0b", 64) +
                  R"(","udpPort":65535})");
    EXPECT_EQ(encode_reason(kReasonNoActiveCode), R"({"reason":"no_active_code"})");
    EXPECT_EQ(encode_reason(kReasonInvalidCode), R"({"reason":"invalid_code"})");
    EXPECT_EQ(encode_reason(kReasonInternalError), R"({"reason":"internal_error"})");
    EXPECT_EQ(encode_reason(kReasonUnpaired), R"({"reason":"unpaired"})");
    EXPECT_EQ(encode_reason(kReasonRemovedByUser), R"({"reason":"removed_by_user"})");
    EXPECT_EQ(encode_pong(18446744073709551615ull), R"({"ts":18446744073709551615})");
    EXPECT_EQ(encode_pong(0), R"({"ts":0})");
    EXPECT_EQ(encode_clipboard_content("a\tb\x01", true),
              R"({"text":"a\tb\u0001","truncated":true})");
    EXPECT_EQ(encode_clipboard_content("", false), R"({"text":"","truncated":false})");
    EXPECT_EQ(encode_sas_result("ok", "Sent \"SAS\""), R"({"code":"ok","message":"Sent \"SAS\""})");
    EXPECT_EQ(kAuthAcceptedBody, "{}");
}

}  // namespace
}  // namespace hp::protocol
