// Shared PCs and fast user switching, window-free: what a session change
// does to held input (through the recording platform), when the tray asks
// again for session notifications, and which session a running host is in.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/win32_sessions.h"
#include "input/held_input.h"
#include "platform/fake/recording_platform.h"

namespace hp::app {
namespace {

using Lines = std::vector<std::string>;

TEST(SessionChange, LockAndSwitchingAwayReleaseInputNothingElseDoes) {
    struct Case {
        unsigned long code;
        SessionChangeAction action;
    };
    const Case cases[] = {
        {kWtsConsoleConnect, SessionChangeAction::None},
        {kWtsConsoleDisconnect, SessionChangeAction::ReleaseInput},  // another user took the console
        {kWtsRemoteConnect, SessionChangeAction::None},
        {kWtsRemoteDisconnect, SessionChangeAction::ReleaseInput},
        {kWtsSessionLogon, SessionChangeAction::None},
        {kWtsSessionLogoff, SessionChangeAction::None},  // WM_ENDSESSION releases
        {kWtsSessionLock, SessionChangeAction::ReleaseInput},
        {kWtsSessionUnlock, SessionChangeAction::None},
        {9, SessionChangeAction::None},   // remote control
        {10, SessionChangeAction::None},  // create
        {11, SessionChangeAction::None},  // terminate
        {0, SessionChangeAction::None},
    };
    for (const auto& c : cases) EXPECT_EQ(session_change_action(c.code), c.action) << c.code;
}

// A phone holds Ctrl+A and the left button; the session is locked or left:
// everything goes up, as when the watchdog finds the input stale.
TEST(SessionChange, HeldKeysAndButtonsGoUpWhenTheSessionIsLockedOrLeft) {
    constexpr input::KeyCode kA = 4;  // HID usage of "a"
    struct Case {
        unsigned long code;
        bool released;
    };
    const Case cases[] = {
        {kWtsSessionLock, true},
        {kWtsConsoleDisconnect, true},
        {kWtsRemoteDisconnect, true},
        {kWtsSessionUnlock, false},
        {kWtsConsoleConnect, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        host::HostState state;
        auto os = std::make_shared<fake::RecordingPlatform>();
        state.platform = os;
        {
            host::HostLock lock(state);
            input::key_down(lock, kA, input::kCtrl);
            input::button_down(lock, 1);
        }
        ASSERT_EQ(os->lines(), (Lines{"key 0xA2 down", "key 0x41 down", "button 1 down"}));
        os->clear();

        apply_session_change(&state, c.code);

        host::HostLock lock(state);
        if (c.released) {
            EXPECT_EQ(os->lines(), (Lines{"key 0x41 up", "key 0xA2 up", "button 1 up"}));
            EXPECT_FALSE(state.input.holding());
        } else {
            EXPECT_TRUE(os->lines().empty());
            EXPECT_TRUE(state.input.holding());
        }
    }
    apply_session_change(nullptr, kWtsSessionLock);  // no host yet: nothing to do
}

TEST(SessionChange, RegistrationIsRetriedEveryTwoSecondsThenEveryThirty) {
    struct Case {
        unsigned failures;
        unsigned delayMs;
    };
    const Case cases[] = {{1, 2000}, {59, 2000}, {60, 30000}, {1000, 30000}};
    for (const auto& c : cases) EXPECT_EQ(session_registration_retry_ms(c.failures), c.delayMs) << c.failures;
}

TEST(HostSession, WhatOpeningAnEventSays) {
    struct Case {
        bool gotHandle;
        unsigned long error;
        ObjectProbe probe;
    };
    const Case cases[] = {
        {true, 0, ObjectProbe::Present},
        {false, 5, ObjectProbe::Present},  // exists, this user may not open it
        {false, 2, ObjectProbe::Absent},
        {false, 6, ObjectProbe::Unknown},  // the name holds another kind of object
        {false, 1450, ObjectProbe::Unknown},
    };
    for (const auto& c : cases) EXPECT_EQ(object_probe(c.gotHandle, c.error), c.probe) << c.gotHandle << " " << c.error;
}

// The running host published (or did not) its session; this process runs
// in session 2.
TEST(HostSession, SameOtherOrUnknownFromThePublishedEvents) {
    const std::wstring base = L"Global\\HearthpadHostSession";
    EXPECT_EQ(host_session_marker_name(base, 2), L"Global\\HearthpadHostSession-2");
    using P = ObjectProbe;
    struct Case {
        const char* what;
        std::optional<unsigned long> own;
        std::map<std::wstring, P> objects;  // missing: Absent
        HostSession session;
    };
    const Case cases[] = {
        {"a host in this session", 2, {{base, P::Present}, {base + L"-2", P::Present}}, HostSession::Same},
        {"a host in session 1", 2, {{base, P::Present}, {base + L"-1", P::Present}}, HostSession::Other},
        {"a host that publishes nothing", 2, {}, HostSession::Unknown},
        {"not published yet, its session's event made", 2, {{base + L"-2", P::Present}}, HostSession::Unknown},
        {"the published event unreadable", 2, {{base, P::Unknown}, {base + L"-2", P::Present}},
         HostSession::Unknown},
        {"this session's event unreadable", 2, {{base, P::Present}, {base + L"-2", P::Unknown}},
         HostSession::Unknown},
        {"this process's session unknown", std::nullopt, {{base, P::Present}, {base + L"-1", P::Present}},
         HostSession::Unknown},
    };
    for (const auto& c : cases) {
        std::vector<std::wstring> asked;
        const auto session = find_host_session(base, c.own, [&](const std::wstring& name) {
            asked.push_back(name);
            const auto it = c.objects.find(name);
            return it == c.objects.end() ? P::Absent : it->second;
        });
        EXPECT_EQ(session, c.session) << c.what;
        // The published event is read first: the host makes it last.
        if (!asked.empty()) {
            EXPECT_EQ(asked.front(), base) << c.what;
        }
    }
}

TEST(HostSession, OnlyAHostInAnotherSessionIsAnnounced) {
    EXPECT_EQ(second_start_message(HostSession::Other),
              std::optional<std::string>("Hearthpad is already running for another user of this PC."));
    EXPECT_EQ(second_start_message(HostSession::Same), std::nullopt);
    EXPECT_EQ(second_start_message(HostSession::Unknown), std::nullopt);
}

}  // namespace
}  // namespace hp::app
