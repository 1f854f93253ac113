#include "gamepad/motion_worker.h"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/experimental/as_tuple.hpp>
#include <asio/post.hpp>
#include <asio/use_awaitable.hpp>

#include "pad_mapping/motion.h"

namespace hp::gamepad {

namespace {
constexpr auto use_tuple = asio::experimental::as_tuple(asio::use_awaitable);
}  // namespace

MotionWorker::MotionWorker(const asio::any_io_executor& executor)
    : strand_(asio::make_strand(executor)), timer_(strand_) {}

void MotionWorker::start(std::shared_ptr<host::HostState> state, std::shared_ptr<GamepadOutput> output) {
    // The task owns the worker: it lives as long as the runtime keeps the task.
    asio::co_spawn(
        strand_,
        [self = shared_from_this(), state = std::move(state), output = std::move(output)]() -> asio::awaitable<void> {
            co_await self->run(state, output);
        },
        asio::detached);
}

void MotionWorker::wake() {
    // The cancel runs on the worker's strand; the worker re-checks the
    // running flag (set before this call) before it waits, so no wake-up is
    // lost.
    asio::post(strand_, [self = weak_from_this()] {
        if (auto worker = self.lock()) worker->timer_.cancel();
    });
}

asio::awaitable<void> MotionWorker::run(std::shared_ptr<host::HostState> state,
                                        std::shared_ptr<GamepadOutput> output) {
    for (;;) {
        if (!output->motion_running()) {
            timer_.expires_at(asio::steady_timer::time_point::max());
            co_await timer_.async_wait(use_tuple);  // a cancel is the wake-up
            if (!output->motion_running()) continue;
        }
        bool again = false;
        {
            host::HostLock lock(*state);
            again = output->motion_step(lock, Clock::now());
        }
        if (!again) continue;
        timer_.expires_after(pad_mapping::kMotionStep);
        auto [ec] = co_await timer_.async_wait(use_tuple);
        (void)ec;  // a wake-up while stepping only makes the next step sooner
    }
}

}  // namespace hp::gamepad
