#pragma once
// The motion worker: while the mapping engine has pointer or wheel velocity
// it steps every 8 ms under the host lock; otherwise it waits to be woken and
// costs nothing.
#include <memory>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/steady_timer.hpp>
#include <asio/strand.hpp>

#include "gamepad/gamepad_output.h"

namespace hp::gamepad {

class MotionWorker : public std::enable_shared_from_this<MotionWorker> {
public:
    explicit MotionWorker(const asio::any_io_executor& executor);

    // Starts the worker on the runtime for `output` in `state`.
    void start(std::shared_ptr<host::HostState> state, std::shared_ptr<GamepadOutput> output);

    // Wakes a waiting worker; callable from any thread, with the host lock held.
    void wake();

private:
    asio::awaitable<void> run(std::shared_ptr<host::HostState> state, std::shared_ptr<GamepadOutput> output);

    asio::strand<asio::any_io_executor> strand_;
    asio::steady_timer timer_;
};

}  // namespace hp::gamepad
