#include "main/idle_timers.h"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/post.hpp>

#include "input/held_input.h"
#include "server/awaitable.h"

namespace hp::main {

// ------------------------------------------------------------------- watchdog

Watchdog::Watchdog(const asio::any_io_executor& executor, std::shared_ptr<host::HostState> state)
    : strand_(asio::make_strand(executor)), timer_(strand_), state_(std::move(state)) {}

void Watchdog::start() {
    {
        host::HostLock lock(*state_);
        state_->wakeWatchdog = [weak = weak_from_this()] {
            if (auto self = weak.lock()) self->wake();
        };
    }
    asio::co_spawn(
        strand_, [self = shared_from_this()]() -> asio::awaitable<void> { co_await self->run(); }, asio::detached);
}

void Watchdog::wake() {
    // The cancel runs on the watchdog's strand after it started to wait
    // (it decides to sleep and waits without leaving the strand).
    asio::post(strand_, [weak = weak_from_this()] {
        if (auto self = weak.lock()) self->timer_.cancel();
    });
}

asio::awaitable<void> Watchdog::run() {
    for (;;) {
        bool sleep = false;
        {
            host::HostLock lock(*state_);
            input::watchdog_tick(lock, Clock::now());
            ++ticks_;
            sleep = !state_->input.holding();
            state_->watchdogAsleep = sleep;
        }
        if (sleep) {
            timer_.expires_at(asio::steady_timer::time_point::max());
            co_await timer_.async_wait(server::use_tuple);  // a cancel is the wake-up
        }
        timer_.expires_after(kPeriod);
        co_await timer_.async_wait(server::use_tuple);
    }
}

// ------------------------------------------------------------------ trim plan

void TrimPlan::started(Instant now) {
    due_ = now + kAfterStart;
    activityAtEnd_.reset();
}

void TrimPlan::last_session_ended(Instant now, std::uint64_t activity) {
    due_ = now + kAfterLastSession;
    activityAtEnd_ = activity;
}

TrimPlan::Verdict TrimPlan::check(Instant now, std::uint64_t activity) {
    if (!due_ || now < *due_) return Verdict::Wait;
    const bool admitted = activityAtEnd_ && activity != *activityAtEnd_;
    due_.reset();
    activityAtEnd_.reset();
    return admitted ? Verdict::Skip : Verdict::Trim;
}

// ----------------------------------------------------------------- trim timer

TrimTimer::TrimTimer(const asio::any_io_executor& executor, std::function<void()> trim,
                     std::function<std::uint64_t()> activity)
    : strand_(asio::make_strand(executor)), timer_(strand_), trim_(std::move(trim)), activity_(std::move(activity)) {}

void TrimTimer::started() {
    asio::post(strand_, [self = shared_from_this()] {
        self->plan_.started(Clock::now());
        self->arm();
    });
}

void TrimTimer::last_session_ended() {
    asio::post(strand_, [self = shared_from_this()] {
        self->plan_.last_session_ended(Clock::now(), self->activity_());
        self->arm();
    });
}

void TrimTimer::arm() {
    const auto due = plan_.due();
    if (!due) return;
    timer_.expires_at(*due);  // replaces the pending trim
    timer_.async_wait([weak = weak_from_this()](asio::error_code ec) {
        if (ec) return;
        auto self = weak.lock();
        if (!self) return;
        if (self->plan_.check(Clock::now(), self->activity_()) == TrimPlan::Verdict::Trim) self->trim_();
    });
}

}  // namespace hp::main
