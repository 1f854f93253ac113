#pragma once
// A HostState with hand-made sessions, a recording platform and recording
// fakes for the pad output, the session channel and the Ctrl+Alt+Del system.
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "input/held_input.h"
#include "input/input_command.h"
#include "platform/fake/recording_platform.h"
#include "host/host_state.h"

namespace hp::commands::testing {

using namespace hp::input;

using namespace std::chrono_literals;
using host::HostEvent;
using host::HostEventKind;
using host::PadOutput;
using host::SessionEntry;
using host::SessionMessage;
using host::SessionSender;

// Records what the executor hands to the controller output.
class RecordingPad : public PadOutput {
public:
    struct Switch {
        bool on, clientGone;
        friend bool operator==(const Switch&, const Switch&) = default;
    };
    void apply(const host::Locked&, const PadState& s) override { applied.push_back(s); }
    void neutral(const host::Locked&) override { ++neutrals; }
    void setSwitch(const host::Locked&, bool on, bool clientGone) override { switches.push_back({on, clientGone}); }

    std::vector<PadState> applied;
    int neutrals = 0;
    std::vector<Switch> switches;
};

class RecordingSender : public SessionSender {
public:
    bool send(SessionMessage message) override {
        if (closed) return false;
        sent.push_back(std::move(message));
        return true;
    }
    bool closed = false;
    std::vector<SessionMessage> sent;
};

class FakeSas : public platform::SasSystem {
public:
    std::optional<std::uint32_t> readPolicy() override { return policy; }
    platform::SasSender sender() override { return helper; }
    bool sendSas(platform::SasSender) override {
        ++sasSent;
        return helperSends;
    }
    std::optional<std::uint32_t> policy = 1;
    platform::SasSender helper = platform::SasSender::Service;
    bool helperSends = true;
    int sasSent = 0;
};

// Command builders; payload offsets as on the wire.
inline InputCommand command(InputKind kind, std::uint64_t seq) {
    InputCommand c;
    c.kind = static_cast<std::uint8_t>(kind);
    c.seq = seq;
    return c;
}
inline void put_f32(InputCommand& c, std::size_t at, float v) { std::memcpy(&c.payload[at], &v, 4); }
inline void put_u16(InputCommand& c, std::size_t at, std::uint16_t v) {
    c.payload[at] = static_cast<std::uint8_t>(v);
    c.payload[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline InputCommand move_cmd(std::uint64_t seq, float dx, float dy) {
    auto c = command(InputKind::MouseMove, seq);
    put_f32(c, 0, dx);
    put_f32(c, 4, dy);
    return c;
}
inline InputCommand scroll_cmd(std::uint64_t seq, float x, float y) {
    auto c = command(InputKind::Scroll, seq);
    put_f32(c, 0, x);
    put_f32(c, 4, y);
    return c;
}
inline InputCommand key_cmd(std::uint64_t seq, KeyCode code, std::uint8_t action,
                            ModifierMask mods = 0) {
    auto c = command(InputKind::Key, seq);
    put_u16(c, 0, code);
    c.payload[2] = action;
    c.modifiers = mods;
    return c;
}
inline InputCommand button_cmd(std::uint64_t seq, std::uint8_t button, bool pressed,
                               ModifierMask mods = 0) {
    auto c = command(InputKind::MouseButton, seq);
    c.payload[0] = button;
    c.payload[1] = pressed ? 1 : 0;
    c.modifiers = mods;
    return c;
}
inline InputCommand pinch_cmd(std::uint64_t seq, std::uint8_t phase, float delta) {
    auto c = command(InputKind::PinchZoom, seq);
    c.flags = static_cast<std::uint8_t>(phase << 4);
    put_f32(c, 0, delta);
    return c;
}
inline InputCommand code_cmd(InputKind kind, std::uint64_t seq, std::uint8_t code) {
    auto c = command(kind, seq);
    c.payload[0] = code;
    return c;
}
inline InputCommand sticks_cmd(std::uint64_t seq, std::int16_t lx, std::int16_t ly = 0,
                               std::int16_t rx = 0, std::int16_t ry = 0) {
    auto c = command(InputKind::PadSticks, seq);
    put_u16(c, 0, static_cast<std::uint16_t>(lx));
    put_u16(c, 2, static_cast<std::uint16_t>(ly));
    put_u16(c, 4, static_cast<std::uint16_t>(rx));
    put_u16(c, 6, static_cast<std::uint16_t>(ry));
    return c;
}
inline InputCommand buttons_cmd(std::uint64_t seq, std::uint16_t buttons, std::uint8_t dpad = 0,
                                std::uint8_t lt = 0, std::uint8_t rt = 0) {
    auto c = command(InputKind::PadButtons, seq);
    put_u16(c, 0, buttons);
    put_u16(c, 2, 0xFFFF);  // ignored
    c.payload[4] = dpad;
    c.payload[5] = lt;
    c.payload[6] = rt;
    return c;
}

// The host's lock held for one full expression, without HostLock's
// delivery on unlock (the tests read what was queued):
// `set_active_client(h.held(), 1)`.
struct Held {
    std::unique_lock<std::mutex> lock;
    host::Locked locked;
    explicit Held(HostState& state) : lock(state.mutex), locked(state, lock) {}
    operator const host::Locked&() const { return locked; }
};

struct Harness {
    HostState state;
    std::shared_ptr<fake::RecordingPlatform> os = std::make_shared<fake::RecordingPlatform>();
    std::shared_ptr<RecordingPad> pad = std::make_shared<RecordingPad>();
    Instant t0 = Instant{} + 1000s;

    Harness() {
        state.platform = os;
        state.pad = pad;
        // Lines are queued with a fixed time and never written.
        state.controllerLog = std::make_shared<store::ControllerLog>(std::nullopt, [] { return 7u; });
        add_session(1, "Phone A");
    }

    // The controller-log lines queued so far.
    std::vector<std::string> switch_log() const {
        std::vector<std::string> out;
        for (const auto& line : state.pendingLog) out.push_back(line.text);
        return out;
    }

    std::shared_ptr<RecordingSender> add_session(std::uint64_t id, std::string name,
                                                 bool controller = false) {
        auto sender = std::make_shared<RecordingSender>();
        SessionEntry e;
        e.id = id;
        e.deviceName = std::move(name);
        e.sender = sender;
        e.controllerEnabled = controller;
        state.sessions[id] = std::move(e);
        return sender;
    }

    void run(const InputCommand& c, Instant at, std::uint64_t session = 1) {
        execute(held(), session, c, at);
    }
    void run(const InputCommand& c) { run(c, t0); }

    Held held() { return Held(state); }

    std::vector<std::string> lines() const { return os->lines(); }
    // Lines since the last call.
    std::vector<std::string> take() {
        auto l = os->lines();
        os->clear();
        return l;
    }
};

using Lines = std::vector<std::string>;

}  // namespace hp::commands::testing
