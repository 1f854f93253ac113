#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "harness.h"

namespace hp::commands::testing {
namespace {

// ---------------------------------------------------------------- replay

struct ReplayCase {
    const char* name;
    std::vector<std::uint64_t> seqs;
    std::vector<bool> accepted;
};

class ReplayWindowTest : public ::testing::TestWithParam<ReplayCase> {};

TEST_P(ReplayWindowTest, AcceptsEachSequenceOnceWithinTheWindow) {
    const auto& p = GetParam();
    Harness h;
    for (std::size_t i = 0; i < p.seqs.size(); ++i) {
        h.run(scroll_cmd(p.seqs[i], 0, 1));  // an accepted scroll sends "wheel 5"
        EXPECT_EQ(h.take(), p.accepted[i] ? Lines{"wheel 5"} : Lines{})
            << "seq " << p.seqs[i] << " (#" << i << ")";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplayWindowTest,
    ::testing::Values(
        ReplayCase{"SeqZeroDropped", {0}, {false}},
        ReplayCase{"RepeatDropped", {5, 5}, {true, false}},
        ReplayCase{"OlderInWindowAcceptedOnce", {20, 15, 15}, {true, true, false}},
        ReplayCase{"Below511AcceptedOnce", {1000, 489, 489}, {true, true, false}},
        ReplayCase{"Below512Dropped", {1000, 488}, {true, false}},
        // 522 shares bit 10 with seq 10; the jump of 517 must have cleared it.
        ReplayCase{"JumpOf512OrMoreClears", {10, 527, 522}, {true, true, true}},
        // A smaller advance clears just the bits it passes (301..530 holds 522).
        ReplayCase{"AdvanceClearsPassedBits", {10, 300, 530, 522}, {true, true, true, true}},
        ReplayCase{"HugeSequence", {std::numeric_limits<std::uint64_t>::max(), 5},
                   {true, false}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Executor, UnknownSessionIsIgnoredEntirely) {
    Harness h;
    h.run(scroll_cmd(1, 0, 1), h.t0, 42);
    EXPECT_TRUE(h.lines().empty());
    EXPECT_FALSE(h.state.input.activeClient.has_value());
    EXPECT_FALSE(h.state.input.lastInputAt.has_value());
}

// ---------------------------------------------------------------- pointer

TEST(Executor, SubPixelMotionCarriesOver) {
    Harness h;
    h.run(move_cmd(1, 0.4f, 0));
    h.run(move_cmd(2, 0.4f, 0));
    EXPECT_EQ(h.take(), (Lines{"keepAwake"}));
    EXPECT_NEAR(h.state.input.moveRemainderX, 0.8f, 1e-6);
    h.run(move_cmd(3, 0.4f, 0));
    EXPECT_EQ(h.take(), (Lines{"move 1 0"}));
    EXPECT_NEAR(h.state.input.moveRemainderX, 0.2f, 1e-6);
}

TEST(Executor, MotionIsClampedAndNonFiniteIgnored) {
    struct Case {
        float dx, dy;
        Lines want;
    };
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {50000, 0, {"move 20000 0"}},
        {-50000, 3.5f, {"move -20000 3"}},
        {nan, 5, {}},
        {5, inf, {}},
        {-inf, 5, {}},
        {-2.75f, 0, {"move -2 0"}},
    };
    for (const auto& c : cases) {
        Harness h;
        h.state.input.lastMoveAt = h.t0;  // keep-awake is not under test
        h.run(move_cmd(1, c.dx, c.dy));
        EXPECT_EQ(h.lines(), c.want) << c.dx << "," << c.dy;
    }
}

TEST(Executor, MotionOutOfOrderIsIgnoredButCountsAsInput) {
    Harness h;
    h.state.input.lastMoveAt = h.t0;
    h.run(move_cmd(5, 3, 0));
    h.run(move_cmd(4, 7, 0), h.t0 + 1s);
    EXPECT_EQ(h.lines(), (Lines{"move 3 0"}));
    EXPECT_EQ(h.state.input.lastInputAt, h.t0 + 1s);
}

TEST(Executor, KeepAwakeOnFirstMoveAndAfterThirtySecondsWithoutMotion) {
    struct Step {
        Instant::duration at;
        bool keepAwake;
    };
    const Step steps[] = {{0s, true}, {10s, false}, {40s, false} /* exactly 30 s */, {71s, true}};
    Harness h;
    std::uint64_t seq = 1;
    for (const auto& s : steps) {
        h.run(move_cmd(seq++, 1, 0), h.t0 + s.at);
        const Lines want = s.keepAwake ? Lines{"keepAwake", "move 1 0"} : Lines{"move 1 0"};
        EXPECT_EQ(h.take(), want) << "at " << std::chrono::duration<double>(s.at).count();
    }
}

TEST(Executor, BatchingSumsMotionIntoOneMoveOnFlush) {
    Harness h;
    h.state.input.lastMoveAt = h.t0;
    h.state.input.batching = true;
    h.run(move_cmd(1, 3, 1));
    h.run(move_cmd(2, 4, -2));
    h.run(move_cmd(3, 20000, 0));
    EXPECT_TRUE(h.lines().empty());
    h.state.input.batching = false;
    flush_pending_motion(h.held());
    flush_pending_motion(h.held());  // nothing left
    EXPECT_EQ(h.lines(), (Lines{"move 20007 -1"}));
}

TEST(Executor, PendingMotionSaturatesAndIsFlushedBeforeOtherKinds) {
    Harness h;
    set_active_client(h.held(), 1);  // taking control would flush on its own
    h.state.input.lastMoveAt = h.t0;
    h.state.input.batching = true;
    h.state.input.pendingMotionX = std::numeric_limits<std::int32_t>::max() - 5;
    h.run(move_cmd(1, 100, 0));
    h.run(scroll_cmd(2, 0, 1));
    EXPECT_EQ(h.lines(), (Lines{"move 2147483647 0", "wheel 5"}));
}

// ---------------------------------------------------------------- scroll

TEST(Executor, ScrollScalesAndRoundsHalfAwayFromZero) {
    struct Case {
        float x, y;
        Lines want;
    };
    const Case cases[] = {
        {0, 1, {"wheel 5"}},  // 4.5 rounds away from zero
        {1, 0, {"hwheel -5"}},
        {0, 0.1f, {}},  // 0.45 rounds to 0
        {0, -0.5f, {"wheel -2"}},
        {0, -1, {"wheel -5"}},
        {-1, 2, {"wheel 9", "hwheel 5"}},
        {std::numeric_limits<float>::quiet_NaN(), 2, {"wheel 9"}},
        {0, 1e30f, {"wheel 2147483647"}},
        {1e30f, 0, {"hwheel -2147483648"}},
    };
    for (const auto& c : cases) {
        Harness h;
        h.run(scroll_cmd(1, c.x, c.y));
        EXPECT_EQ(h.lines(), c.want) << c.x << "," << c.y;
    }
}

// ---------------------------------------------------------------- keys

TEST(Executor, KeyWithModifierPressesAndReleasesTheModifierAroundIt) {
    Harness h;
    h.run(key_cmd(1, 4, 1, kCtrl));
    h.run(key_cmd(2, 4, 0, kCtrl));
    EXPECT_EQ(h.lines(), (Lines{"key 0xA2 down", "key 0x41 down", "key 0x41 up", "key 0xA2 up"}));
    EXPECT_EQ(h.state.input.heldModifiers, 0);
    EXPECT_TRUE(h.state.input.heldKeys.empty());
    EXPECT_TRUE(h.state.input.extraModifiers.empty());
}

TEST(Executor, KeyUnderHeldModifierSetAddsNoExtraModifier) {
    Harness h;
    h.run(code_cmd(InputKind::ModifierSet, 1, kCtrl));
    h.run(key_cmd(2, 4, 1, kCtrl));
    h.run(key_cmd(3, 4, 0, kCtrl));
    EXPECT_EQ(h.lines(), (Lines{"key 0xA2 down", "key 0x41 down", "key 0x41 up"}));
    EXPECT_EQ(h.state.input.heldModifiers, kCtrl);
    h.os->clear();
    h.run(code_cmd(InputKind::ModifierSet, 4, 0));
    EXPECT_EQ(h.lines(), (Lines{"key 0xA2 up"}));
}

TEST(Executor, LeftCtrlKeyCountsAsHeldCtrlForAClick) {
    Harness h;
    h.run(key_cmd(1, 224, 1));
    h.run(button_cmd(2, 1, true, kCtrl));
    h.run(button_cmd(3, 1, false));
    EXPECT_EQ(h.lines(), (Lines{"key 0xA2 down", "button 1 down", "button 1 up"}));
    EXPECT_EQ(h.state.input.heldModifiers, kCtrl);
    h.os->clear();
    h.run(key_cmd(4, 224, 0));
    EXPECT_EQ(h.lines(), (Lines{"key 0xA2 up"}));
    EXPECT_EQ(h.state.input.heldModifiers, 0);
}

TEST(Executor, ClickWithModifiersReleasesThemWithTheButton) {
    Harness h;
    h.run(button_cmd(1, 3, true, kShift | kWin | 0xF0));
    h.run(button_cmd(2, 3, false));
    EXPECT_EQ(h.lines(), (Lines{"key 0xA0 down", "key 0x5B down", "button 3 down", "button 3 up",
                                "key 0x5B up", "key 0xA0 up"}));
    EXPECT_EQ(h.state.input.heldButtons, 0);
}

TEST(Executor, KeysWithoutRecordAndOddActionsDoNothing) {
    Harness h;
    h.run(key_cmd(1, 50, 1));   // no record
    h.run(key_cmd(2, 231, 1));  // right Win: no record
    h.run(key_cmd(3, 4, 3));    // unknown action
    h.run(button_cmd(4, 4, true));
    EXPECT_TRUE(h.lines().empty());
    EXPECT_EQ(h.state.input.lastInputAt, h.t0);
}

TEST(Executor, RepeatedKeyDownSendsAnotherDown) {
    Harness h;
    h.run(key_cmd(1, 4, 1));
    h.run(key_cmd(2, 4, 2));
    EXPECT_EQ(h.lines(), (Lines{"key 0x41 down", "key 0x41 down"}));
    EXPECT_EQ(h.state.input.heldKeys, std::set<KeyCode>{4});
}

TEST(Executor, KeyEventsCarryScanCodeAndExtendedFlag) {
    Harness h;
    h.run(key_cmd(1, 70, 1));
    h.run(key_cmd(2, 85, 1));
    const auto calls = h.os->calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].key, (KeyRecord{0x2C, 0x37, true}));
    EXPECT_EQ(calls[1].key, (KeyRecord{0x6A, 0x37, false}));
}

// ---------------------------------------------------------------- pinch zoom

TEST(Executor, PinchZoomHoldsCtrlForTheGestureAndScrolls) {
    Harness h;
    h.run(pinch_cmd(1, 1, 0), h.t0);
    h.run(pinch_cmd(2, 2, 0.01f), h.t0 + 50ms);
    h.run(pinch_cmd(3, 2, -0.0001f), h.t0 + 60ms);  // rounds to 0: no wheel
    h.run(pinch_cmd(4, 3, 0), h.t0 + 100ms);
    h.run(pinch_cmd(5, 3, 0), h.t0 + 110ms);  // nothing left to release
    EXPECT_EQ(h.lines(), (Lines{"key 0xA2 down", "wheel 6", "key 0xA2 up"}));
    EXPECT_FALSE(h.state.input.zoomCtrlHeld);
    EXPECT_FALSE(h.state.input.gestureAt.has_value());
}

TEST(Executor, PinchZoomContinueBeginsWhenNoBegin) {
    Harness h;
    h.run(pinch_cmd(1, 2, -0.5f));
    EXPECT_EQ(h.lines(), (Lines{"key 0xA2 down", "wheel -300"}));
    EXPECT_TRUE(h.state.input.zoomCtrlHeld);
}

TEST(Executor, PinchZoomUnderClientCtrlPressesNoCtrl) {
    Harness h;
    h.run(code_cmd(InputKind::ModifierSet, 1, kCtrl));
    h.run(pinch_cmd(2, 1, 0));
    h.run(pinch_cmd(3, 2, 0.1f));
    h.run(pinch_cmd(4, 5, 0));
    EXPECT_EQ(h.lines(), (Lines{"key 0xA2 down", "wheel 60"}));
    EXPECT_FALSE(h.state.input.zoomCtrlHeld);
}

TEST(Executor, WatchdogReleasesIdleZoomCtrlAfter250ms) {
    Harness h;
    h.run(pinch_cmd(1, 1, 0), h.t0);
    h.run(pinch_cmd(2, 4, 0), h.t0 + 100ms);  // other phase: only refreshes gestureAt
    h.os->clear();
    watchdog_tick(h.held(), h.t0 + 350ms);  // exactly 250 ms
    EXPECT_TRUE(h.lines().empty());
    watchdog_tick(h.held(), h.t0 + 351ms);
    EXPECT_EQ(h.lines(), (Lines{"key 0xA2 up"}));
    EXPECT_FALSE(h.state.input.zoomCtrlHeld);
    EXPECT_FALSE(h.state.input.gestureAt.has_value());
}

// ---------------------------------------------------------------- shortcuts

TEST(Executor, ShortcutsAndMediaKeys) {
    struct Case {
        InputKind kind;
        std::uint8_t code;
        Lines want;
    };
    const Case cases[] = {
        {InputKind::DesktopShortcut, 1, {"key 0x5B down", "key 0x09 down", "key 0x09 up", "key 0x5B up"}},
        {InputKind::DesktopShortcut, 3,
         {"key 0xA2 down", "key 0x5B down", "key 0x27 down", "key 0x27 up", "key 0x5B up",
          "key 0xA2 up"}},
        {InputKind::DesktopShortcut, 5, {}},
        {InputKind::EditShortcut, 2, {"key 0xA2 down", "key 0x56 down", "key 0x56 up", "key 0xA2 up"}},
        {InputKind::EditShortcut, 7, {"key 0xA2 down", "key 0x46 down", "key 0x46 up", "key 0xA2 up"}},
        {InputKind::EditShortcut, 8, {"lock"}},
        {InputKind::EditShortcut, 10, {}},
        {InputKind::MediaKey, 1, {"key 0xAF down", "key 0xAF up"}},
        {InputKind::MediaKey, 6, {"key 0xB1 down", "key 0xB1 up"}},
        {InputKind::MediaKey, 7, {"brightness up"}},
        {InputKind::MediaKey, 8, {"brightness down"}},
        {InputKind::MediaKey, 9, {}},
    };
    for (const auto& c : cases) {
        Harness h;
        h.run(code_cmd(c.kind, 1, c.code));
        EXPECT_EQ(h.lines(), c.want) << int(c.kind) << "/" << int(c.code);
        EXPECT_EQ(h.state.input.heldModifiers, 0);
    }
}

// On GNOME and KDE the desktop shortcuts press those desktops' keys; Other
// keeps Windows' (the table above).
TEST(Executor, DesktopShortcutsOfGnomeAndKde) {
    struct Case {
        host::DesktopStyle style;
        std::uint8_t code;
        Lines want;
    };
    const Case cases[] = {
        {host::DesktopStyle::Gnome, 1, {"key 0x5B down", "key 0x53 down", "key 0x53 up", "key 0x5B up"}},
        {host::DesktopStyle::Gnome, 2, {"key 0x5B down", "key 0x44 down", "key 0x44 up", "key 0x5B up"}},
        {host::DesktopStyle::Gnome, 3,
         {"key 0xA2 down", "key 0xA4 down", "key 0x27 down", "key 0x27 up", "key 0xA4 up", "key 0xA2 up"}},
        {host::DesktopStyle::Gnome, 4,
         {"key 0xA2 down", "key 0xA4 down", "key 0x25 down", "key 0x25 up", "key 0xA4 up", "key 0xA2 up"}},
        {host::DesktopStyle::Gnome, 5, {}},
        {host::DesktopStyle::Kde, 1, {"key 0x5B down", "key 0x57 down", "key 0x57 up", "key 0x5B up"}},
        {host::DesktopStyle::Kde, 2, {"key 0x5B down", "key 0x44 down", "key 0x44 up", "key 0x5B up"}},
        {host::DesktopStyle::Kde, 3,
         {"key 0xA2 down", "key 0x5B down", "key 0x27 down", "key 0x27 up", "key 0x5B up", "key 0xA2 up"}},
        {host::DesktopStyle::Kde, 4,
         {"key 0xA2 down", "key 0x5B down", "key 0x25 down", "key 0x25 up", "key 0x5B up", "key 0xA2 up"}},
        {host::DesktopStyle::Other, 1, {"key 0x5B down", "key 0x09 down", "key 0x09 up", "key 0x5B up"}},
    };
    for (const auto& c : cases) {
        Harness h;
        h.state.input.desktopStyle = c.style;
        h.run(code_cmd(InputKind::DesktopShortcut, 1, c.code));
        EXPECT_EQ(h.lines(), c.want) << int(c.style) << "/" << int(c.code);
        EXPECT_EQ(h.state.input.heldModifiers, 0);
    }
}

TEST(Executor, MediaKeysUseScanCodeZeroAndShortcutKeysTheirOwn) {
    Harness h;
    h.run(code_cmd(InputKind::MediaKey, 1, 1));
    h.run(code_cmd(InputKind::DesktopShortcut, 2, 4));
    const auto calls = h.os->calls();
    ASSERT_EQ(calls.size(), 8u);
    EXPECT_EQ(calls[0].key, (KeyRecord{0xAF, 0, false}));
    EXPECT_TRUE(calls[0].down);
    EXPECT_EQ(calls[1].key, (KeyRecord{0xAF, 0, false}));
    EXPECT_FALSE(calls[1].down);
    EXPECT_EQ(calls[3].key, (KeyRecord{0x5B, 0x5B, true}));  // left Win
    EXPECT_EQ(calls[4].key, (KeyRecord{0x25, 0x4B, true}));  // Left arrow
}

TEST(Executor, ComboKeepsModifiersTheClientHolds) {
    Harness h;
    h.run(code_cmd(InputKind::ModifierSet, 1, kCtrl | kShift));
    h.os->clear();
    h.run(code_cmd(InputKind::DesktopShortcut, 2, 3));  // Ctrl+Win+Right
    EXPECT_EQ(h.lines(), (Lines{"key 0x5B down", "key 0x27 down", "key 0x27 up", "key 0x5B up"}));
    EXPECT_EQ(h.state.input.heldModifiers, kCtrl | kShift);
}

TEST(Executor, ModifierSetPressesInOrderAndReleasesInReverse) {
    Harness h;
    h.run(code_cmd(InputKind::ModifierSet, 1, 0xFF));
    h.run(code_cmd(InputKind::ModifierSet, 2, kAlt));
    EXPECT_EQ(h.lines(), (Lines{"key 0xA0 down", "key 0xA2 down", "key 0xA4 down", "key 0x5B down",
                                "key 0x5B up", "key 0xA2 up", "key 0xA0 up"}));
    EXPECT_EQ(h.state.input.heldModifiers, kAlt);
}

}  // namespace
}  // namespace hp::commands::testing
