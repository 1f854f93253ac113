// The input record's meaning: which session sent it, whether it is fresh,
// taking control, and then the action its kind names (the protocol's typed
// reading of the payload) acted on.
#include <chrono>
#include <cmath>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "commands/commands.h"
#include "input/desktop_shortcuts.h"
#include "input/held_input.h"
#include "protocol/frame.h"
#include "sas/sas.h"

namespace hp::commands {
namespace {

using namespace std::chrono_literals;
using host::HostState;
using host::InputState;
using host::Locked;
using host::PadState;
using input::kVkCtrl;
using protocol::InputKind;
using protocol::InputRecord;

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
void mouse_move(const Locked& locked, const protocol::MouseMove& m, std::uint64_t seq, Instant now) {
    HostState& state = *locked;
    InputState& in = state.input;
    in.lastInputAt = now;
    if (seq <= in.lastMoveSeq) return;
    in.lastMoveSeq = seq;
    if (!std::isfinite(m.dx) || !std::isfinite(m.dy)) return;
    if (!in.lastMoveAt || now - *in.lastMoveAt > kKeepAwakeGap) os(state).keepAwake();
    in.lastMoveAt = now;
    input::move_pointer(locked, m.dx, m.dy);
}

// The keys of the desktop the host runs on (Windows' own by default).
void desktop_shortcut(const Locked& locked, std::uint8_t code) {
    if (const auto keys = input::desktop_shortcut_keys(locked->input.desktopStyle, code))
        input::press_shortcut(locked, keys->modifiers, keys->vk);
}

void edit_shortcut(const Locked& locked, std::uint8_t code) {
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

void media_key(const Locked& locked, std::uint8_t code) {
    static constexpr std::uint16_t kVks[] = {0xAF, 0xAE, 0xAD, 0xB3, 0xB0, 0xB1};
    if (code >= 1 && code <= 6)
        input::tap_key(locked, kVks[code - 1]);
    else if (code == 7)
        os(*locked).stepBrightness(true);
    else if (code == 8)
        os(*locked).stepBrightness(false);
}

void pad_sticks(const Locked& locked, const protocol::PadSticks& a, Instant now) {
    HostState& state = *locked;
    if (!state.input.padEnabled) return;
    state.input.padInputAt = now;
    PadState next = state.input.pad;
    next.leftX = a.leftX;
    next.leftY = a.leftY;
    next.rightX = a.rightX;
    next.rightY = a.rightY;
    input::set_pad(locked, next);
}

// Eleven buttons; a d-pad value past 8 is no direction.
void pad_buttons(const Locked& locked, const protocol::PadButtons& a, Instant now) {
    HostState& state = *locked;
    if (!state.input.padEnabled) return;
    state.input.padInputAt = now;
    PadState next = state.input.pad;
    next.buttons = a.buttons & 0x7FF;
    next.dpad = a.dpad > 8 ? 0 : a.dpad;
    next.leftTrigger = a.leftTrigger;
    next.rightTrigger = a.rightTrigger;
    input::set_pad(locked, next);
}

// One action, by its type.
struct Run {
    const Locked& locked;
    std::uint64_t seq;
    Instant now;

    void operator()(const protocol::UnknownKind&) const {}
    void operator()(const protocol::MouseMove& a) const { mouse_move(locked, a, seq, now); }
    void operator()(const protocol::MouseButton& a) const {
        if (a.down)
            input::button_down(locked, a.button, a.modifiers);
        else
            input::button_up(locked, a.button);
    }
    void operator()(const protocol::Scroll& a) const { input::scroll(locked, a.x, a.y); }
    void operator()(const protocol::Key& a) const {
        if (a.action == 1 || a.action == 2)
            input::key_down(locked, a.code, a.modifiers);
        else if (a.action == 0)
            input::key_up(locked, a.code);
    }
    void operator()(const protocol::PinchZoom& a) const { input::pinch_zoom(locked, a.phase, a.delta, now); }
    void operator()(const protocol::DesktopShortcut& a) const { desktop_shortcut(locked, a.code); }
    void operator()(const protocol::EditShortcut& a) const { edit_shortcut(locked, a.code); }
    void operator()(const protocol::ModifierSet& a) const { input::set_modifiers(locked, a.mask); }
    void operator()(const protocol::MediaKey& a) const { media_key(locked, a.code); }
    void operator()(const protocol::PadSticks& a) const { pad_sticks(locked, a, now); }
    void operator()(const protocol::PadButtons& a) const { pad_buttons(locked, a, now); }
    void operator()(const protocol::ReleaseAll&) const { input::release_all(locked); }
};

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

void execute(const Locked& locked, std::uint64_t sessionId, const InputRecord& record, Instant now) {
    HostState& state = *locked;
    const auto it = state.sessions.find(sessionId);
    if (it == state.sessions.end() || record.seq == 0) return;
    host::InputSequences& sequences = it->second.replay;
    if (!sequences.window.accept(record.seq)) return;
    if (!accept_pad_sequence(sequences, record.kind, record.seq)) return;

    set_active_client(locked, sessionId);

    if (protocol::is_known_kind(record.kind)) {
        if (record.kind != static_cast<std::uint8_t>(InputKind::MouseMove)) {
            input::flush_pending_motion(locked);
            state.input.lastInputAt = now;
        }
        std::visit(Run{locked, record.seq, now}, protocol::decode_input_action(record));
    }
    deliver_sas_result(state, sessionId);
}

void input_record(const Locked& locked, std::uint64_t sessionId, ByteView record, Instant now) {
    if (auto decoded = protocol::decode_input_record(record)) execute(locked, sessionId, *decoded, now);
}

void begin_batch(const Locked& locked, std::size_t records) { locked->input.batching = records > 1; }

void end_batch(const Locked& locked) {
    locked->input.batching = false;
    input::flush_pending_motion(locked);
}

}  // namespace hp::commands
