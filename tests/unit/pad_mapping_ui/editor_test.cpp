// The mapping window's model: the texts and drop-down positions of
// bindings, what each command does to the copy being edited, key capture,
// the trackbars, the enabled states, the output explanation and mappings
// installed by the tray while the window is open.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "pad_mapping_ui/mapping_editor.h"

namespace hp::pad_mapping_ui {
namespace {

using pad_mapping::Direction;
using pad_mapping::kModAlt;
using pad_mapping::kModCtrl;
using pad_mapping::kModShift;
using pad_mapping::kModWin;
using pad_mapping::Preset;
using pad_mapping::presetMapping;
using Next = MappingEditor::Next;
using Target = CaptureTarget;

// Key codes (USB usages) with their display labels.
constexpr KeyCode kK = 14, kW = 26, kEnter = 40, kLeftShift = 225;

PadMapping shooter(bool useMapping = false) {
    PadMapping m = presetMapping(Preset::Shooter);
    m.useMapping = useMapping;
    return m;
}

PadMapping with(PadMapping m, const std::function<void(PadMapping&)>& change) {
    change(m);
    return m;
}

// Shooter, keyboard/mouse output, row 4 (LB) changed as given.
PadMapping lb_is(const Binding& b) {
    return with(shooter(true), [&](PadMapping& m) {
        m.bindings[4] = b;
        m.preset = Preset::Custom;
    });
}

// ---------------------------------------------------------------- texts

TEST(BindingText, EveryKindOfBinding) {
    struct Case {
        Binding binding;
        const char* text;
    };
    const Case cases[] = {
        {Binding::none(), "Nothing"},
        {Binding::keyPress(kK), "K"},
        {Binding::keyPress(kK, kModCtrl), "Ctrl+K"},
        {Binding::keyPress(kK, kModShift), "Shift+K"},
        {Binding::keyPress(kK, kModAlt), "Alt+K"},
        {Binding::keyPress(kK, kModWin), "Win+K"},
        {Binding::keyPress(kK, kModCtrl | kModAlt), "Ctrl+Alt+K"},
        {Binding::keyPress(kK, kModShift | kModWin), "Shift+Win+K"},
        {Binding::keyPress(kK, kModWin | kModAlt | kModShift), "Shift+Alt+Win+K"},
        {Binding::keyPress(kK, kModCtrl | kModShift | kModAlt | kModWin), "Ctrl+Shift+Alt+Win+K"},
        {Binding::keyPress(kEnter, kModShift), "Shift+Enter"},
        {Binding::keyPress(kLeftShift), "Left Shift"},
        {Binding::keyPress(50), "?"},
        {Binding::keyPress(71, kModCtrl), "Ctrl+?"},
        {Binding::mouse(1), "Left mouse"},
        {Binding::mouse(2), "Right mouse"},
        {Binding::mouse(3), "Middle mouse"},
        {Binding::mouse(7), "Mouse ?"},
        {Binding::move(Direction::Up, 1.0f), "Move mouse up"},
        {Binding::move(Direction::Down, 2.5f), "Move mouse down"},
        {Binding::move(Direction::Left, 0.1f), "Move mouse left"},
        {Binding::move(Direction::Right, 5.0f), "Move mouse right"},
        {Binding::wheel(Direction::Up, 1), "Wheel up"},
        {Binding::wheel(Direction::Up, 3), "Wheel up x3"},
        {Binding::wheel(Direction::Down, 1), "Wheel down"},
        {Binding::wheel(Direction::Left, 2), "Wheel left x2"},
        {Binding::wheel(Direction::Right, 10), "Wheel right x10"},
    };
    for (const Case& c : cases) EXPECT_EQ(binding_text(c.binding), c.text);
}

TEST(BindingText, ActionChoiceOfEveryKind) {
    struct Case {
        Binding binding;
        int choice;
    };
    const Case cases[] = {
        {Binding::keyPress(kK), 0},
        {Binding::keyPress(kK, kModCtrl | kModAlt), 0},
        {Binding::mouse(1), 1},
        {Binding::mouse(2), 2},
        {Binding::mouse(3), 3},
        {Binding::wheel(Direction::Up, 1), 4},
        {Binding::wheel(Direction::Down, 3), 5},
        {Binding::wheel(Direction::Left, 1), 6},
        {Binding::wheel(Direction::Right, 1), 7},
        {Binding::move(Direction::Up, 1.0f), 8},
        {Binding::move(Direction::Down, 2.0f), 9},
        {Binding::move(Direction::Left, 1.0f), 10},
        {Binding::move(Direction::Right, 0.5f), 11},
        {Binding::none(), 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(binding_text(c.binding));
        EXPECT_EQ(action_choice(c.binding), c.choice);
    }
}

TEST(OutputExplanation, EachOutputAndDriverState) {
    const std::string mapping = "Controller input is turned into the keys and mouse actions below.";
    const std::string pad =
        "Games see a virtual Xbox 360-style controller. The mapping below is used only in keyboard / mouse mode.";
    const std::string missing =
        "ViGEmBus driver not installed, so the keyboard / mouse mapping below is used. See docs/GAMEPAD.md.";
    struct Case {
        bool useMapping, vigemFound;
        const std::string& text;
        int output;
    };
    const Case cases[] = {
        {true, true, mapping, 1}, {true, false, mapping, 1}, {false, true, pad, 0}, {false, false, missing, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "useMapping " << c.useMapping << " vigem " << c.vigemFound);
        EXPECT_EQ(output_explanation(c.useMapping, c.vigemFound), c.text);
        const EditorView v = MappingEditor(shooter(c.useMapping), c.vigemFound).view();
        EXPECT_EQ(v.explanation, c.text);
        EXPECT_EQ(v.output, c.output);
    }
}

TEST(EditorView, ShowsTheMappingItWasOpenedWith) {
    const EditorView v = MappingEditor(shooter(), true).view();
    // Shooter: A Space, LT right mouse, RT left mouse, L3 Left Shift.
    EXPECT_EQ(v.rows[0].value, "Space");
    EXPECT_EQ(v.rows[0].action, 0);
    EXPECT_EQ(v.rows[6].value, "Right mouse");
    EXPECT_EQ(v.rows[6].action, 2);
    EXPECT_EQ(v.rows[7].action, 1);
    EXPECT_EQ(v.rows[10].value, "Left Shift");
    for (const RowView& row : v.rows) EXPECT_EQ(row.changeText, "Change...");
    EXPECT_EQ(v.sticks[0].mode, 0);  // keys
    EXPECT_EQ(v.sticks[1].mode, 1);  // mouse
    EXPECT_EQ(v.preset, 0);
    EXPECT_FALSE(v.saveEnabled);
}

// ------------------------------------------------------------- commands

struct CommandCase {
    const char* what;
    PadMapping start;
    int id, code, value;
    PadMapping expected;
    Target capture = Target::none();
};

TEST(EditorCommand, EffectOnTheWorkingCopy) {
    const auto custom = [](PadMapping m, const std::function<void(PadMapping&)>& change) {
        change(m);
        m.preset = Preset::Custom;
        return m;
    };
    const PadMapping s = shooter(true);
    const PadMapping edited = lb_is(Binding::mouse(3));
    const auto preset_keeping_output = [](Preset p, bool useMapping) {
        PadMapping m = presetMapping(p);
        m.useMapping = useMapping;
        return m;
    };
    const int sel = kSelectionChanged, click = kClicked;
    const CommandCase cases[] = {
        // Row drop-downs.
        {"A: left mouse", s, 102, sel, 1, custom(s, [](auto& m) { m.bindings[0] = Binding::mouse(1); })},
        {"B: right mouse", s, 106, sel, 2, custom(s, [](auto& m) { m.bindings[1] = Binding::mouse(2); })},
        {"X: middle mouse", s, 110, sel, 3, custom(s, [](auto& m) { m.bindings[2] = Binding::mouse(3); })},
        {"A: wheel up", s, 102, sel, 4,
         custom(s, [](auto& m) { m.bindings[0] = Binding::wheel(Direction::Up, 1); })},
        {"A: wheel down", s, 102, sel, 5,
         custom(s, [](auto& m) { m.bindings[0] = Binding::wheel(Direction::Down, 1); })},
        {"A: wheel left", s, 102, sel, 6,
         custom(s, [](auto& m) { m.bindings[0] = Binding::wheel(Direction::Left, 1); })},
        {"D-pad right: wheel right", s, 162, sel, 7,
         custom(s, [](auto& m) { m.bindings[15] = Binding::wheel(Direction::Right, 1); })},
        {"wheel x3 to the same direction: amount 1", lb_is(Binding::wheel(Direction::Left, 3)), 118, sel, 6,
         lb_is(Binding::wheel(Direction::Left, 1))},
        {"A: move up at speed 1", s, 102, sel, 8,
         custom(s, [](auto& m) { m.bindings[0] = Binding::move(Direction::Up, 1.0f); })},
        {"Y: move right at speed 1", s, 114, sel, 11,
         custom(s, [](auto& m) { m.bindings[3] = Binding::move(Direction::Right, 1.0f); })},
        {"move left to move up keeps the speed", lb_is(Binding::move(Direction::Left, 2.5f)), 118, sel, 8,
         lb_is(Binding::move(Direction::Up, 2.5f))},
        {"move left to move right keeps the speed", lb_is(Binding::move(Direction::Left, 0.3f)), 118, sel, 11,
         lb_is(Binding::move(Direction::Right, 0.3f))},
        {"wheel to move: speed 1", lb_is(Binding::wheel(Direction::Left, 3)), 118, sel, 9,
         lb_is(Binding::move(Direction::Down, 1.0f))},
        {"L3: nothing", s, 142, sel, 12, custom(s, [](auto& m) { m.bindings[10] = Binding::none(); })},
        // Choices that give the binding the row has already.
        {"LT already right mouse", s, 126, sel, 2, s},
        {"move left again keeps everything", lb_is(Binding::move(Direction::Left, 2.5f)), 118, sel, 10,
         lb_is(Binding::move(Direction::Left, 2.5f))},
        {"nothing again", lb_is(Binding::none()), 118, sel, 12, lb_is(Binding::none())},
        // Keyboard key: a key comes only from the keyboard.
        {"key on a mouse row waits for a key", s, 126, sel, 0, s, Target::for_row(6)},
        {"key on a row that has one", s, 102, sel, 0, s},
        // Presets keep the output.
        {"preset arrows", edited, 301, sel, 1, preset_keeping_output(Preset::Arrows, true)},
        {"preset mouse only", edited, 301, sel, 2, preset_keeping_output(Preset::MouseOnly, true)},
        {"preset twin stick", edited, 301, sel, 3, preset_keeping_output(Preset::TwinStick, true)},
        {"preset shooter on the virtual pad", with(edited, [](auto& m) { m.useMapping = false; }), 301, sel, 0,
         shooter(false)},
        {"preset Custom does nothing", edited, 301, sel, 4, edited},
        {"reset to defaults", with(presetMapping(Preset::TwinStick), [](auto& m) { m.useMapping = true; }), 302,
         click, 0, shooter(true)},
        // Output.
        {"output mapping", shooter(false), 300, sel, 1, shooter(true)},
        {"output virtual pad", edited, 300, sel, 0, with(edited, [](auto& m) { m.useMapping = false; })},
        // Sticks.
        {"left stick keys", with(s, [](auto& m) { m.leftStick.mode = pad_mapping::StickMode::Off; }), 200, sel, 0,
         custom(s, [](auto&) {})},
        {"left stick mouse", s, 200, sel, 1, custom(s, [](auto& m) { m.leftStick.mode = StickMode::Mouse; })},
        {"left stick scroll", s, 200, sel, 2, custom(s, [](auto& m) { m.leftStick.mode = StickMode::Scroll; })},
        {"right stick off", s, 220, sel, 3, custom(s, [](auto& m) { m.rightStick.mode = StickMode::Off; })},
        {"right stick keys", s, 220, sel, 0, custom(s, [](auto& m) { m.rightStick.mode = StickMode::Keys; })},
        {"invert left", s, 209, click, 1, custom(s, [](auto& m) { m.leftStick.invertY = true; })},
        {"uninvert right", with(s, [](auto& m) { m.rightStick.invertY = true; }), 229, click, 0,
         custom(s, [](auto&) {})},
    };
    for (const CommandCase& c : cases) {
        SCOPED_TRACE(c.what);
        MappingEditor editor(c.start, true);
        EXPECT_EQ(editor.command(c.id, c.code, c.value), Next::Refresh);
        EXPECT_TRUE(editor.working() == c.expected);
        EXPECT_TRUE(editor.saved() == c.start);
        EXPECT_EQ(editor.capture(), c.capture);
        const EditorView v = editor.view();
        EXPECT_EQ(v.preset, static_cast<int>(c.expected.preset));
        EXPECT_EQ(v.saveEnabled, !(c.expected == c.start));
    }
}

TEST(EditorCommand, AChangeShowsCustomAndEnablesSave) {
    MappingEditor editor(shooter(), true);
    editor.command(row_action_id(0), kSelectionChanged, 1);
    EditorView v = editor.view();
    EXPECT_EQ(v.rows[0].value, "Left mouse");
    EXPECT_EQ(v.rows[0].action, 1);
    EXPECT_EQ(v.preset, 4);
    EXPECT_TRUE(v.saveEnabled);
    // The same preset chosen again is that preset, and equals what is saved.
    editor.command(kPresetId, kSelectionChanged, 0);
    v = editor.view();
    EXPECT_EQ(v.preset, 0);
    EXPECT_EQ(v.rows[0].value, "Space");
    EXPECT_FALSE(v.saveEnabled);
    EXPECT_TRUE(editor.working() == editor.saved());
}

TEST(EditorCommand, APresetThatDiffersFromTheSavedOneIsShownAndSaveable) {
    MappingEditor editor(shooter(true), false);
    editor.command(kPresetId, kSelectionChanged, 2);
    const EditorView v = editor.view();
    EXPECT_EQ(v.preset, 2);
    EXPECT_EQ(v.output, 1);
    EXPECT_TRUE(v.saveEnabled);
    EXPECT_EQ(v.rows[0].value, "Left mouse");  // mouse only: A is the left button
}

TEST(EditorCommand, CloseAndSave) {
    struct Case {
        int id, code;
        Next next;
    };
    const Case cases[] = {
        {kCloseId, kClicked, Next::Close}, {kCancelId, kClicked, Next::Close}, {kSaveId, kClicked, Next::Save}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        MappingEditor editor(shooter(), true);
        editor.command(row_action_id(2), kSelectionChanged, 12);
        const PadMapping before = editor.working();
        EXPECT_EQ(editor.command(c.id, c.code, 0), c.next);
        EXPECT_TRUE(editor.working() == before);  // the window saves or closes, the copies stay
        EXPECT_TRUE(editor.dirty());
    }
}

// ---------------------------------------------------------------- capture

TEST(EditorCapture, ClicksToggleAndMoveTheCapture) {
    struct Click {
        int id, code, value;
        Target after;
    };
    struct Case {
        const char* what;
        std::vector<Click> clicks;
    };
    const int sel = kSelectionChanged, click = kClicked;
    const Case cases[] = {
        {"a row's Change... twice",
         {{101, click, 0, Target::for_row(0)}, {101, click, 0, Target::none()}}},
        {"another row takes the capture",
         {{101, click, 0, Target::for_row(0)}, {161, click, 0, Target::for_row(15)},
          {105, click, 0, Target::for_row(1)}}},
        {"stick directions",
         {{201, click, 0, Target::for_stick(0, 0)}, {204, click, 0, Target::for_stick(0, 3)},
          {222, click, 0, Target::for_stick(1, 1)}, {224, click, 0, Target::for_stick(1, 3)},
          {224, click, 0, Target::none()}}},
        {"row to stick and back",
         {{113, click, 0, Target::for_row(3)}, {203, click, 0, Target::for_stick(0, 2)},
          {113, click, 0, Target::for_row(3)}}},
        {"choosing Keyboard key on a mouse row moves the capture",
         {{201, click, 0, Target::for_stick(0, 0)}, {130, sel, 0, Target::for_row(7)}}},
        {"a preset stops it", {{101, click, 0, Target::for_row(0)}, {301, sel, 1, Target::none()}}},
        {"reset stops it", {{221, click, 0, Target::for_stick(1, 0)}, {302, click, 0, Target::none()}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MappingEditor editor(shooter(), true);
        for (const Click& k : c.clicks) {
            SCOPED_TRACE(k.id);
            editor.command(k.id, k.code, k.value);
            EXPECT_EQ(editor.capture(), k.after);
        }
    }
}

TEST(EditorCapture, ViewShowsPressAKeyOnlyWhereAKeyIsAwaited) {
    MappingEditor editor(shooter(), true);
    editor.command(row_change_id(5), kClicked, 0);
    EditorView v = editor.view();
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(v.rows[static_cast<std::size_t>(i)].changeText, i == 5 ? "Press a key" : "Change...") << i;

    editor.command(kRightStickBase + 3, kClicked, 0);  // right stick, left
    v = editor.view();
    EXPECT_EQ(v.rows[5].changeText, "Change...");
    for (int s = 0; s < 2; ++s)
        for (int d = 0; d < 4; ++d) {
            const std::string& text = v.sticks[static_cast<std::size_t>(s)].directions[static_cast<std::size_t>(d)];
            if (s == 1 && d == 2)
                EXPECT_THAT(text, testing::HasSubstr("Press a key"));
            else
                EXPECT_THAT(text, testing::Not(testing::HasSubstr("Press a key"))) << s << d;
        }
}

TEST(EditorCapture, AKeyBecomesTheRowsBindingWithItsModifiers) {
    MappingEditor editor(shooter(), true);
    editor.command(row_change_id(3), kClicked, 0);
    editor.key_captured(kK, kModCtrl | kModShift);
    EXPECT_EQ(editor.working().bindings[3], Binding::keyPress(kK, kModCtrl | kModShift));
    EXPECT_FALSE(editor.capture().active());
    const EditorView v = editor.view();
    EXPECT_EQ(v.rows[3].value, "Ctrl+Shift+K");
    EXPECT_EQ(v.rows[3].changeText, "Change...");
    EXPECT_EQ(v.preset, 4);
    EXPECT_TRUE(v.saveEnabled);
}

TEST(EditorCapture, AKeyForAMouseRowChosenAsKeyboardKey) {
    MappingEditor editor(shooter(), true);
    editor.command(row_action_id(6), kSelectionChanged, 0);  // LT: right mouse → keyboard key
    EXPECT_EQ(editor.working().bindings[6], Binding::mouse(2));
    editor.key_captured(kLeftShift, 0);
    EXPECT_EQ(editor.working().bindings[6], Binding::keyPress(kLeftShift));
    EXPECT_EQ(editor.view().rows[6].action, 0);
    EXPECT_EQ(editor.view().rows[6].value, "Left Shift");
}

TEST(EditorCapture, AStickDirectionTakesTheKeyWithoutModifiers) {
    MappingEditor editor(shooter(), true);
    editor.command(kRightStickBase + 2, kClicked, 0);  // right stick, down
    editor.key_captured(kEnter, kModCtrl | kModAlt);
    EXPECT_EQ(editor.working().rightStick.down, kEnter);
    EXPECT_EQ(editor.working().rightStick.up, kW);
    EXPECT_TRUE(editor.working().leftStick == shooter().leftStick);
    EXPECT_FALSE(editor.capture().active());
    EXPECT_EQ(editor.view().sticks[1].directions[1], "Down: Enter");
    EXPECT_EQ(editor.view().preset, 4);
}

TEST(EditorCapture, AKeyWithoutATargetChangesNothing) {
    MappingEditor editor(shooter(), true);
    editor.key_captured(kK, kModCtrl);
    EXPECT_TRUE(editor.working() == shooter());
    EXPECT_EQ(editor.view().preset, 0);
    // Also after a capture was toggled off again.
    editor.command(row_change_id(0), kClicked, 0);
    editor.command(row_change_id(0), kClicked, 0);
    editor.key_captured(kK, 0);
    EXPECT_TRUE(editor.working() == shooter());
}

// ---------------------------------------------------------------- sticks

TEST(EditorTrackbar, PositionsBecomeDeadzoneAndSensitivity) {
    struct Case {
        int id, position;
        bool right, deadzone;  // which stick, which value
        float value;
        int shown;
        const char* label;
    };
    const Case cases[] = {
        {205, 60, false, true, 0.6f, 60, "60 %"},
        {205, 0, false, true, 0.0f, 0, "0 %"},
        {225, 35, true, true, 0.35f, 35, "35 %"},
        {225, 90, true, true, 0.9f, 90, "90 %"},
        {205, 120, false, true, 0.9f, 90, "90 %"},
        {205, -5, false, true, 0.0f, 0, "0 %"},
        {227, 1, true, false, 0.1f, 1, "0.1x"},
        {207, 15, false, false, 1.5f, 15, "1.5x"},
        {207, 50, false, false, 5.0f, 50, "5.0x"},
        {227, 0, true, false, 0.1f, 1, "0.1x"},
        {227, 60, true, false, 5.0f, 50, "5.0x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.id << " at " << c.position);
        MappingEditor editor(shooter(), true);
        editor.trackbar_moved(c.id, c.position);
        const auto& stick = c.right ? editor.working().rightStick : editor.working().leftStick;
        const auto& other = c.right ? editor.working().leftStick : editor.working().rightStick;
        const auto& other_before = c.right ? shooter().leftStick : shooter().rightStick;
        const StickView sv = editor.view().sticks[c.right ? 1 : 0];
        if (c.deadzone) {
            EXPECT_FLOAT_EQ(stick.deadzone, c.value);
            EXPECT_EQ(sv.deadzone, c.shown);
            EXPECT_EQ(sv.deadzoneLabel, c.label);
        } else {
            EXPECT_FLOAT_EQ(stick.sensitivity, c.value);
            EXPECT_EQ(sv.sensitivity, c.shown);
            EXPECT_EQ(sv.sensitivityLabel, c.label);
        }
        EXPECT_TRUE(other == other_before);
        EXPECT_EQ(editor.working().preset, Preset::Custom);
    }
}

TEST(EditorTrackbar, OtherControlsAreNotTrackbars) {
    for (const int id : {206, 208, 209, 226, 300, 102}) {
        MappingEditor editor(shooter(), true);
        editor.trackbar_moved(id, 30);
        EXPECT_TRUE(editor.working() == shooter()) << id;
    }
}

TEST(EditorTrackbar, ViewPositionsRoundToTheNearestStep) {
    struct Case {
        float deadzone, sensitivity;
        int deadzonePos, sensitivityPos;
        const char *deadzoneLabel, *sensitivityLabel;
    };
    const Case cases[] = {
        {0.25f, 1.0f, 25, 10, "25 %", "1.0x"},
        {0.126f, 2.46f, 13, 25, "13 %", "2.5x"},
        {0.124f, 2.44f, 12, 24, "12 %", "2.4x"},
        {0.9f, 0.14f, 90, 1, "90 %", "0.1x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.deadzone);
        const StickView sv = MappingEditor(with(shooter(), [&](PadMapping& m) {
                                               m.rightStick.deadzone = c.deadzone;
                                               m.rightStick.sensitivity = c.sensitivity;
                                           }),
                                           true)
                                 .view()
                                 .sticks[1];
        EXPECT_EQ(sv.deadzone, c.deadzonePos);
        EXPECT_EQ(sv.sensitivity, c.sensitivityPos);
        EXPECT_EQ(sv.deadzoneLabel, c.deadzoneLabel);
        EXPECT_EQ(sv.sensitivityLabel, c.sensitivityLabel);
    }
}

TEST(EditorSticks, EnabledControlsFollowTheMode) {
    struct Case {
        int position;
        StickMode mode;
        bool directions, deadzone, sensitivityAndInvert;
    };
    const Case cases[] = {
        {0, StickMode::Keys, true, true, false},
        {1, StickMode::Mouse, false, true, true},
        {2, StickMode::Scroll, false, true, true},
        {3, StickMode::Off, false, false, false},
    };
    for (const Case& c : cases) {
        for (int s = 0; s < 2; ++s) {
            SCOPED_TRACE(testing::Message() << "position " << c.position << " stick " << s);
            MappingEditor editor(shooter(), true);
            editor.command(stick_base(s) + kStickMode, kSelectionChanged, c.position);
            EXPECT_EQ((s == 0 ? editor.working().leftStick : editor.working().rightStick).mode, c.mode);
            const StickView sv = editor.view().sticks[static_cast<std::size_t>(s)];
            EXPECT_EQ(sv.mode, c.position);
            EXPECT_EQ(sv.directionsEnabled, c.directions);
            EXPECT_EQ(sv.deadzoneEnabled, c.deadzone);
            EXPECT_EQ(sv.sensitivityEnabled, c.sensitivityAndInvert);
        }
    }
}

TEST(EditorSticks, DirectionTexts) {
    PadMapping m = shooter();
    m.rightStick.left = 0;
    m.rightStick.right = kEnter;
    m.rightStick.invertY = true;
    const EditorView v = MappingEditor(m, true).view();
    EXPECT_EQ(v.sticks[0].directions, (std::array<std::string, 4>{"Up: W", "Down: S", "Left: A", "Right: D"}));
    EXPECT_EQ(v.sticks[1].directions, (std::array<std::string, 4>{"Up: W", "Down: S", "Left: -", "Right: Enter"}));
    EXPECT_FALSE(v.sticks[0].invertY);
    EXPECT_TRUE(v.sticks[1].invertY);
}

// ------------------------------------------------------- the tray's changes

TEST(EditorElsewhere, WithoutEditsTheWindowShowsTheNewMapping) {
    MappingEditor editor(shooter(false), true);
    const PadMapping installed = with(presetMapping(Preset::Arrows), [](auto& m) { m.useMapping = true; });
    editor.mapping_changed_elsewhere(installed);
    EXPECT_TRUE(editor.working() == installed);
    EXPECT_TRUE(editor.saved() == installed);
    const EditorView v = editor.view();
    EXPECT_EQ(v.output, 1);
    EXPECT_EQ(v.preset, 1);
    EXPECT_EQ(v.rows[0].value, "Enter");
    EXPECT_FALSE(v.saveEnabled);
}

TEST(EditorElsewhere, PendingEditsStayAndCanBeSaved) {
    MappingEditor editor(shooter(false), true);
    editor.command(row_action_id(0), kSelectionChanged, 12);
    const PadMapping edits = editor.working();
    editor.mapping_changed_elsewhere(shooter(true));  // the tray switched the output
    EXPECT_TRUE(editor.saved() == shooter(true));
    EXPECT_TRUE(editor.working() == edits);
    EditorView v = editor.view();
    EXPECT_EQ(v.rows[0].value, "Nothing");
    EXPECT_EQ(v.output, 0);
    EXPECT_TRUE(v.saveEnabled);

    editor.saved_as(editor.working());
    v = editor.view();
    EXPECT_FALSE(v.saveEnabled);
    EXPECT_EQ(v.preset, 4);
}

}  // namespace
}  // namespace hp::pad_mapping_ui
