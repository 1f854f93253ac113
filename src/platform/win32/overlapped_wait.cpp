#include "platform/win32/overlapped_wait.h"

#include <algorithm>

namespace hp::platform {

namespace {

DWORD to_timeout(std::chrono::milliseconds bound) {
    // INFINITE is 0xFFFFFFFF: every bound stays below it.
    const auto ms = std::clamp<std::chrono::milliseconds::rep>(bound.count(), 0, INFINITE - 1);
    return static_cast<DWORD>(ms);
}

}  // namespace

bool wait_completed(OVERLAPPED& overlapped, std::chrono::milliseconds bound) {
    // The system stores the final status in the OVERLAPPED before it signals
    // the event, so once the event is signalled the status is final. The
    // status is what counts: an auto-reset event may already have been
    // consumed, or may be signalled for an earlier request.
    if (HasOverlappedIoCompleted(&overlapped)) return true;
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const DWORD waited = WaitForSingleObject(overlapped.hEvent, to_timeout(std::max(left, std::chrono::milliseconds{0})));
        if (HasOverlappedIoCompleted(&overlapped)) return true;
        if (waited != WAIT_OBJECT_0 || left.count() <= 0) return false;
    }
}

OverlappedOutcome wait_overlapped(HANDLE handle, OVERLAPPED& overlapped, std::chrono::milliseconds bound,
                                  std::chrono::milliseconds grace) {
    OverlappedOutcome outcome;
    if (!wait_completed(overlapped, bound)) {
        // CancelIoEx only asks: the request completes later (with
        // ERROR_OPERATION_ABORTED, or with its own result when it finished
        // meanwhile), and its OVERLAPPED must live until then.
        outcome.cancelled = true;
        CancelIoEx(handle, &overlapped);
        if (!wait_completed(overlapped, grace)) return outcome;
    }
    outcome.completed = true;
    if (!GetOverlappedResult(handle, &overlapped, &outcome.transferred, FALSE)) outcome.error = GetLastError();
    return outcome;
}

}  // namespace hp::platform
