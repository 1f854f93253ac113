#pragma once
// A real host on loopback for integration tests: start_host with a temporary
// data directory, an ephemeral port and a recording platform.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <filesystem>
#include <mutex>
#include <thread>

#include "main/start_host.h"
#include "platform/fake/fake_system.h"
#include "platform/fake/recording_platform.h"
#include "protocol/handshake.h"
#include "host_ops/host_ops.h"
#include "support/test_client.h"

namespace hp::test {

using host::HostEvent;
using host::HostEventKind;
using host::HostLock;
using host::HostState;
using main::HostHandle;

class HostFixture : public ::testing::Test {
protected:
    void start(std::chrono::milliseconds idle = std::chrono::seconds(10)) {
        dir_ = std::filesystem::temp_directory_path() /
               ("hp-server-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        system_ = std::make_shared<fake::FakeSystem>();
        system_->set_env("RC_DATA_DIR", (dir_ / "data").string());
        system_->set_env("LOCALAPPDATA", (dir_ / "local").string());
        system_->set_env("COMPUTERNAME", "Test PC");
        platform_ = std::make_shared<fake::RecordingPlatform>();
        main::StartOptions o;
        o.system = system_;
        o.platform = platform_;
        o.notifyTray = [this](const HostEvent& e) {
            std::lock_guard lock(mutex_);
            events_.push_back(e);
            cv_.notify_all();
        };
        o.ports = server::PortRange{0, 0};
        o.idleTimeout = idle;
        if (maxQueuedBytes_) o.maxQueuedBytes = *maxQueuedBytes_;
        if (configure_) configure_(o);
        auto h = main::start_host(std::move(o));
        ASSERT_TRUE(h) << h.error().text;
        host_ = std::move(*h);
    }

    void TearDown() override {
        host_.reset();
        std::filesystem::remove_all(dir_);
    }

    std::uint16_t port() const { return host_->tcpPort; }
    HostState& state() { return *host_->state; }

    std::string open_code() { return host_ops::open_pairing_code(state(), *host_->network).code; }

    // A connected, paired client in secure mode.
    std::unique_ptr<TestClient> paired_client(std::string name = "Phone") {
        auto c = std::make_unique<TestClient>(ClientIdentity::generate(std::move(name)));
        EXPECT_TRUE(c->connect(port()));
        const auto r = c->pair(open_code());
        EXPECT_TRUE(r.ok()) << r.detail;
        wait_event(HostEventKind::SessionOpened, c->identity().deviceName);
        return c;
    }

    bool wait_event(HostEventKind kind, const std::string& device = "",
                    std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, timeout, [&] {
            for (const auto& e : events_)
                if (e.kind == kind && (device.empty() || e.deviceName == device)) return true;
            return false;
        });
    }

    std::vector<HostEvent> events() {
        std::lock_guard lock(mutex_);
        return events_;
    }

    // Waits until the platform has recorded a call described as `line`.
    bool wait_platform(const std::string& line,
                       std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < until) {
            for (const auto& l : platform_->lines())
                if (l == line) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    std::filesystem::path dir_;
    std::optional<std::size_t> maxQueuedBytes_;
    std::function<void(main::StartOptions&)> configure_;  // further options, before the start
    std::shared_ptr<fake::FakeSystem> system_;
    std::shared_ptr<fake::RecordingPlatform> platform_;
    std::unique_ptr<HostHandle> host_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<HostEvent> events_;
};

// A 20-byte input command.
inline Bytes command(std::uint8_t kind, std::uint64_t seq, std::initializer_list<std::uint8_t> payload,
                     std::uint8_t modifiers = 0, std::uint8_t flags = 0) {
    Bytes b{1, kind, modifiers, flags};
    put_u64le(b, seq);
    Bytes p(payload);
    p.resize(8);
    append(b, p);
    return b;
}

inline Bytes move_command(std::uint64_t seq, float dx, float dy, std::uint8_t flags = 0) {
    Bytes b{1, 1, 0, flags};
    put_u64le(b, seq);
    std::uint8_t raw[8];
    std::memcpy(raw, &dx, 4);
    std::memcpy(raw + 4, &dy, 4);
    append(b, ByteView(raw, 8));
    return b;
}

}  // namespace hp::test
