#pragma once
// SIGINT and SIGTERM taken synchronously: blocked for this thread and every
// thread started after it, and readable from a descriptor the main loop
// polls. Make it first in main, before any thread starts.
namespace hp::platform {

class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The descriptor that becomes readable when a stop signal arrives; -1
    // when none could be made (the signals then stay blocked).
    int fd() const { return fd_; }

private:
    int fd_ = -1;
};

}  // namespace hp::platform
