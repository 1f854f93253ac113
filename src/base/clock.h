#pragma once
// The monotonic clock every timing rule of the host is measured on.
#include <chrono>

namespace hp {

using Clock = std::chrono::steady_clock;
using Instant = Clock::time_point;

}  // namespace hp
