#pragma once
// Shared PCs and fast user switching, the window-free rules: what a change
// of this Windows session means for the input a phone holds down, when the
// tray window asks again for session notifications, and which session the
// host that holds the single-instance mutex runs in, as a second start reads
// it. Plain numbers instead of <windows.h>, so native tests run them;
// win32_session_notify.cpp and win32_single_instance.cpp check the numbers
// against the system headers.
#include <functional>
#include <optional>
#include <string>

#include "host/host_state.h"

namespace hp::app {

// ------------------------------------------------------------ session changes

// wParam of WM_WTSSESSION_CHANGE (0x02B1), the WTS_* codes.
inline constexpr unsigned kWmWtsSessionChange = 0x02B1;
inline constexpr unsigned long kWtsConsoleConnect = 1;
inline constexpr unsigned long kWtsConsoleDisconnect = 2;
inline constexpr unsigned long kWtsRemoteConnect = 3;
inline constexpr unsigned long kWtsRemoteDisconnect = 4;
inline constexpr unsigned long kWtsSessionLogon = 5;
inline constexpr unsigned long kWtsSessionLogoff = 6;
inline constexpr unsigned long kWtsSessionLock = 7;
inline constexpr unsigned long kWtsSessionUnlock = 8;

enum class SessionChangeAction {
    None,
    ReleaseInput,  // let go of every key, button and the pad, as the watchdog does
};

// The session is locked, or its user switched away (the console went to
// another user's session) or left a remote connection: nobody sees this
// desktop any more, so nothing a phone holds may stay pressed in it. Every
// other change (connect, unlock, logon, logoff: the process ends through
// WM_ENDSESSION, which releases too) leaves the input alone.
SessionChangeAction session_change_action(unsigned long wtsCode);

// The window's WM_WTSSESSION_CHANGE: does what session_change_action says,
// through host_ops (HostState's lock taken and dropped there, events handed
// on after unlocking). Nothing without a host.
void apply_session_change(host::HostState* state, unsigned long wtsCode);

// WTSRegisterSessionNotification may fail while the system's session
// services are still starting (at logon it answers RPC_S_INVALID_BINDING
// until "Global\TermSrvReadyEvent" is set). The tray window then asks again
// on a timer instead of waiting: after a failed attempt number `failures`
// (1 for the first), the delay before the next one: every 2 s for the first
// two minutes, then every 30 s.
unsigned session_registration_retry_ms(unsigned failures);

// ------------------------------------------------------ the running host's session

// The contract between a running host and a second start. A host that holds
// the single-instance mutex also holds two named events in the same
// namespace, created right after the mutex and in this order:
//   <base>-<session id>   the decimal id of the host's Windows session
//   <base>                "the host publishes its session"
// with <base> "Global\HearthpadHostSession". They are never signalled;
// only their existence is read. Their descriptor (kHostSessionSddl) gives
// SYSTEM and Administrators full control and every authenticated user
// SYNCHRONIZE alone, enough to open one and see that it exists, not to
// signal it, change its descriptor or delete it early; their label is
// medium with no write up, so an elevated host's events open for medium
// processes too. They go with the host's process.
//
// (Events rather than a small file mapping holding the id: creating a file
// mapping in the global namespace from a user's session needs
// SeCreateGlobalPrivilege, which a host started without elevation lacks.)
inline constexpr wchar_t kHostSessionName[] = L"Global\\HearthpadHostSession";
inline constexpr wchar_t kHostSessionSddl[] =
    L"D:(A;;0x001F0003;;;SY)(A;;0x001F0003;;;BA)(A;;0x00100000;;;AU)S:(ML;;NW;;;ME)";

// The name of the event that says "the host runs in session `sessionId`".
std::wstring host_session_marker_name(const std::wstring& base, unsigned long sessionId);

// What opening one of those events found.
enum class ObjectProbe { Present, Absent, Unknown };

// OpenEventW's answer: a handle, or a refusal (ERROR_ACCESS_DENIED, 5: it
// exists, made with a descriptor this user may not open), is Present; "no
// such object" (ERROR_FILE_NOT_FOUND, 2) is Absent; anything else (an
// object of another type under that name, 6) tells nothing.
ObjectProbe object_probe(bool gotHandle, unsigned long lastError);

enum class HostSession {
    Same,     // the host runs in this session: leave quietly
    Other,    // it runs in another user's session: say so
    Unknown,  // no answer (a host that does not publish, or not yet): leave quietly
};

// Reads the running host's session through `probe` (which opens a named
// event): first <base>, then <base>-<this session>. The order matters: the
// host creates its session's event before <base>, so once <base> exists the
// absence of this session's event means another session. Without this
// process's session id, Unknown.
HostSession find_host_session(const std::wstring& base, std::optional<unsigned long> ownSession,
                              const std::function<ObjectProbe(const std::wstring& name)>& probe);

// What a second start shows before it exits: for a host in another session,
// the text of an information box; otherwise nothing (it exits without a
// word, as it always has).
inline constexpr char kOtherUserText[] = "Hearthpad is already running for another user of this PC.";
std::optional<std::string> second_start_message(HostSession session);

}  // namespace hp::app
