#pragma once
// The asynchronous runtime: one io_context run by four worker threads, and a
// pool of at most three threads for blocking system work.
#include <memory>
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

    Runtime() : work_(asio::make_work_guard(io_)), blocking_(kBlockingThreads) {}
    ~Runtime() { stop(); }
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    asio::io_context& io() { return io_; }
    asio::thread_pool& blocking() { return blocking_; }

    void run() {
        for (int i = 0; i < kWorkers; ++i) workers_.emplace_back([this] { io_.run(); });
    }

    // Ends every task; safe to call twice.
    void stop() {
        work_.reset();
        io_.stop();
        for (auto& t : workers_)
            if (t.joinable()) t.join();
        workers_.clear();
        blocking_.stop();
        blocking_.join();
    }

private:
    asio::io_context io_;
    asio::executor_work_guard<asio::io_context::executor_type> work_;
    asio::thread_pool blocking_;
    std::vector<std::thread> workers_;
};

}  // namespace hp::main
