#pragma once
// The asynchronous runtime: four worker threads, each running an io_context of
// its own, and a pool of at most three threads for blocking system work.
//
// A context run by one thread hands nothing to another thread: the thread
// that sees a socket ready is the one that runs its handler, and what it posts
// to itself waits in its own queue. So everything an object does stays on the
// worker its executor names, and the workers share no queue (the host lock and
// the sessions' inboxes are the only meeting points).
//
// Worker 0 serves input: the datagram sockets, the watchdog, the pad's motion,
// discovery and the trims. Workers 1 to 3 serve connections: the listeners
// run on worker 1, and each admitted connection is pinned for its whole life
// to one of them in turn, so a handshake's cryptography never delays a
// datagram that arrives meanwhile.
#include <array>
#include <atomic>
#include <cstddef>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/thread_pool.hpp>

namespace hp::main {

class Runtime {
public:
    static constexpr int kWorkers = 4;
    static constexpr int kBlockingThreads = 3;

    Runtime() : blocking_(kBlockingThreads) {
        for (auto& c : contexts_) {
            // One thread runs each context: the hint lets it skip waking others.
            c.io = std::make_unique<asio::io_context>(1);
            c.work.emplace(asio::make_work_guard(*c.io));
        }
    }
    ~Runtime() {
        stop();
        // The listeners' worker first: an accept still pending there holds a
        // socket of the worker it was meant for, which must still be there
        // when the accept is dropped. Nothing else holds another worker's
        // objects.
        contexts_[1].io.reset();
        for (auto it = contexts_.rbegin(); it != contexts_.rend(); ++it) it->io.reset();
    }
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    // The input worker's context.
    asio::io_context& io() { return *contexts_[0].io; }
    // The context of the worker that runs the listeners.
    asio::io_context& listener_io() { return *contexts_[1].io; }
    // The context for the next connection: workers 1 to 3 in turn. Callable
    // from any thread.
    asio::io_context& connection_io() {
        const std::size_t n = next_.fetch_add(1, std::memory_order_relaxed);
        return *contexts_[1 + n % (kWorkers - 1)].io;
    }

    asio::thread_pool& blocking() { return blocking_; }

    void run() {
        for (auto& c : contexts_) workers_.emplace_back([io = c.io.get()] { io->run(); });
    }

    // Ends every task; safe to call twice.
    void stop() {
        for (auto& c : contexts_) {
            c.work.reset();
            c.io->stop();
        }
        for (auto& t : workers_)
            if (t.joinable()) t.join();
        workers_.clear();
        blocking_.stop();
        blocking_.join();
    }

private:
    struct Context {
        std::unique_ptr<asio::io_context> io;
        std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work;
    };
    std::array<Context, kWorkers> contexts_;
    std::atomic<std::size_t> next_{0};
    asio::thread_pool blocking_;
    std::vector<std::thread> workers_;
};

}  // namespace hp::main
