#pragma once
// The host's timers that must cost nothing while it idles: the stale-input
// watchdog, which ticks only while something is held, and the delayed
// working-set trims, one pending at a time.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/steady_timer.hpp>
#include <asio/strand.hpp>

#include "base/clock.h"
#include "host/host_state.h"

namespace hp::main {

// Applies the stale-input rules every 250 ms while something is held; while
// nothing is, it waits until input arrives (HostState::wakeWatchdog), and its
// first tick follows within one period.
class Watchdog : public std::enable_shared_from_this<Watchdog> {
public:
    static constexpr std::chrono::milliseconds kPeriod{250};

    Watchdog(const asio::any_io_executor& executor, std::shared_ptr<host::HostState> state);

    // Installs the wake-up in the state and starts ticking on the runtime.
    void start();

    // Ticks so far (each one applies the rules once).
    std::uint64_t ticks() const { return ticks_.load(); }

private:
    asio::awaitable<void> run();
    void wake();

    asio::strand<asio::any_io_executor> strand_;
    asio::steady_timer timer_;
    std::shared_ptr<host::HostState> state_;
    std::atomic<std::uint64_t> ticks_{0};
};

// When to trim the working set: 5 s after start, and 30 s after the last
// established session ended unless a connection was admitted meanwhile. One
// trim is pending at a time; a new one replaces it. Pure: the runtime timer
// waits until due() and asks check().
class TrimPlan {
public:
    static constexpr std::chrono::seconds kAfterStart{5};
    static constexpr std::chrono::seconds kAfterLastSession{30};

    void started(Instant now);
    // `activity` is the count of admitted connections at that moment.
    void last_session_ended(Instant now, std::uint64_t activity);

    std::optional<Instant> due() const { return due_; }

    enum class Verdict { Wait, Trim, Skip };
    // At `now` with `activity` admitted connections so far: not yet, trim,
    // or drop the trim (a connection arrived). Trim and Skip clear the plan.
    Verdict check(Instant now, std::uint64_t activity);

private:
    std::optional<Instant> due_;
    std::optional<std::uint64_t> activityAtEnd_;  // set for the after-session trim
};

// Runs a TrimPlan on the runtime: one timer, no threads.
class TrimTimer : public std::enable_shared_from_this<TrimTimer> {
public:
    TrimTimer(const asio::any_io_executor& executor, std::function<void()> trim,
              std::function<std::uint64_t()> activity);

    void started();
    void last_session_ended();  // callable from any thread

private:
    void arm();
    asio::strand<asio::any_io_executor> strand_;
    asio::steady_timer timer_;
    std::function<void()> trim_;
    std::function<std::uint64_t()> activity_;
    TrimPlan plan_;  // touched on the strand only
};

}  // namespace hp::main
