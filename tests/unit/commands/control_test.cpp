#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "harness.h"

namespace hp::commands::testing {
namespace {

// ---------------------------------------------------------------- gamepad

TEST(Executor, PadCommandsMustMoveForwardWithinTheirOwnKind) {
    struct Step {
        InputCommand cmd;
        bool applied;
    };
    Harness h;
    h.state.sessions[1].controllerEnabled = true;
    set_active_client(h.held(), 1);
    const Step steps[] = {
        {sticks_cmd(5, 100), true},
        {sticks_cmd(3, 200), false},  // older sticks state
        {buttons_cmd(4, 1), true},    // buttons count on their own
        {buttons_cmd(2, 2), false},   // older buttons state
        {sticks_cmd(6, 300), true},
        {buttons_cmd(4, 3), false},   // replayed
    };
    for (const auto& s : steps) {
        h.pad->applied.clear();
        h.run(s.cmd);
        EXPECT_EQ(h.pad->applied.size(), s.applied ? 1u : 0u) << "seq " << s.cmd.seq;
    }
    EXPECT_EQ(h.state.input.pad.leftX, 300);
    EXPECT_EQ(h.state.input.pad.buttons, 1);
}

TEST(Executor, PadButtonsDropHighBitsAndBadDpad) {
    Harness h;
    h.state.sessions[1].controllerEnabled = true;
    h.run(buttons_cmd(1, 0xFFFF, 9, 10, 20));
    PadState want;
    want.buttons = 0x7FF;
    want.dpad = 0;
    want.leftTrigger = 10;
    want.rightTrigger = 20;
    EXPECT_EQ(h.state.input.pad, want);
    ASSERT_FALSE(h.pad->applied.empty());
    EXPECT_EQ(h.pad->applied.back(), want);

    h.pad->applied.clear();
    h.run(buttons_cmd(2, 0xF800 | 0x7FF, 9, 10, 20));  // same stored state
    EXPECT_TRUE(h.pad->applied.empty());
    h.run(buttons_cmd(3, 0x7FF, 8, 10, 20));
    EXPECT_EQ(h.state.input.pad.dpad, 8);
}

TEST(Executor, PadCommandsIgnoredWhileControllerOff) {
    Harness h;
    h.run(sticks_cmd(1, 100));
    EXPECT_TRUE(h.state.input.pad.neutral());
    EXPECT_FALSE(h.state.input.padInputAt.has_value());
    EXPECT_EQ(h.state.input.lastInputAt, h.t0);  // still counts as input
}

// ---------------------------------------------------------------- Ctrl+Alt+Del

TEST(Executor, CtrlAltDelResultIsQueuedToTheRequestingSession) {
    Harness h;
    auto sas = std::make_shared<FakeSas>();
    h.state.sas = sas;
    auto sender = std::static_pointer_cast<RecordingSender>(h.state.sessions[1].sender);
    h.run(code_cmd(InputKind::EditShortcut, 1, 9));
    EXPECT_EQ(sas->sasSent, 1);
    ASSERT_EQ(sender->sent.size(), 1u);
    const SessionMessage& m = sender->sent[0];
    EXPECT_EQ(m.kind, SessionMessage::Kind::SendFrame);
    EXPECT_EQ(m.type, 0x36);
    EXPECT_EQ(to_string(m.body), R"({"code":"sas_ok","message":"Ctrl+Alt+Del sent"})");

    sas->helper = platform::SasSender::None;  // no helper service: nothing is sent
    h.run(code_cmd(InputKind::EditShortcut, 2, 9));
    ASSERT_EQ(sender->sent.size(), 2u);
    EXPECT_NE(to_string(sender->sent[1].body).find("sas_unavailable"), std::string::npos);
    EXPECT_EQ(sas->sasSent, 1);

    h.run(scroll_cmd(3, 0, 1));  // nothing waiting any more
    EXPECT_EQ(sender->sent.size(), 2u);
}

TEST(Executor, CtrlAltDelResultForAClosedChannelIsDropped) {
    Harness h;
    auto sas = std::make_shared<FakeSas>();
    h.state.sas = sas;
    auto sender = std::static_pointer_cast<RecordingSender>(h.state.sessions[1].sender);
    sender->closed = true;
    h.run(code_cmd(InputKind::EditShortcut, 1, 9));
    EXPECT_TRUE(sender->sent.empty());
    sender->closed = false;
    h.run(scroll_cmd(2, 0, 1));
    EXPECT_TRUE(sender->sent.empty());  // not kept for later
}

TEST(Executor, CtrlAltDelWithoutSasSystemDoesNothing) {
    Harness h;
    auto sender = std::static_pointer_cast<RecordingSender>(h.state.sessions[1].sender);
    h.run(code_cmd(InputKind::EditShortcut, 1, 9));
    EXPECT_TRUE(sender->sent.empty());
    EXPECT_TRUE(h.lines().empty());
}

// ---------------------------------------------------------------- control

TEST(Executor, SecondClientReleasesWhatTheFirstHeld) {
    Harness h;
    h.add_session(2, "Phone B");
    h.run(key_cmd(1, 4, 1, kShift), h.t0, 1);
    h.run(button_cmd(2, 2, true), h.t0, 1);
    h.os->clear();
    h.run(scroll_cmd(1, 0, 1), h.t0, 2);
    EXPECT_EQ(h.lines(), (Lines{"key 0x41 up", "key 0xA0 up", "button 2 up", "wheel 5"}));
    EXPECT_EQ(h.state.input.activeClient, 2u);
}

TEST(Executor, UnknownKindStillTakesControl) {
    Harness h;
    h.add_session(2, "Phone B");
    h.run(key_cmd(1, 4, 1), h.t0, 1);
    h.os->clear();
    h.run(command(static_cast<InputKind>(13), 1), h.t0 + 1s, 2);
    EXPECT_EQ(h.lines(), (Lines{"key 0x41 up"}));
    EXPECT_EQ(h.state.input.activeClient, 2u);
    EXPECT_EQ(h.state.input.lastInputAt, h.t0);  // unknown kinds are not input
}

TEST(Executor, ReleaseAllLetsGoOfEverything) {
    Harness h;
    h.state.sessions[1].controllerEnabled = true;
    h.run(key_cmd(1, 225, 1));                   // left Shift key: own modifier
    h.run(key_cmd(2, 4, 1, kAlt));               // A with Alt pressed on its behalf
    h.run(button_cmd(3, 1, true));
    h.run(pinch_cmd(4, 1, 0));                   // zoom Ctrl
    h.run(sticks_cmd(5, 1000));
    h.state.input.moveRemainderX = 0.5f;
    h.state.input.lastMoveSeq = 9;
    h.os->clear();
    h.pad->applied.clear();
    h.pad->neutrals = 0;

    h.run(command(InputKind::ReleaseAll, 6));
    EXPECT_EQ(h.lines(), (Lines{"key 0x41 up", "key 0xA0 up", "key 0xA4 up", "key 0xA0 up",
                                "button 1 up", "key 0xA2 up"}));
    const InputState& in = h.state.input;
    EXPECT_TRUE(in.heldKeys.empty());
    EXPECT_EQ(in.heldModifiers, 0);
    EXPECT_EQ(in.heldButtons, 0);
    EXPECT_FALSE(in.zoomCtrlHeld);
    EXPECT_FALSE(in.gestureAt.has_value());
    EXPECT_TRUE(in.extraModifiers.empty());
    EXPECT_TRUE(in.pad.neutral());
    EXPECT_FALSE(in.padInputAt.has_value());
    EXPECT_EQ(in.lastMoveSeq, 0u);
    EXPECT_EQ(in.moveRemainderX, 0.0f);
    ASSERT_EQ(h.pad->applied.size(), 1u);
    EXPECT_TRUE(h.pad->applied[0].neutral());
    EXPECT_EQ(h.pad->neutrals, 1);
    EXPECT_TRUE(in.padEnabled);  // the controller switch is not touched
}

TEST(Executor, WatchdogReleasesHeldInputAfterOneAndAHalfSeconds) {
    Harness h;
    h.run(key_cmd(1, 4, 1), h.t0);
    h.run(button_cmd(2, 1, true), h.t0 + 1s);
    h.os->clear();
    watchdog_tick(h.held(), h.t0 + 2500ms);  // exactly 1.5 s since the last input
    EXPECT_TRUE(h.lines().empty());
    watchdog_tick(h.held(), h.t0 + 2501ms);
    EXPECT_EQ(h.lines(), (Lines{"key 0x41 up", "button 1 up"}));
    h.os->clear();
    watchdog_tick(h.held(), h.t0 + 10s);  // nothing held any more
    EXPECT_TRUE(h.lines().empty());
}

TEST(Executor, WatchdogNeutralisesAnIdlePad) {
    Harness h;
    h.state.sessions[1].controllerEnabled = true;
    h.run(sticks_cmd(1, 500), h.t0);
    h.pad->applied.clear();
    watchdog_tick(h.held(), h.t0 + 1500ms);
    EXPECT_TRUE(h.pad->applied.empty());
    watchdog_tick(h.held(), h.t0 + 1501ms);
    ASSERT_EQ(h.pad->applied.size(), 1u);
    EXPECT_TRUE(h.pad->applied[0].neutral());
    EXPECT_TRUE(h.state.input.pad.neutral());
    EXPECT_EQ(h.pad->neutrals, 2);  // one from taking control, one now
}

TEST(Executor, ControllerSwitchFollowsTheActiveSession) {
    Harness h;
    h.state.sessions[1].controllerEnabled = true;
    h.run(scroll_cmd(1, 0, 0));  // takes control: switch on
    EXPECT_TRUE(h.state.input.padEnabled);
    EXPECT_EQ(h.pad->switches, (std::vector<RecordingPad::Switch>{{true, false}}));
    EXPECT_EQ(h.switch_log(), (Lines{"switch on"}));
    EXPECT_EQ(h.state.pendingEvents,
              (std::vector<HostEvent>{{HostEventKind::ControllerSwitched, "Phone A", true}}));

    // ControllerState {"enabled": false} from the same session.
    h.state.pendingEvents.clear();
    h.run(sticks_cmd(2, 700));
    h.pad->applied.clear();
    h.state.sessions[1].controllerEnabled = false;
    set_active_client(h.held(), 1);
    refresh_controller_switch(h.held());
    EXPECT_FALSE(h.state.input.padEnabled);
    EXPECT_TRUE(h.state.input.pad.neutral());
    ASSERT_EQ(h.pad->applied.size(), 1u);
    EXPECT_TRUE(h.pad->applied[0].neutral());
    EXPECT_EQ(h.pad->switches.back(), (RecordingPad::Switch{false, false}));
    EXPECT_EQ(h.switch_log(), (Lines{"switch on", "switch off"}));
    EXPECT_EQ(h.state.pendingEvents,
              (std::vector<HostEvent>{{HostEventKind::ControllerSwitched, "Phone A", false}}));

    // Nothing changed: no event.
    h.state.pendingEvents.clear();
    refresh_controller_switch(h.held());
    EXPECT_TRUE(h.state.pendingEvents.empty());
    EXPECT_EQ(h.switch_log().size(), 2u);
}

TEST(Executor, ControllerSwitchTurnsOffWhenTheControllingSessionEnds) {
    Harness h;
    h.state.sessions[1].controllerEnabled = true;
    h.run(scroll_cmd(1, 0, 0));
    h.state.pendingEvents.clear();

    // What the session loop does when the controlling session ends.
    h.state.sessions.erase(1);
    release_all(h.held());
    h.state.input.activeClient.reset();
    refresh_controller_switch(h.held());
    EXPECT_FALSE(h.state.input.padEnabled);
    EXPECT_EQ(h.pad->switches.back(), (RecordingPad::Switch{false, true}));
    EXPECT_EQ(h.state.pendingEvents,
              (std::vector<HostEvent>{{HostEventKind::ControllerSwitched, "", false}}));
}

TEST(Executor, SwitchingToASessionWithoutControllerTurnsItOff) {
    Harness h;
    h.state.sessions[1].controllerEnabled = true;
    h.add_session(2, "Phone B");
    h.run(scroll_cmd(1, 0, 0), h.t0, 1);
    h.state.pendingEvents.clear();
    h.run(scroll_cmd(1, 0, 0), h.t0, 2);
    EXPECT_EQ(h.state.pendingEvents,
              (std::vector<HostEvent>{{HostEventKind::ControllerSwitched, "Phone B", false}}));
}

}  // namespace
}  // namespace hp::commands::testing
