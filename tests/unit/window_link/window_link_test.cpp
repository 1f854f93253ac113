// The link between the desktop host and its window program: every message
// survives encoding and decoding, lines are bounded, and what is not one
// well-formed message is refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pad_mapping/mapping_file.h"
#include "window_link/window_link.h"

namespace hp::window_link {
namespace {

namespace cc = connection_check;

pad_mapping::PadMapping edited_mapping() {
    auto m = pad_mapping::presetMapping(pad_mapping::Preset::Arrows);
    m.rightStick.invertY = true;
    m.useMapping = true;
    return m;
}

TEST(WindowLink, EveryMessageToTheWindowComesBackAsItWasSent) {
    const std::vector<ToWindow> messages = {
        ShowPairing{"012345", "hearthpad://pair?c=012345&l=192.168.1.2%3A49182", "192.168.1.2:49182", ""},
        Raise{},
        Close{},
        ShowFindings{{{"lan_address", cc::FindingState::Ok, "LAN address 192.168.1.2", cc::FindingFix::None},
                      {"firewall_program", cc::FindingState::Problem, "Blocked «ports»", cc::FindingFix::AllowFirewall},
                      {"advertisement", cc::FindingState::Unknown, "", cc::FindingFix::None}}},
        ShowFindings{},
        FixFinished{platform::ElevatedOutcome{false, 3}},
        FixFinished{platform::ElevatedOutcome{true, 0}},
        FixFinished{fail("pkexec is missing")},
        ShowMapping{edited_mapping(), true, false},
        ShowMapping{pad_mapping::defaultMapping(), false, true},
        Saved{edited_mapping(), ""},
        Saved{edited_mapping(), "The disk is full."},
        DumpRequest{},
    };
    for (const ToWindow& m : messages) {
        const std::string line = encode(m);
        ASSERT_EQ(line.back(), '\n');
        EXPECT_EQ(line.find('\n'), line.size() - 1) << line;
        const auto back = decode_to_window(std::string_view(line).substr(0, line.size() - 1));
        ASSERT_TRUE(back) << line << ": " << back.error().text;
        EXPECT_TRUE(*back == m) << line;
    }
}

TEST(WindowLink, EveryMessageToTheHostComesBackAsItWasSent) {
    const std::vector<ToHost> messages = {
        Shown{WindowKind::Pairing},
        Shown{WindowKind::Mapping},
        RunCheck{},
        AllowFirewall{},
        SaveMapping{edited_mapping()},
        Texts{{{303, "Save", 10, 20, 80, 30, true, false}, {-1, "Tailscale: Not connected", 0, -4, 0, 0, false, true}}},
        Texts{},
    };
    for (const ToHost& m : messages) {
        const std::string line = encode(m);
        const auto back = decode_to_host(std::string_view(line).substr(0, line.size() - 1));
        ASSERT_TRUE(back) << line << ": " << back.error().text;
        EXPECT_TRUE(*back == m) << line;
    }
}

TEST(WindowLink, TextsThatAreNotUtf8AreReplacedNotRefused) {
    const std::string line = encode(ToHost{Texts{{{1, "a\xff" "b", 0, 0, 1, 1, true, true}}}});
    const auto back = decode_to_host(std::string_view(line).substr(0, line.size() - 1));
    ASSERT_TRUE(back) << back.error().text;
    EXPECT_EQ(std::get<Texts>(*back).controls.at(0).text, "a\xEF\xBF\xBD" "b");
}

TEST(WindowLink, MalformedMessagesAreRefused) {
    const std::string longText(kMaxTextBytes + 1, 'x');
    const std::vector<std::pair<std::string, std::string>> toWindow = {
        {"empty", ""},
        {"not json", "hello"},
        {"array", R"(["raise"])"},
        {"no type", R"({"code":"123456"})"},
        {"type not text", R"({"t":1})"},
        {"unknown type", R"({"t":"explode"})"},
        {"trailing garbage", R"({"t":"raise"} x)"},
        {"code too short", R"({"t":"pairing","code":"12345","link":"l","lan":"","tailscale":""})"},
        {"code not digits", R"({"t":"pairing","code":"12a456","link":"l","lan":"","tailscale":""})"},
        {"link missing", R"({"t":"pairing","code":"123456","lan":"","tailscale":""})"},
        {"link too long", R"({"t":"pairing","code":"123456","link":")" + longText + R"(","lan":"","tailscale":""})"},
        {"findings not a list", R"({"t":"findings","findings":{}})"},
        {"finding with unknown id", R"({"t":"findings","findings":[{"id":"x","state":"ok","text":"","fix":"none"}]})"},
        {"finding with unknown state",
         R"({"t":"findings","findings":[{"id":"gateway","state":"fine","text":"","fix":"none"}]})"},
        {"fix on a good finding",
         R"({"t":"findings","findings":[{"id":"gateway","state":"ok","text":"","fix":"allow_firewall"}]})"},
        {"fix outcome without a code", R"({"t":"fix_finished","ok":true,"declined":false})"},
        {"negative exit code", R"({"t":"fix_finished","ok":true,"declined":false,"exit_code":-1})"},
        {"exit code above 32 bits", R"({"t":"fix_finished","ok":true,"declined":false,"exit_code":4294967296})"},
        {"mapping not an object", R"({"t":"mapping","mapping":"shooter","vigem":true,"elsewhere":false})"},
        {"vigem not a flag", R"({"t":"mapping","mapping":{},"vigem":1,"elsewhere":false})"},
        {"invalid utf-8", "{\"t\":\"saved\",\"mapping\":{},\"error\":\"\xff\"}"},
    };
    for (const auto& [name, line] : toWindow) EXPECT_FALSE(decode_to_window(line)) << name;

    const std::vector<std::pair<std::string, std::string>> toHost = {
        {"a host message", R"({"t":"raise"})"},
        {"unknown kind", R"({"t":"shown","kind":"tray"})"},
        {"save without mapping", R"({"t":"save"})"},
        {"control id below -1", R"({"t":"texts","controls":[{"id":-2,"text":"","x":0,"y":0,"w":0,"h":0,"visible":true,"enabled":true}]})"},
        {"control without state", R"({"t":"texts","controls":[{"id":1,"text":"","x":0,"y":0,"w":0,"h":0}]})"},
        {"control with fractional place",
         R"({"t":"texts","controls":[{"id":1,"text":"","x":0.5,"y":0,"w":0,"h":0,"visible":true,"enabled":true}]})"},
    };
    for (const auto& [name, line] : toHost) EXPECT_FALSE(decode_to_host(line)) << name;
}

TEST(WindowLink, TooManyFindingsOrControlsAreRefused) {
    std::string findings = R"({"t":"findings","findings":[)";
    for (std::size_t i = 0; i <= kMaxFindings; ++i)
        findings += std::string(i ? "," : "") + R"({"id":"gateway","state":"ok","text":"","fix":"none"})";
    EXPECT_FALSE(decode_to_window(findings + "]}"));

    Texts texts;
    texts.controls.resize(kMaxControls + 1);
    const std::string line = encode(ToHost{texts});
    EXPECT_FALSE(decode_to_host(std::string_view(line).substr(0, line.size() - 1)));
}

TEST(WindowLink, AMappingIsReadAsTheMappingFileReadsIt) {
    // Members the file reader cannot use fall back to the named preset's.
    const auto m = decode_to_host(R"({"t":"save","mapping":{"version":1,"preset":"arrows","leftStick":7}})");
    ASSERT_TRUE(m) << m.error().text;
    EXPECT_EQ(std::get<SaveMapping>(*m).mapping,
              pad_mapping::loadMapping(R"({"version":1,"preset":"arrows","leftStick":7})"));
}

TEST(WindowLink, LinesAreCutAtLineBreaksAndBounded) {
    LineReader reader;
    reader.feed("{\"t\":\"ra");
    auto none = reader.next();
    ASSERT_TRUE(none);
    EXPECT_FALSE(*none);
    reader.feed("ise\"}\n\n{\"t\":\"close\"}\n{\"t\"");
    EXPECT_EQ(reader.next().value(), std::optional<std::string>("{\"t\":\"raise\"}"));
    EXPECT_EQ(reader.next().value(), std::optional<std::string>(""));
    EXPECT_EQ(reader.next().value(), std::optional<std::string>("{\"t\":\"close\"}"));
    EXPECT_EQ(reader.next().value(), std::nullopt);

    struct Case {
        const char* name;
        std::size_t length;
        bool ends;
        bool ok;
    };
    for (const Case c : {Case{"longest line", kMaxLineBytes, true, true},
                         Case{"one byte more", kMaxLineBytes + 1, true, false},
                         Case{"no end in sight", kMaxLineBytes + 1, false, false}}) {
        LineReader r;
        // In pieces, as a pipe gives them.
        const std::string line(c.length, 'x');
        for (std::size_t at = 0; at < line.size(); at += 4000) {
            r.feed(std::string_view(line).substr(at, 4000));
            if (!r.next()) break;
        }
        if (c.ends) r.feed("\n");
        r.feed("{\"t\":\"raise\"}\n");
        auto first = r.next();
        EXPECT_EQ(first.has_value(), c.ok) << c.name;
        if (c.ok) {
            EXPECT_EQ(first->value_or("").size(), c.length) << c.name;
        }
        // After a line that was too long nothing more is read.
        if (!c.ok) {
            EXPECT_FALSE(r.next()) << c.name;
        }
    }
}

TEST(WindowLink, ArgumentsNameTheThreeWindows) {
    for (const WindowKind k : {WindowKind::Pairing, WindowKind::Check, WindowKind::Mapping})
        EXPECT_EQ(kind_from_argument(kind_argument(k)), k);
    EXPECT_EQ(kind_from_argument("--tray"), std::nullopt);
    EXPECT_EQ(kind_from_argument("pairing"), std::nullopt);
}

}  // namespace
}  // namespace hp::window_link
