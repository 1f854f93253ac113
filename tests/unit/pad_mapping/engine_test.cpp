// The keyboard/mouse mapping engine: pressed tests, keys-mode hysteresis,
// mouse and scroll velocities, reference counts, modifier orders, wheel
// edges and the reset.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "input/keys.h"
#include "pad_mapping/engine.h"
#include "recording_output.h"

namespace hp::pad_mapping {
namespace {

using testing::RecordingOutput;
using Lines = std::vector<std::string>;

KeyCode key(std::string_view name) { return *input::parseKeyName(name); }

std::int16_t axis(double v) { return static_cast<std::int16_t>(std::lround(v * 32767)); }

// A mapping with every binding and stick off, changed by the test.
PadMapping blank() {
    PadMapping m;
    m.leftStick.mode = StickMode::Off;
    m.rightStick.mode = StickMode::Off;
    m.useMapping = true;
    return m;
}

class Engine : public ::testing::Test {
protected:
    Lines run(const PadState& pad) {
        engine.evaluate(pad, mapping, out);
        return out.take();
    }
    MappingEngine engine;
    PadMapping mapping = blank();
    RecordingOutput out;
};

TEST_F(Engine, TriggerPressesAbove63) {
    mapping.bindings[kLt] = Binding::keyPress(key("z"));
    mapping.bindings[kRt] = Binding::mouse(kMouseLeft);
    PadState pad;
    pad.leftTrigger = 63;
    pad.rightTrigger = 63;
    EXPECT_EQ(run(pad), Lines{});
    pad.leftTrigger = 64;
    pad.rightTrigger = 64;
    EXPECT_EQ(run(pad), (Lines{"down 29", "button down 1"}));
    EXPECT_EQ(run(PadState{}), (Lines{"up 29", "button up 1"}));
}

TEST_F(Engine, ButtonBitsAndDpadValuesPressTheirBindings) {
    for (std::size_t i = 0; i < kButtonCount; ++i)
        mapping.bindings[i] = Binding::keyPress(static_cast<KeyCode>(4 + i));  // a, b, c, ...
    struct Case {
        std::uint16_t buttons;
        std::uint8_t dpad;
        std::uint32_t mask;
    };
    const Case cases[] = {
        {0x001, 0, 1u << kA},       {0x020, 0, 1u << kRb},     {0x040, 0, 1u << kL3},
        {0x080, 0, 1u << kR3},      {0x100, 0, 1u << kStart},  {0x200, 0, 1u << kBack},
        {0x400, 0, 0},  // Guide is not mappable
        {0, 1, 1u << kDpadUp},
        {0, 2, (1u << kDpadUp) | (1u << kDpadRight)},
        {0, 3, 1u << kDpadRight},
        {0, 4, (1u << kDpadDown) | (1u << kDpadRight)},
        {0, 5, 1u << kDpadDown},
        {0, 6, (1u << kDpadDown) | (1u << kDpadLeft)},
        {0, 7, 1u << kDpadLeft},
        {0, 8, (1u << kDpadUp) | (1u << kDpadLeft)},
        {0, 9, 0},
    };
    for (const Case& c : cases) {
        PadState pad;
        pad.buttons = c.buttons;
        pad.dpad = c.dpad;
        run(pad);
        EXPECT_EQ(engine.pressedMask(), c.mask) << c.buttons << " " << int(c.dpad);
        for (std::size_t i = 0; i < kButtonCount; ++i)
            EXPECT_EQ(engine.keyCount(static_cast<KeyCode>(4 + i)), (c.mask >> i) & 1u);
        run(PadState{});
    }
}

// Keys mode with deadzone 0.5: on at the deadzone, held down to 0.4.
TEST_F(Engine, KeysModeHasHysteresis) {
    mapping.leftStick = StickConfig{StickMode::Keys, key("w"), key("s"), key("a"), key("d"), 0.5f, 1.0f, false};
    struct Step {
        double y;
        Lines lines;
        bool up;
    };
    const Step steps[] = {
        {0.45, {}, false}, {0.55, {"down 26"}, true}, {0.45, {}, true}, {0.35, {"up 26"}, false},
        {0.0, {}, false},
    };
    for (const Step& s : steps) {
        PadState pad;
        pad.leftY = axis(s.y);
        EXPECT_EQ(run(pad), s.lines) << s.y;
        EXPECT_EQ(engine.directionActive(0, Direction::Up), s.up) << s.y;
    }
}

TEST_F(Engine, KeysModeAt45DegreesPressesTwoKeysAndSticksUseTheirOwnSlots) {
    mapping.leftStick = StickConfig{StickMode::Keys, key("w"), key("s"), key("a"), key("d"), 0.25f, 1.0f, false};
    mapping.rightStick = StickConfig{StickMode::Keys, key("up"), key("down"), key("left"), key("right"),
                                     0.25f, 1.0f, false};
    PadState pad;
    pad.leftX = axis(0.7);
    pad.leftY = axis(0.7);
    pad.rightX = axis(-1.0);
    pad.rightY = axis(-1.0);
    EXPECT_EQ(run(pad), (Lines{"down 26", "down 7", "down 81", "down 80"}));
    EXPECT_EQ(engine.held(stickSlot(0, Direction::Up)).code, key("w"));
    EXPECT_EQ(engine.held(stickSlot(0, Direction::Right)).code, key("d"));
    EXPECT_EQ(engine.held(stickSlot(1, Direction::Down)).code, key("down"));
    // Straight left on the left stick: up and right let go, left pressed.
    pad.leftX = axis(-1.0);
    pad.leftY = 0;
    EXPECT_EQ(run(pad), (Lines{"up 26", "up 7", "down 4"}));
}

TEST_F(Engine, MouseModeFullyRightMoves1400PixelsPerSecond) {
    mapping.rightStick = StickConfig{StickMode::Mouse, 0, 0, 0, 0, 0.2f, 1.0f, false};
    PadState pad;
    pad.rightX = 32767;
    EXPECT_TRUE(engine.evaluate(pad, mapping, out));
    EXPECT_DOUBLE_EQ(engine.motion().velocities().vx, 1400.0);
    EXPECT_DOUBLE_EQ(engine.motion().velocities().vy, 0.0);
    EXPECT_TRUE(engine.motion().running());

    // About 11 pixels per 8 ms step over a run of steps.
    Instant now{};
    const int steps = 125;
    for (int i = 0; i < steps; ++i) {
        EXPECT_TRUE(engine.motion().step(now, out));
        now += kMotionStep;
    }
    EXPECT_NEAR(out.movedX, 1400.0 * 0.008 * steps, 1.0);
    EXPECT_EQ(out.movedY, 0);
    for (const std::string& line : out.take()) EXPECT_TRUE(line == "move 11 0" || line == "move 12 0") << line;

    // A neutral stick stops the worker.
    EXPECT_FALSE(engine.evaluate(PadState{}, mapping, out));
    EXPECT_FALSE(engine.motion().running());
    EXPECT_FALSE(engine.motion().step(now, out));
}

TEST_F(Engine, MouseAndScrollVelocitiesFollowDeflectionSensitivityAndInversion) {
    mapping.leftStick = StickConfig{StickMode::Mouse, 0, 0, 0, 0, 0.2f, 2.0f, true};
    mapping.rightStick = StickConfig{StickMode::Scroll, 0, 0, 0, 0, 0.2f, 1.0f, false};
    PadState pad;
    pad.leftY = 32767;               // up, inverted: pointer moves down
    pad.rightY = axis(0.6);          // half way between deadzone and edge
    pad.rightX = -32768;             // clamps to -1
    engine.evaluate(pad, mapping, out);
    const Velocities& v = engine.motion().velocities();
    EXPECT_NEAR(v.vy, 2800.0, 1e-9);
    EXPECT_NEAR(v.vx, 0.0, 1e-9);
    const double x = -1.0, y = axis(0.6) / 32767.0, m = std::sqrt(x * x + y * y);
    const double t = std::min((m - 0.2) / 0.8, 1.0);
    EXPECT_NEAR(v.sx, (x / m) * t * 12, 1e-9);
    EXPECT_NEAR(v.sy, (y / m) * t * 12, 1e-9);
    // Inside the deadzone nothing moves.
    pad = PadState{};
    pad.leftX = axis(0.19);
    EXPECT_FALSE(engine.evaluate(pad, mapping, out));
    EXPECT_TRUE(engine.motion().velocities().zero());
}

TEST_F(Engine, MouseMoveBindingsAddTheirSpeed) {
    mapping.bindings[kDpadRight] = Binding::move(Direction::Right, 2.0f);
    mapping.bindings[kDpadUp] = Binding::move(Direction::Up, 9.0f);  // clamped to 5
    PadState pad;
    pad.dpad = 2;  // up-right
    engine.evaluate(pad, mapping, out);
    EXPECT_DOUBLE_EQ(engine.motion().velocities().vx, 1600.0);
    EXPECT_DOUBLE_EQ(engine.motion().velocities().vy, -4000.0);
}

TEST_F(Engine, WheelBindingScrollsOncePerPress) {
    mapping.bindings[kA] = Binding::wheel(Direction::Up, 0);
    mapping.bindings[kB] = Binding::wheel(Direction::Left, 3);
    PadState pad;
    pad.buttons = 1;
    EXPECT_EQ(run(pad), Lines{"wheel 120"});
    EXPECT_EQ(run(pad), Lines{});  // holding does not repeat
    pad.buttons = 3;
    EXPECT_EQ(run(pad), Lines{"hwheel -360"});
    EXPECT_EQ(run(PadState{}), Lines{});
    pad.buttons = 1;
    EXPECT_EQ(run(pad), Lines{"wheel 120"});
}

TEST_F(Engine, TwoBindingsShareAKey) {
    mapping.bindings[kA] = Binding::keyPress(key("w"));
    mapping.leftStick = StickConfig{StickMode::Keys, key("w"), 0, 0, 0, 0.25f, 1.0f, false};
    PadState pad;
    pad.buttons = 1;
    EXPECT_EQ(run(pad), Lines{"down 26"});
    pad.leftY = 32767;
    EXPECT_EQ(run(pad), Lines{});
    EXPECT_EQ(engine.keyCount(key("w")), 2);
    pad.buttons = 0;
    EXPECT_EQ(run(pad), Lines{});  // the stick still holds it
    EXPECT_EQ(run(PadState{}), Lines{"up 26"});
}

TEST_F(Engine, ModifiersPressBeforeAndReleaseAfterTheKey) {
    mapping.bindings[kX] = Binding::keyPress(key("c"), kModCtrl | kModShift);
    mapping.bindings[kY] = Binding::keyPress(key("leftCtrl"));
    PadState pad;
    pad.buttons = 1 << 2;
    EXPECT_EQ(run(pad), (Lines{"down 224", "down 225", "down 6"}));
    EXPECT_EQ(run(PadState{}), (Lines{"up 6", "up 225", "up 224"}));

    // A binding of left Ctrl itself shares the count with the modifier.
    pad.buttons = (1 << 2) | (1 << 3);
    EXPECT_EQ(run(pad), (Lines{"down 224", "down 225", "down 6"}));
    pad.buttons = 1 << 3;
    EXPECT_EQ(run(pad), (Lines{"up 6", "up 225"}));
    EXPECT_EQ(run(PadState{}), Lines{"up 224"});
}

TEST_F(Engine, AllModifiersFollowTheirOrders) {
    mapping.bindings[kA] = Binding::keyPress(key("f5"), kModCtrl | kModShift | kModAlt | kModWin);
    PadState pad;
    pad.buttons = 1;
    EXPECT_EQ(run(pad), (Lines{"down 224", "down 225", "down 226", "down 227", "down 62"}));
    EXPECT_EQ(run(PadState{}), (Lines{"up 62", "up 227", "up 226", "up 225", "up 224"}));
}

TEST_F(Engine, ChangingABindingReleasesTheOldOutputFirst) {
    mapping.bindings[kA] = Binding::keyPress(key("q"));
    PadState pad;
    pad.buttons = 1;
    EXPECT_EQ(run(pad), Lines{"down 20"});
    mapping.bindings[kA] = Binding::mouse(kMouseRight);
    EXPECT_EQ(run(pad), (Lines{"up 20", "button down 2"}));
}

TEST_F(Engine, ResetLetsGoOfEverythingAndStopsMotion) {
    mapping.bindings[kA] = Binding::keyPress(key("c"), kModCtrl);
    mapping.bindings[kB] = Binding::mouse(kMouseLeft);
    mapping.bindings[kX] = Binding::mouse(kMouseLeft);
    mapping.leftStick = StickConfig{StickMode::Keys, key("w"), 0, 0, 0, 0.25f, 1.0f, false};
    mapping.rightStick = StickConfig{StickMode::Mouse, 0, 0, 0, 0, 0.2f, 1.0f, false};
    PadState pad;
    pad.buttons = 0b111;
    pad.leftY = 32767;
    pad.rightX = 32767;
    EXPECT_EQ(run(pad), (Lines{"down 224", "down 6", "button down 1", "down 26"}));
    EXPECT_TRUE(engine.motion().running());

    engine.reset(out);
    EXPECT_EQ(out.take(), (Lines{"up 6", "up 224", "button up 1", "up 26"}));
    EXPECT_EQ(engine.pressedMask(), 0u);
    EXPECT_FALSE(engine.directionActive(0, Direction::Up));
    EXPECT_FALSE(engine.motion().running());
    EXPECT_TRUE(engine.motion().velocities().zero());
    for (std::size_t i = 0; i < kSlotCount; ++i) EXPECT_EQ(engine.held(i), HeldOutput{});
    // Pressing again after the reset starts from nothing.
    EXPECT_EQ(run(pad), (Lines{"down 224", "down 6", "button down 1", "down 26"}));
}

}  // namespace
}  // namespace hp::pad_mapping
