// The key-capture hook's rules, as sequences of keyboard events: what is
// swallowed, what is passed on, and which key (with which modifiers) is
// handed to the window.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "pad_mapping_ui/key_capture.h"

namespace hp::pad_mapping_ui {
namespace {

// Windows virtual keys.
constexpr std::uint16_t kVkLShift = 0xA0, kVkRShift = 0xA1, kVkLCtrl = 0xA2, kVkRCtrl = 0xA3, kVkLAlt = 0xA4,
                        kVkRAlt = 0xA5, kVkLWin = 0x5B, kVkRWin = 0x5C, kVkK = 0x4B, kVkReturn = 0x0D,
                        kVkUnassigned = 0xFF;

// Key codes.
constexpr KeyCode kK = 14, kEnter = 40, kLeftCtrl = 224, kLeftShift = 225, kLeftWin = 227, kRightCtrl = 228,
                  kRightAlt = 230;

enum class Decision { Pass, Swallow };
constexpr auto Pass = Decision::Pass, Swallow = Decision::Swallow;
constexpr auto Down = KeyMessage::KeyDown, Up = KeyMessage::KeyUp, SysDown = KeyMessage::SysKeyDown,
               SysUp = KeyMessage::SysKeyUp, Other = KeyMessage::Other;

struct Step {
    std::uint16_t vk;
    KeyMessage message;
    Decision decision;
    std::optional<CapturedKey> capture = std::nullopt;
    bool injected = false;
};

struct Sequence {
    const char* what;
    std::vector<Step> steps;
};

CapturedKey key(KeyCode code, BindingMods mods = 0) { return {code, mods}; }

TEST(KeyCaptureHook, EventSequences) {
    const Sequence sequences[] = {
        {"Left Shift alone is bound as Left Shift",
         {{kVkLShift, Down, Swallow}, {kVkLShift, Up, Swallow, key(kLeftShift)}}},
        {"a held modifier repeating is still alone",
         {{kVkLShift, Down, Swallow}, {kVkLShift, Down, Swallow}, {kVkLShift, Up, Swallow, key(kLeftShift)}}},
        {"Ctrl+K",
         {{kVkLCtrl, Down, Swallow},
          {kVkK, Down, Swallow, key(kK, 1)},
          {kVkK, Up, Pass},
          {kVkLCtrl, Up, Swallow}}},
        {"right-hand Ctrl, Shift and Alt",
         {{kVkRCtrl, Down, Swallow},
          {kVkRShift, Down, Swallow},
          {kVkRAlt, SysDown, Swallow},
          {kVkK, SysDown, Swallow, key(kK, 1 | 2 | 4)},
          {kVkK, SysUp, Pass},
          {kVkRAlt, SysUp, Swallow},
          {kVkRShift, Up, Swallow},
          {kVkRCtrl, Up, Swallow}}},
        {"Left Win is the Win modifier",
         {{kVkLWin, Down, Swallow}, {kVkK, Down, Swallow, key(kK, 8)}, {kVkK, Up, Pass}, {kVkLWin, Up, Swallow}}},
        {"Alt through the system key messages",
         {{kVkLAlt, SysDown, Swallow},
          {kVkK, SysDown, Swallow, key(kK, 4)},
          {kVkK, SysUp, Pass},
          {kVkLAlt, SysUp, Swallow}}},
        {"lone right-hand modifiers and Left Win",
         {{kVkRCtrl, Down, Swallow},
          {kVkRCtrl, Up, Swallow, key(kRightCtrl)},
          {kVkRAlt, SysDown, Swallow},
          {kVkRAlt, SysUp, Swallow, key(kRightAlt)},
          {kVkLWin, Down, Swallow},
          {kVkLWin, Up, Swallow, key(kLeftWin)}}},
        {"the last modifier released alone is bound, without the one still held",
         {{kVkLCtrl, Down, Swallow},
          {kVkLShift, Down, Swallow},
          {kVkLShift, Up, Swallow, key(kLeftShift)},
          {kVkLCtrl, Up, Swallow}}},
        {"left and right Ctrl share one bit",
         {{kVkLCtrl, Down, Swallow},
          {kVkRCtrl, Down, Swallow},
          {kVkRCtrl, Up, Swallow, key(kRightCtrl)},
          {kVkLCtrl, Up, Pass}}},
        {"a modifier after a captured key is alone again",
         {{kVkLShift, Down, Swallow},
          {kVkK, Down, Swallow, key(kK, 2)},
          {kVkLCtrl, Down, Swallow},
          {kVkLCtrl, Up, Swallow, key(kLeftCtrl)},
          {kVkLShift, Up, Swallow}}},
        {"modifiers are cleared when released",
         {{kVkLCtrl, Down, Swallow},
          {kVkK, Down, Swallow, key(kK, 1)},
          {kVkLCtrl, Up, Swallow},
          {kVkK, Down, Swallow, key(kK)}}},
        {"Right Win is neither a modifier nor a key",
         {{kVkRWin, Down, Pass}, {kVkK, Down, Swallow, key(kK)}, {kVkK, Up, Pass}, {kVkRWin, Up, Pass}}},
        {"injected events are never captured",
         {{kVkK, Down, Pass, std::nullopt, true},
          {kVkLShift, Down, Pass, std::nullopt, true},
          {kVkLShift, Up, Pass, std::nullopt, true},
          {kVkLCtrl, Down, Swallow},
          {kVkLCtrl, Up, Pass, std::nullopt, true},
          {kVkK, Down, Swallow, key(kK, 1)}}},
        {"an injected modifier does not count as held",
         {{kVkLShift, Down, Pass, std::nullopt, true}, {kVkK, Down, Swallow, key(kK)}}},
        {"the release of a modifier not held is passed on",
         {{kVkLCtrl, Up, Pass}, {kVkRAlt, SysUp, Pass}}},
        {"Enter", {{kVkReturn, Down, Swallow, key(kEnter)}, {kVkReturn, Up, Pass}}},
        {"Shift+Enter", {{kVkRShift, Down, Swallow}, {kVkReturn, Down, Swallow, key(kEnter, 2)}}},
        {"a virtual key without a key code", {{kVkUnassigned, Down, Pass}, {kVkUnassigned, Up, Pass}}},
        {"other messages of modifiers are swallowed",
         {{kVkLShift, Other, Swallow}, {kVkRAlt, Other, Swallow}, {kVkK, Down, Swallow, key(kK)}}},
        {"a key up alone is passed", {{kVkK, Up, Pass}}},
    };
    for (const Sequence& s : sequences) {
        SCOPED_TRACE(s.what);
        CaptureHookState state;
        int n = 0;
        for (const Step& step : s.steps) {
            SCOPED_TRACE(testing::Message() << "event " << n++);
            const HookDecision d = on_key_event(state, step.vk, step.message, step.injected);
            EXPECT_EQ(d.swallow, step.decision == Swallow);
            ASSERT_EQ(d.capture.has_value(), step.capture.has_value());
            if (step.capture) {
                EXPECT_EQ(d.capture->key, step.capture->key);
                EXPECT_EQ(d.capture->mods, step.capture->mods);
            }
        }
    }
}

TEST(KeyCaptureHook, AllModifiersReleasedLeaveNothingHeld) {
    CaptureHookState state;
    for (const std::uint16_t vk : {kVkLCtrl, kVkRShift, kVkLAlt, kVkLWin}) on_key_event(state, vk, Down, false);
    EXPECT_EQ(state.held, 1 | 2 | 4 | 8);
    for (const std::uint16_t vk : {kVkLWin, kVkLAlt, kVkRShift, kVkLCtrl}) on_key_event(state, vk, Up, false);
    EXPECT_EQ(state.held, 0);
}

TEST(KeyCaptureHook, TheWindowMessage) { EXPECT_EQ(WM_KEY_CAPTURED, 0x8028u); }

}  // namespace
}  // namespace hp::pad_mapping_ui
