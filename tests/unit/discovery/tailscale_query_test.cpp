// The Tailscale query over real sockets and a real program: a fake local API
// on 127.0.0.1 that answers like the real one (or not), and a fake
// `tailscale` script placed first on the search path.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/read_until.hpp>
#include <asio/thread_pool.hpp>
#include <asio/use_future.hpp>
#include <asio/write.hpp>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <thread>

#include "discovery/tailscale_query.h"
#include "unit/discovery/support.h"

namespace hp::discovery {
namespace {

using asio::ip::tcp;
using namespace std::chrono_literals;
using test::texts;

// The exact request of the real Tailscale clients, written out here on its own.
const std::string kExpectedRequest =
    "GET /localapi/v0/status HTTP/1.0\r\nHost: local-tailscaled.sock\r\nSec-Tailscale: localapi\r\n"
    "Connection: close\r\n\r\n";

const char* const kApiDoc = R"({"Self":{"DNSName":"api-node.ts.net.","TailscaleIPs":["100.101.1.2"]},"Peer":{}})";
const char* const kCliDoc = R"({"Self":{"DNSName":"cli-node.ts.net.","TailscaleIPs":["100.101.9.9"]}})";

enum class Api { Good, Forbidden, NotJson, Silent, Refused };

// One connection's worth of fake local API on a loopback port.
class FakeLocalApi {
public:
    explicit FakeLocalApi(Api mode) : mode_(mode), acceptor_(io_, tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0)) {
        port_ = acceptor_.local_endpoint().port();
        if (mode_ == Api::Refused) {
            acceptor_.close();  // nobody listens on the port any more
            return;
        }
        thread_ = std::thread([this] { serve(); });
    }
    ~FakeLocalApi() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) {
            // A blocking accept is not ended by closing the acceptor: a
            // connection of our own wakes it when no query came.
            asio::error_code ec;
            tcp::socket poke(io_);
            poke.connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), port_), ec);
            thread_.join();
        }
    }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
    std::string request() {
        std::lock_guard lock(mutex_);
        return request_;
    }
    int connections() {
        std::lock_guard lock(mutex_);
        return connections_;
    }

private:
    void serve() {
        asio::error_code ec;
        tcp::socket s(io_);
        acceptor_.accept(s, ec);
        if (ec) return;
        {
            std::lock_guard lock(mutex_);
            if (stop_) return;  // the destructor's wake-up call
        }
        std::string in;
        asio::read_until(s, asio::dynamic_buffer(in), "\r\n\r\n", ec);
        {
            std::lock_guard lock(mutex_);
            ++connections_;
            request_ = in;
        }
        std::string reply;
        switch (mode_) {
            case Api::Good:
                reply = std::string("HTTP/1.0 200 OK\r\nContent-Type: application/json\r\n\r\n") + kApiDoc;
                break;
            case Api::Forbidden:
                reply = "HTTP/1.0 403 Forbidden\r\nContent-Type: text/plain\r\n\r\nlocalapi: forbidden";
                break;
            case Api::NotJson: reply = "HTTP/1.0 200 OK\r\n\r\n<html>hello</html>"; break;
            case Api::Silent: {  // holds the connection and says nothing until the test ends
                std::unique_lock lock(mutex_);
                wake_.wait_for(lock, 30s, [this] { return stop_; });
                return;
            }
            case Api::Refused: return;
        }
        asio::write(s, asio::buffer(reply), ec);
        s.shutdown(tcp::socket::shutdown_both, ec);
    }

    Api mode_;
    asio::io_context io_;
    tcp::acceptor acceptor_;
    std::uint16_t port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::string request_;
    int connections_ = 0;
};

// A directory with a `tailscale` script, put first on PATH for one test.
class FakeTailscaleProgram : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (std::filesystem::temp_directory_path() / "hp-tailscale-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
        const char* old = ::getenv("PATH");
        oldPath_ = old ? old : "";
        ::setenv("PATH", (dir_.string() + ":" + oldPath_).c_str(), 1);
        write_script(0, kCliDoc);
    }
    void TearDown() override {
        ::setenv("PATH", oldPath_.c_str(), 1);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    // The script notes its arguments, prints `doc` and exits with `code`.
    void write_script(int code, const std::string& doc) {
        const auto path = dir_ / "tailscale";
        std::ofstream(path) << "#!/bin/sh\necho \"$@\" >> '" << (dir_ / "runs").string() << "'\n"
                            << "cat <<'DOC'\n" << doc << "\nDOC\necho 'some warning' >&2\nexit " << code << "\n";
        ::chmod(path.c_str(), 0755);
    }
    std::vector<std::string> runs() const {
        std::vector<std::string> out;
        std::ifstream in(dir_ / "runs");
        for (std::string line; std::getline(in, line);) out.push_back(line);
        return out;
    }

    // One query as the discovery task makes it.
    std::optional<TailscaleInfo> query(const std::string& api, bool has_range) {
        asio::io_context io;
        asio::thread_pool blocking(1);
        TailscaleQueryOptions options;
        options.localApi = api;
        auto querier = make_tailscale_querier(blocking.get_executor(), platform::make_process_runner(), options);
        auto result = asio::co_spawn(io, querier->query(has_range), asio::use_future);
        io.run();
        blocking.join();
        return result.get();
    }

    std::filesystem::path dir_;
    std::string oldPath_;
};

TEST_F(FakeTailscaleProgram, GoodLocalApiAnswerIsUsed) {
    FakeLocalApi api(Api::Good);
    const auto info = query(api.address(), true);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->dnsName, "api-node.ts.net");
    EXPECT_EQ(texts(info->selfIps), std::vector<std::string>{"100.101.1.2"});
    EXPECT_EQ(api.request(), kExpectedRequest);
    EXPECT_EQ(api.request().size(), 109u);
    EXPECT_TRUE(runs().empty()) << "the program is not needed";
}

TEST_F(FakeTailscaleProgram, LocalApiFailuresFallBackToTheProgram) {
    for (Api mode : {Api::Forbidden, Api::NotJson, Api::Silent, Api::Refused}) {
        SCOPED_TRACE(static_cast<int>(mode));
        std::filesystem::remove(dir_ / "runs");
        FakeLocalApi api(mode);
        const auto started = std::chrono::steady_clock::now();
        const auto info = query(api.address(), true);
        const auto took = std::chrono::steady_clock::now() - started;
        ASSERT_TRUE(info);
        EXPECT_EQ(info->dnsName, "cli-node.ts.net");
        EXPECT_EQ(runs(), std::vector<std::string>{"status --json"});
        if (mode == Api::Silent) {
            EXPECT_EQ(api.request(), kExpectedRequest);
            EXPECT_GE(took, 800ms) << "the local API had its 800 ms";
            EXPECT_LT(took, 10s) << "the fallback came while the server still held the connection";
        }
        if (mode == Api::Refused) {
            EXPECT_EQ(api.connections(), 0);
        }
    }
}

TEST_F(FakeTailscaleProgram, WithoutTailscaleAddressesOnlyTheProgramIsAsked) {
    FakeLocalApi api(Api::Good);
    const auto info = query(api.address(), false);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->dnsName, "cli-node.ts.net");
    EXPECT_EQ(runs().size(), 1u);
    EXPECT_EQ(api.connections(), 0);
}

TEST_F(FakeTailscaleProgram, ProgramFailuresGiveNothing) {
    write_script(1, kCliDoc);
    EXPECT_FALSE(query("127.0.0.1:1", false));
    write_script(0, "Tailscale is stopped.");
    EXPECT_FALSE(query("127.0.0.1:1", false));
    std::filesystem::remove(dir_ / "tailscale");
    ::setenv("PATH", dir_.c_str(), 1);  // no `tailscale` anywhere
    EXPECT_FALSE(query("127.0.0.1:1", false));
    EXPECT_EQ(runs().size(), 2u);
}

// Refused before any connection is tried.
TEST(LocalApiAddress, MustBeASocketAddress) {
    for (const char* address : {"", "127.0.0.1", "localhost:80", "127.0.0.1:99999", "127.0.0.1:x",
                                "[::1]", "127.0.0.1:80:1"}) {
        asio::io_context io;
        auto result = asio::co_spawn(io, fetch_local_api(address, 800ms, 1 << 20), asio::use_future);
        io.run();
        EXPECT_FALSE(result.get()) << address;
    }
}

}  // namespace
}  // namespace hp::discovery
