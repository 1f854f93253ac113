#pragma once
// What a client's command means, whichever way it came: the message of an
// encrypted session frame, or the input record of an authenticated datagram.
// Here, once for both transports: the session it belongs to, the replay
// checks, the control rules (who is in control, taking control, the time of
// the last input), and then held input and key synthesis (src/input), the
// clipboard, system actions and the pad. The transports (src/server) only
// read, authenticate, and write what they are told to.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "base/bytes.h"
#include "base/clock.h"
#include "host/host_state.h"
#include "platform/platform_services.h"
#include "protocol/handshake.h"
#include "protocol/input_record.h"

namespace hp::commands {

// Functions that need the host's lock take its token (host::Locked); the
// others take the lock themselves.

// ---------------------------------------------------------------- control

// Makes sessionId the client in control. A change releases everything the
// previous client held and refreshes the controller switch.
void set_active_client(const host::Locked& locked, std::uint64_t sessionId);

// Brings the virtual-controller switch in line with the controller flag of
// the active client's session (off when there is no active client or its
// session is gone). On a change: pad output told, "switch on" or "switch off"
// queued for the controller log and a ControllerSwitched event queued.
void refresh_controller_switch(const host::Locked& locked);

// Session sessionId has ended (its entry is gone): if it was in control,
// held input is released, nobody is in control and the switch follows.
void release_control(const host::Locked& locked, std::uint64_t sessionId);

// Ends every open session of clientId, as removing the device does: each is
// sent SessionEnded "removed_by_user" and closes; if one of them is in
// control, held input is released and the controller switched off at once.
void end_client_sessions(const host::Locked& locked, std::string_view clientId);

// ---------------------------------------------------------- input records

// Runs one command from session sessionId, received at now: replay and pad
// sequence checks, taking control, the command itself, then queuing a
// waiting Ctrl+Alt+Del result to the session. Stale or malformed commands
// are dropped silently.
void execute(const host::Locked& locked, std::uint64_t sessionId, const protocol::InputRecord& record, Instant now);

// The 20-byte input record of a session frame or an opened datagram:
// decoded and executed as above; a record that does not decode is dropped.
void input_record(const host::Locked& locked, std::uint64_t sessionId, ByteView record, Instant now);

// Records that arrive together (a batch of datagrams) are run between these
// two, under one lock: their pointer motion goes out as one move at the end.
void begin_batch(const host::Locked& locked, std::size_t records);
void end_batch(const host::Locked& locked);

// ------------------------------------------------------- session messages

// What the transport does after a session message has been applied.
struct Reply {
    enum class Kind {
        None,           // nothing
        Send,           // send one frame: type and body
        ReadClipboard,  // wait for a copy (when waitForCopy), then send clipboard_content(*platform)
    };
    Kind kind = Kind::None;
    std::uint8_t type = 0;
    std::string body;
    bool waitForCopy = false;
    std::shared_ptr<platform::PlatformServices> platform;
};

// Applies one decrypted message (frame type and body) of session sessionId;
// takes the host's lock itself. Malformed messages and types that are no
// session message of a client do nothing.
Reply session_message(host::HostState& state, std::uint64_t sessionId, std::uint8_t type, ByteView body);

// The ClipboardContent body for what is on the clipboard now (empty text
// when nothing readable is). Called without the host's lock: a program that
// put the text there by delayed rendering produces it first, which takes as
// long as that program takes.
std::string clipboard_content(platform::PlatformServices& platform);

// The ClipboardContent body for the clipboard text: at most 48000 bytes of
// it, cut further on a character boundary while escaping makes the body too
// large for one encrypted frame ("truncated" is then true).
std::string clipboard_reply(std::string_view text);

// ------------------------------------------------------------- handshakes

// What the transport does once a handshake frame has established a session:
// under the host lock, insert the session's entry (queuing SessionOpened) and
// return its id.
using RegisterSession = std::function<std::uint64_t(const host::Locked&, const protocol::Established&)>;

// One frame received before a session exists (pairing or authentication):
// the handshake's step, the changes to the pairing slot and the store, the
// events they raise (delivered once the lock is released), the ending of
// sessions a re-keying pairing leaves behind, and, when the step establishes
// a session, its registration through `registerSession`. The outcome says
// what to write. `random`, when given, replaces the system's generator for
// the ephemeral keys and nonces.
protocol::HandshakeOutcome handshake_frame(host::HostState& state, protocol::HandshakeState& hs,
                                           const protocol::HostAddresses& net, const IpAddress& peer,
                                           std::uint8_t type, ByteView body, const RegisterSession& registerSession,
                                           const protocol::RandomSource& random = {});

// The same in two halves, for a caller that must do something between them
// (tests do). prepare_handshake runs the protocol's step with the host lock
// free, taking it only for each read of the pairing slot and the store;
// commit_handshake takes the lock, checks that what the step read still
// holds (running the step again when it does not), applies the step's
// changes and registers the session. A pairing's save is waited for, with
// the lock free, before the pairing is announced or answered; a visit's save
// is not.
class PreparedHandshake {
public:
    struct Work;
    explicit PreparedHandshake(std::unique_ptr<Work> work);
    PreparedHandshake(PreparedHandshake&&) noexcept;
    PreparedHandshake& operator=(PreparedHandshake&&) noexcept;
    ~PreparedHandshake();

private:
    friend protocol::HandshakeOutcome commit_handshake(PreparedHandshake, const RegisterSession&);
    std::unique_ptr<Work> work_;
};
PreparedHandshake prepare_handshake(host::HostState& state, protocol::HandshakeState& hs,
                                    const protocol::HostAddresses& net, const IpAddress& peer, std::uint8_t type,
                                    ByteView body, const protocol::RandomSource& random = {});
protocol::HandshakeOutcome commit_handshake(PreparedHandshake prepared, const RegisterSession& registerSession);

}  // namespace hp::commands
