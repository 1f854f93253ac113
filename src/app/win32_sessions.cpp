#include "app/win32_sessions.h"

#include "host_ops/host_ops.h"

namespace hp::app {

SessionChangeAction session_change_action(unsigned long wtsCode) {
    switch (wtsCode) {
        case kWtsSessionLock:
        case kWtsConsoleDisconnect:
        case kWtsRemoteDisconnect:
            return SessionChangeAction::ReleaseInput;
        default:
            return SessionChangeAction::None;
    }
}

void apply_session_change(host::HostState* state, unsigned long wtsCode) {
    if (!state) return;
    if (session_change_action(wtsCode) == SessionChangeAction::ReleaseInput) host_ops::release_all_input(*state);
}

unsigned session_registration_retry_ms(unsigned failures) {
    constexpr unsigned kFastMs = 2000, kSlowMs = 30000;
    constexpr unsigned kFastTries = 60;  // two minutes at 2 s
    return failures < kFastTries ? kFastMs : kSlowMs;
}

std::wstring host_session_marker_name(const std::wstring& base, unsigned long sessionId) {
    return base + L"-" + std::to_wstring(sessionId);
}

ObjectProbe object_probe(bool gotHandle, unsigned long lastError) {
    constexpr unsigned long kFileNotFound = 2;  // ERROR_FILE_NOT_FOUND
    constexpr unsigned long kAccessDenied = 5;  // ERROR_ACCESS_DENIED
    if (gotHandle || lastError == kAccessDenied) return ObjectProbe::Present;
    return lastError == kFileNotFound ? ObjectProbe::Absent : ObjectProbe::Unknown;
}

HostSession find_host_session(const std::wstring& base, std::optional<unsigned long> ownSession,
                              const std::function<ObjectProbe(const std::wstring& name)>& probe) {
    if (!ownSession) return HostSession::Unknown;
    if (probe(base) != ObjectProbe::Present) return HostSession::Unknown;
    switch (probe(host_session_marker_name(base, *ownSession))) {
        case ObjectProbe::Present: return HostSession::Same;
        case ObjectProbe::Absent: return HostSession::Other;
        case ObjectProbe::Unknown: break;
    }
    return HostSession::Unknown;
}

std::optional<std::string> second_start_message(HostSession session) {
    if (session == HostSession::Other) return std::string(kOtherUserText);
    return std::nullopt;
}

}  // namespace hp::app
