#include "platform/posix/stop_signals.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace hp::platform {

StopSignals::StopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    fd_ = signalfd(-1, &signals, SFD_CLOEXEC);
}

StopSignals::~StopSignals() {
    if (fd_ >= 0) close(fd_);
}

}  // namespace hp::platform
