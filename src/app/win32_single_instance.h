#pragma once
// One host per machine: the named mutex hearthpad.exe holds for its life,
// and the events through which it tells a second start which Windows
// session it runs in (the contract is in win32_sessions.h).
#include <windows.h>

#include <memory>

#include "app/win32_first_run.h"
#include "app/win32_sessions.h"

namespace hp::app {

struct HandleCloser {
    void operator()(HANDLE handle) const {
        if (handle) CloseHandle(handle);
    }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

struct SingleInstance {
    InstanceOutcome outcome = InstanceOutcome::Unprotected;
    UniqueHandle mutex;  // held (owned) while outcome is Acquired
    // Held with the mutex: <base>-<session id>, then <base> (closed in the
    // opposite order, so <base> never outlives the other).
    UniqueHandle sessionEvent;
    UniqueHandle publishedEvent;
};

// Creates the mutex owned, with kSingletonMutexSddl, or finds that a host
// already holds it. Once the mutex is this process's, publishes its session
// under `sessionBase` (nothing is published where the events cannot be
// made; a second start then leaves quietly, as it always did).
SingleInstance acquire_single_instance(const wchar_t* name = kSingletonMutexName,
                                       const wchar_t* sessionBase = kHostSessionName);

// For a start that found the mutex held: which session the running host
// published, read by opening its events.
HostSession running_host_session(const wchar_t* sessionBase = kHostSessionName);

}  // namespace hp::app
