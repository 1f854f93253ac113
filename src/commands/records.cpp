// The input record's meaning: which session sent it, whether it is fresh,
// taking control, and then each kind's payload read and acted on.
#include <chrono>
#include <cmath>
#include <optional>
#include <string>
#include <utility>

#include "commands/commands.h"
#include "input/held_input.h"
#include "protocol/frame.h"
#include "sas/sas.h"

namespace hp::commands {
namespace {

using namespace std::chrono_literals;
using host::HostState;
using host::InputState;
using host::ModifierMask;
using host::PadState;
using input::InputCommand;
using input::InputKind;
using input::kVkCtrl;
using input::kVkWin;

constexpr auto kKeepAwakeGap = 30s;

platform::PlatformServices& os(HostState& state) { return *state.platform; }

// Gamepad kinds also must move forward within their own kind.
bool accept_pad_sequence(host::InputSequences& s, std::uint8_t kind, std::uint64_t seq) {
    std::uint64_t* last = nullptr;
    if (kind == static_cast<std::uint8_t>(InputKind::PadSticks)) last = &s.lastPadSticksSeq;
    if (kind == static_cast<std::uint8_t>(InputKind::PadButtons)) last = &s.lastPadButtonsSeq;
    if (!last) return true;
    if (seq <= *last) return false;
    *last = seq;
    return true;
}

// Motion counts as input even when it is out of order; it moves the pointer
// only when newer than the last move, and keeps the display awake.
void mouse_move(const host::Locked& locked, const InputCommand& c, Instant now) {
    HostState& state = *locked;
    InputState& in = state.input;
    in.lastInputAt = now;
    if (c.seq <= in.lastMoveSeq) return;
    in.lastMoveSeq = c.seq;
    const float dx = c.f32(0), dy = c.f32(4);
    if (!std::isfinite(dx) || !std::isfinite(dy)) return;
    if (!in.lastMoveAt || now - *in.lastMoveAt > kKeepAwakeGap) os(state).keepAwake();
    in.lastMoveAt = now;
    input::move_pointer(locked, dx, dy);
}

void desktop_shortcut(const host::Locked& locked, std::uint8_t code) {
    switch (code) {
        case 1: input::press_combo(locked, {kVkWin}, 0x09); break;           // task view
        case 2: input::press_combo(locked, {kVkWin}, 'D'); break;            // show desktop
        case 3: input::press_combo(locked, {kVkCtrl, kVkWin}, 0x27); break;  // next desktop
        case 4: input::press_combo(locked, {kVkCtrl, kVkWin}, 0x25); break;  // previous desktop
        default: break;
    }
}

void edit_shortcut(const host::Locked& locked, std::uint8_t code) {
    HostState& state = *locked;
    static constexpr char kLetters[] = {'C', 'V', 'X', 'Z', 'Y', 'A', 'F'};
    if (code >= 1 && code <= 7) {
        input::press_combo(locked, {kVkCtrl}, static_cast<std::uint16_t>(kLetters[code - 1]));
    } else if (code == 8) {
        os(state).lockWorkstation();
    } else if (code == 9) {
        if (state.sas) sas::send_secure_attention(*state.sas);
    }
}

void media_key(const host::Locked& locked, std::uint8_t code) {
    HostState& state = *locked;
    static constexpr std::uint16_t kVks[] = {0xAF, 0xAE, 0xAD, 0xB3, 0xB0, 0xB1};
    if (code >= 1 && code <= 6)
        input::tap_key(locked, kVks[code - 1]);
    else if (code == 7)
        os(state).stepBrightness(true);
    else if (code == 8)
        os(state).stepBrightness(false);
}

void pad_sticks(const host::Locked& locked, const InputCommand& c, Instant now) {
    HostState& state = *locked;
    if (!state.input.padEnabled) return;
    state.input.padInputAt = now;
    PadState next = state.input.pad;
    next.leftX = c.i16(0);
    next.leftY = c.i16(2);
    next.rightX = c.i16(4);
    next.rightY = c.i16(6);
    input::set_pad(locked, next);
}

void pad_buttons(const host::Locked& locked, const InputCommand& c, Instant now) {
    HostState& state = *locked;
    if (!state.input.padEnabled) return;
    state.input.padInputAt = now;
    PadState next = state.input.pad;
    next.buttons = c.u16(0) & 0x7FF;
    const std::uint8_t dpad = c.u8(4);
    next.dpad = dpad > 8 ? 0 : dpad;
    next.leftTrigger = c.u8(5);
    next.rightTrigger = c.u8(6);
    input::set_pad(locked, next);
}

void run_kind(const host::Locked& locked, const InputCommand& c, Instant now) {
    const ModifierMask modifiers = c.modifiers & 0x0F;
    switch (static_cast<InputKind>(c.kind)) {
        case InputKind::MouseMove: mouse_move(locked, c, now); break;
        case InputKind::MouseButton:
            if (c.u8(1) != 0)
                input::button_down(locked, c.u8(0), modifiers);
            else
                input::button_up(locked, c.u8(0));
            break;
        case InputKind::Scroll: input::scroll(locked, c.f32(0), c.f32(4)); break;
        case InputKind::Key: {
            const host::KeyCode code = c.u16(0);
            const std::uint8_t action = c.u8(2);
            if (action == 1 || action == 2)
                input::key_down(locked, code, modifiers);
            else if (action == 0)
                input::key_up(locked, code);
            break;
        }
        case InputKind::PinchZoom: input::pinch_zoom(locked, c.flags >> 4, c.f32(0), now); break;
        case InputKind::DesktopShortcut: desktop_shortcut(locked, c.u8(0)); break;
        case InputKind::EditShortcut: edit_shortcut(locked, c.u8(0)); break;
        case InputKind::ModifierSet: input::set_modifiers(locked, c.u8(0)); break;
        case InputKind::MediaKey: media_key(locked, c.u8(0)); break;
        case InputKind::PadSticks: pad_sticks(locked, c, now); break;
        case InputKind::PadButtons: pad_buttons(locked, c, now); break;
        case InputKind::ReleaseAll: input::release_all(locked); break;
    }
}

// Queues a waiting Ctrl+Alt+Del outcome to the session that asked; dropped
// when the session or its channel is gone.
void deliver_sas_result(HostState& state, std::uint64_t sessionId) {
    std::optional<std::string> result = sas::take_pending_result();
    if (!result) return;
    const auto it = state.sessions.find(sessionId);
    if (it == state.sessions.end() || !it->second.sender) return;
    host::SessionMessage message;
    message.kind = host::SessionMessage::Kind::SendFrame;
    message.type = protocol::type_byte(protocol::FrameType::SasResult);
    message.body.assign(result->begin(), result->end());
    it->second.sender->send(std::move(message));
}

}  // namespace

void execute(const host::Locked& locked, std::uint64_t sessionId, const InputCommand& command, Instant now) {
    HostState& state = *locked;
    const auto it = state.sessions.find(sessionId);
    if (it == state.sessions.end() || command.seq == 0) return;
    host::InputSequences& sequences = it->second.replay;
    if (!sequences.window.accept(command.seq)) return;
    if (!accept_pad_sequence(sequences, command.kind, command.seq)) return;

    set_active_client(locked, sessionId);

    if (input::is_known_kind(command.kind)) {
        if (command.kind != static_cast<std::uint8_t>(InputKind::MouseMove)) {
            input::flush_pending_motion(locked);
            state.input.lastInputAt = now;
        }
        run_kind(locked, command, now);
    }
    deliver_sas_result(state, sessionId);
}

void input_record(const host::Locked& locked, std::uint64_t sessionId, ByteView record, Instant now) {
    if (auto decoded = input::decode_input_command(record)) execute(locked, sessionId, *decoded, now);
}

void begin_batch(const host::Locked& locked, std::size_t records) { locked->input.batching = records > 1; }

void end_batch(const host::Locked& locked) {
    locked->input.batching = false;
    input::flush_pending_motion(locked);
}

}  // namespace hp::commands
