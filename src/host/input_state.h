#pragma once
// Held-input bookkeeping shared by every input source (sessions, datagrams,
// watchdog, tray). Guarded by the HostState mutex.
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "base/clock.h"
#include "protocol/replay_window.h"

namespace hp::host {

class Locked;

using KeyCode = std::uint16_t;
using ModifierMask = std::uint8_t;  // 1 Shift, 2 Ctrl, 4 Alt, 8 Win

// Per-session anti-replay state for input commands: every command's sequence
// number passes the window; gamepad commands must also move forward within
// their own kind.
struct InputSequences {
    protocol::ReplayWindow window;
    std::uint64_t lastPadSticksSeq = 0;
    std::uint64_t lastPadButtonsSeq = 0;
};

// The client's gamepad.
struct PadState {
    std::uint16_t buttons = 0;  // low 11 bits
    std::int16_t leftX = 0, leftY = 0, rightX = 0, rightY = 0;
    std::uint8_t dpad = 0;  // 0 none, 1..8
    std::uint8_t leftTrigger = 0, rightTrigger = 0;
    bool neutral() const { return *this == PadState{}; }
    friend bool operator==(const PadState&, const PadState&) = default;
};

// Where pad states go: the virtual pad or the keyboard/mouse mapping. The
// default does nothing until a controller output is installed. Called only
// under the host's lock, whose token each call carries.
class PadOutput {
public:
    virtual ~PadOutput() = default;
    // Apply a changed (or cleared) pad state.
    virtual void apply(const Locked&, const PadState&) {}
    // Send a neutral report to the virtual pad, if one exists.
    virtual void neutral(const Locked&) {}
    // The controller switch changed: on/off and whether the active client is gone.
    virtual void setSwitch(const Locked&, bool /*on*/, bool /*clientGone*/) {}
    // Let go of everything the output holds (part of releasing all input).
    virtual void reset(const Locked&) {}
};

// The desktop whose keys the desktop-shortcut commands press: Windows' own,
// or the nearest of GNOME Shell or KDE Plasma (input/desktop_shortcuts.h).
// Other desktops get Windows' keys.
enum class DesktopStyle { Windows, Gnome, Kde, Other };

struct InputState {
    DesktopStyle desktopStyle = DesktopStyle::Windows;  // chosen at start-up
    std::optional<Instant> lastInputAt;
    std::optional<Instant> gestureAt;
    bool zoomCtrlHeld = false;
    std::optional<Instant> lastMoveAt;
    std::uint64_t lastMoveSeq = 0;
    float moveRemainderX = 0, moveRemainderY = 0;
    std::uint8_t heldButtons = 0;  // bit0 left, bit1 right, bit2 middle
    ModifierMask heldModifiers = 0;
    std::set<KeyCode> heldKeys;
    // Key: key code, or 0x10000 | button number for mouse buttons.
    std::map<std::uint32_t, ModifierMask> extraModifiers;
    bool batching = false;
    std::int32_t pendingMotionX = 0, pendingMotionY = 0;
    std::optional<std::uint64_t> activeClient;
    bool lastSeenControllerSwitch = false;
    bool padEnabled = false;
    PadState pad;
    std::optional<Instant> padInputAt;
    // The last synthetic event was refused by the system (the controller log
    // has a line for each change of this).
    bool injectionRefused = false;

    // Something the stale-input watchdog may have to let go of: a key,
    // button or modifier, the zoom Ctrl, or a pad that is not neutral.
    bool holding() const {
        return !heldKeys.empty() || heldButtons != 0 || heldModifiers != 0 || zoomCtrlHeld || !pad.neutral();
    }
};

}  // namespace hp::host
