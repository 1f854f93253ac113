// The ClipboardContent body: the clipboard text cut to fit one encrypted
// frame, on a character boundary.
#include <gtest/gtest.h>

#include <string>

#include <nlohmann/json.hpp>

#include "commands/commands.h"
#include "protocol/frame.h"

namespace hp::commands {
namespace {

struct ReplyCase {
    const char* name;
    std::string text;
    bool truncated;
};

class ClipboardReply : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(ClipboardReply, FitsOneFrameAndEndsOnACharacter) {
    const ReplyCase& c = GetParam();
    const std::string body = clipboard_reply(c.text);
    ASSERT_LE(body.size(), protocol::kMaxSecurePlainBody);
    const auto j = nlohmann::json::parse(body);
    EXPECT_EQ(j["truncated"], c.truncated);
    const std::string text = j["text"];
    EXPECT_EQ(c.text.compare(0, text.size(), text), 0);
    if (!c.truncated) {
        EXPECT_EQ(text, c.text);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ClipboardReply,
    ::testing::Values(ReplyCase{"Short", "hello", false},
                      ReplyCase{"ExactlyTheLimit", std::string(48000, 'a'), false},
                      ReplyCase{"OverTheLimit", std::string(48001, 'a'), true},
                      ReplyCase{"ControlBytesEscapeSixfold", std::string(48000, '\x01'), true},
                      ReplyCase{"QuotesEscapeTwofold", std::string(40000, '"'), true},
                      ReplyCase{"MultiByteCharacters", [] {
                                    std::string s;
                                    for (int i = 0; i < 20000; ++i) s += "\xc3\xa9\n";
                                    return s;
                                }(),
                                true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace hp::commands
