#include "platform/posix/console_platform.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace hp::platform {
namespace {

struct LineCase {
    const char* name;
    std::function<void(PlatformServices&)> call;
    std::string line;
};

class ConsoleLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(ConsoleLine, PrintsExactlyOneLine) {
    std::ostringstream out;
    const auto platform = make_console_platform(out);
    GetParam().call(*platform);
    EXPECT_EQ(out.str(), "platform: " + GetParam().line + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Console, ConsoleLine,
    ::testing::Values(
        LineCase{"move", [](PlatformServices& p) { p.moveRelative(-3, 20000); }, "moveRelative -3 20000"},
        LineCase{"button_down", [](PlatformServices& p) { p.mouseButton(1, true); }, "mouseButton 1 down"},
        LineCase{"button_up", [](PlatformServices& p) { p.mouseButton(3, false); }, "mouseButton 3 up"},
        LineCase{"wheel", [](PlatformServices& p) { p.wheel(-120); }, "wheel -120"},
        LineCase{"hwheel", [](PlatformServices& p) { p.hwheel(5); }, "hwheel 5"},
        LineCase{"key_plain", [](PlatformServices& p) { p.key({0x41, 0x1E, false}, true); }, "key 0x41 0x1E 0 down"},
        LineCase{"key_small_codes", [](PlatformServices& p) { p.key({0x08, 0x0E, false}, false); },
                 "key 0x08 0x0E 0 up"},
        LineCase{"key_extended", [](PlatformServices& p) { p.key({0x5B, 0x5B, true}, false); },
                 "key 0x5B 0x5B 1 up"},
        LineCase{"key_no_scan", [](PlatformServices& p) { p.key({0xAF, 0x00, false}, true); },
                 "key 0xAF 0x00 0 down"},
        LineCase{"type_ascii", [](PlatformServices& p) { p.typeText(u"hello"); }, R"(typeText "hello")"},
        LineCase{"type_escapes", [](PlatformServices& p) { p.typeText(u"a\"b\\c\b\t\n\f\r\x01\x1f\x7f"); },
                 "typeText \"a\\\"b\\\\c\\b\\t\\n\\f\\r\\u0001\\u001f\x7f\""},
        LineCase{"type_non_ascii_raw",
                 [](PlatformServices& p) { p.typeText(std::u16string(u"Gr\u00FC\u00DFe ") + char16_t(0xD83C) +
                                                      char16_t(0xDFAE)); },
                 "typeText \"Gr\xC3\xBC\xC3\x9F" "e \xF0\x9F\x8E\xAE\""},
        LineCase{"type_unpaired_surrogate", [](PlatformServices& p) { p.typeText(std::u16string{0xD800, u'x'}); },
                 "typeText \"\xEF\xBF\xBDx\""},
        LineCase{"lock", [](PlatformServices& p) { p.lockWorkstation(); }, "lockWorkstation"},
        LineCase{"keep_awake", [](PlatformServices& p) { p.keepAwake(); }, "keepAwake"},
        LineCase{"set_clipboard", [](PlatformServices& p) { p.setClipboard("line\nnext \xE2\x82\xAC"); },
                 "setClipboard \"line\\nnext \xE2\x82\xAC\""},
        LineCase{"get_clipboard", [](PlatformServices& p) { static_cast<void>(p.getClipboard()); }, "getClipboard"},
        LineCase{"brightness_up", [](PlatformServices& p) { p.stepBrightness(true); }, "stepBrightness up"},
        LineCase{"brightness_down", [](PlatformServices& p) { p.stepBrightness(false); }, "stepBrightness down"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Console, ClipboardReturnsTheLastTextSet) {
    std::ostringstream out;
    const auto platform = make_console_platform(out);
    EXPECT_EQ(platform->getClipboard(), std::nullopt);
    platform->setClipboard("first");
    platform->setClipboard("Gr\xC3\xBC\xC3\x9F" "e \xF0\x9F\x8E\xAE");
    EXPECT_EQ(platform->getClipboard(), "Gr\xC3\xBC\xC3\x9F" "e \xF0\x9F\x8E\xAE");
    platform->setClipboard("");
    EXPECT_EQ(platform->getClipboard(), "");
}

// Lines written from several threads never mix within a line.
TEST(Console, ConcurrentCallsKeepLinesWhole) {
    std::ostringstream out;
    const auto platform = make_console_platform(out);
    const std::u16string text(200, u'x');
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i) {
                platform->typeText(text);
                platform->moveRelative(1, 2);
            }
        });
    for (auto& t : threads) t.join();

    const std::string typed = "platform: typeText \"" + std::string(200, 'x') + "\"";
    std::istringstream in(out.str());
    std::string line;
    while (std::getline(in, line)) EXPECT_TRUE(line == typed || line == "platform: moveRelative 1 2") << line;
}

}  // namespace
}  // namespace hp::platform
