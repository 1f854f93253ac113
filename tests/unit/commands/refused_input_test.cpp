// Synthetic input the system refuses (on Windows SendInput while the secure
// desktop is up): held-input bookkeeping follows what went in, and the
// controller log says when injection starts and stops failing.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "harness.h"

namespace hp::commands::testing {
namespace {

struct HeldCase {
    const char* name;
    InputCommand down, up;
    Lines releaseAll;  // what releaseAll sends for it once it is held
};

const HeldCase kHeldCases[] = {
    {"Key", key_cmd(1, 4, 1), key_cmd(2, 4, 0), {"key 0x41 up"}},
    {"KeyWithCtrl", key_cmd(1, 4, 1, kCtrl), key_cmd(2, 4, 0), {"key 0x41 up", "key 0xA2 up"}},
    {"Button", button_cmd(1, 1, true), button_cmd(2, 1, false), {"button 1 up"}},
    {"ButtonWithShift", button_cmd(1, 2, true, kShift), button_cmd(2, 2, false), {"key 0xA0 up", "button 2 up"}},
    {"ModifierSet", code_cmd(InputKind::ModifierSet, 1, kAlt), code_cmd(InputKind::ModifierSet, 2, 0),
     {"key 0xA4 up"}},
    {"ZoomCtrl", pinch_cmd(1, 1, 0), pinch_cmd(2, 3, 0), {"key 0xA2 up"}},
};

void PrintTo(const HeldCase& c, std::ostream* os) { *os << c.name; }

class RefusedInput : public ::testing::TestWithParam<HeldCase> {};

TEST_P(RefusedInput, APressThatDidNotGoInIsNotHeld) {
    const HeldCase& c = GetParam();
    Harness h;
    h.os->refuseInput(true);
    h.run(c.down);
    EXPECT_FALSE(h.state.input.holding());
    h.os->refuseInput(false);
    h.take();
    release_all(h.held());
    EXPECT_EQ(h.take(), Lines{}) << "an up for something that never went down";
}

TEST_P(RefusedInput, AReleaseThatDidNotGoInStaysHeldAndReleaseAllRetriesIt) {
    const HeldCase& c = GetParam();
    Harness h;
    h.run(c.down);
    h.os->refuseInput(true);
    h.run(c.up);
    EXPECT_TRUE(h.state.input.holding());
    release_all(h.held());  // still refused: still held
    EXPECT_TRUE(h.state.input.holding());

    h.os->refuseInput(false);
    h.take();
    release_all(h.held());
    EXPECT_EQ(h.take(), c.releaseAll);
    EXPECT_FALSE(h.state.input.holding());
    release_all(h.held());
    EXPECT_EQ(h.take(), Lines{});
}

INSTANTIATE_TEST_SUITE_P(Held, RefusedInput, ::testing::ValuesIn(kHeldCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RefusedInputLog, OneLineWhenInjectionStartsFailingAndOneWhenItWorksAgain) {
    Harness h;
    h.run(key_cmd(1, 4, 1));
    h.run(key_cmd(2, 4, 0));
    EXPECT_EQ(h.switch_log(), Lines{});

    h.os->refuseInput(true);
    h.run(key_cmd(3, 4, 1));
    h.run(scroll_cmd(4, 0, 1));
    h.run(move_cmd(5, 10, 0));
    h.run(code_cmd(InputKind::EditShortcut, 6, 1));  // Ctrl+C
    release_all(h.held());
    EXPECT_EQ(h.switch_log(), Lines{"input injection refused"});

    h.os->refuseInput(false);
    h.run(key_cmd(7, 4, 1));
    h.run(key_cmd(8, 4, 0));
    h.run(scroll_cmd(9, 0, 1));
    EXPECT_EQ(h.switch_log(), (Lines{"input injection refused", "input injection works again"}));
}

}  // namespace
}  // namespace hp::commands::testing
