#include "protocol/replay_window.h"

namespace hp::protocol {

bool ReplayWindow::accept(std::uint64_t seq) {
    if (seq > highest_) {
        const std::uint64_t ahead = seq - highest_;
        if (ahead >= kBits) {
            seen_.reset();
        } else {
            for (std::uint64_t i = 1; i <= ahead; ++i) seen_.reset((highest_ + i) % kBits);
        }
        highest_ = seq;
        seen_.set(seq % kBits);
        return true;
    }
    if (highest_ - seq >= kBits || seen_.test(seq % kBits)) return false;
    seen_.set(seq % kBits);
    return true;
}

}  // namespace hp::protocol
