#pragma once
// Anti-replay for input commands: each sequence number is accepted once,
// and only within 512 of the highest one seen. Pure; one per session.
#include <bitset>
#include <cstdint>

namespace hp::protocol {

class ReplayWindow {
public:
    static constexpr std::uint64_t kBits = 512;

    // True the first time `seq` is offered while it lies within the window;
    // moving ahead forgets what falls out behind.
    bool accept(std::uint64_t seq);

    std::uint64_t highest() const { return highest_; }

private:
    std::uint64_t highest_ = 0;
    std::bitset<kBits> seen_;
};

}  // namespace hp::protocol
