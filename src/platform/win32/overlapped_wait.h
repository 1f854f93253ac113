#pragma once
// Waiting for an overlapped request with a bound. A request that is still
// pending when the bound runs out is cancelled with CancelIoEx, and the wait
// goes on until the cancelled request has completed: the system writes the
// OVERLAPPED (and any output buffer) when the request completes, so neither
// may be released before that. A request that does not complete even after
// the grace for cancellation is reported as still pending; the caller must
// then keep its OVERLAPPED alive and give up the handle.
#include <windows.h>

#include <chrono>

namespace hp::platform {

struct OverlappedOutcome {
    bool completed = false;  // false: still pending after the bound and the grace
    bool cancelled = false;  // the bound ran out and CancelIoEx was called
    DWORD error = 0;         // when completed: 0 on success, else the request's error
    DWORD transferred = 0;   // when completed: bytes transferred
};

// How long a cancelled request gets to complete.
inline constexpr std::chrono::milliseconds kCancelGrace{1000};

// For a request on `handle` that was started with `overlapped` (whose hEvent
// is set, manual- or auto-reset): waits for it at most `bound`, then cancels
// it and waits at most `grace` more. A request that completed before the
// call returns at once.
OverlappedOutcome wait_overlapped(HANDLE handle, OVERLAPPED& overlapped, std::chrono::milliseconds bound,
                                  std::chrono::milliseconds grace = kCancelGrace);

// Waits at most `bound` for the request of `overlapped` to complete, without
// cancelling it; true when it has.
bool wait_completed(OVERLAPPED& overlapped, std::chrono::milliseconds bound);

}  // namespace hp::platform
