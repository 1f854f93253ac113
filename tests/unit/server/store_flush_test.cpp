// The paired-device store reaches the disk with the host lock free: a save
// the disk holds up keeps no other phone waiting, and what must be on the
// disk before anyone hears of it (a pairing, a removal) still is.
#include <gtest/gtest.h>

#include <atomic>
#include <future>

#include "base/atomic_file.h"
#include "host_fixture.h"
#include "host_ops/host_ops.h"

namespace hp::test {
namespace {

namespace ft = frame_type;
using namespace std::chrono_literals;

// A file system whose writes of the store wait at a gate the test opens, and
// which notes whether the host lock was free while they were written.
class StoreFlushTest : public HostFixture {
protected:
    void SetUp() override {
        configure_ = [this](main::StartOptions& o) {
            o.storeWrite = [this](const std::filesystem::path& target, const std::filesystem::path& tmp,
                                  ByteView data) -> Status {
                {
                    std::unique_lock lock(gateMutex_);
                    ++writesStarted_;
                    gateCv_.notify_all();
                    gateCv_.wait(lock, [&] { return gateOpen_; });
                }
                // Asked from another thread: the writer may not hold it either.
                if (HostState* watched = watched_.load()) {
                    bool free = false;
                    std::thread([&] {
                        free = watched->mutex.try_lock();
                        if (free) watched->mutex.unlock();
                    }).join();
                    if (!free) ++writesUnderLock_;
                }
                return write_file_atomically(target, tmp, data);
            };
        };
        start();
        watched_ = &state();
    }
    void TearDown() override {
        open_gate();
        watched_ = nullptr;  // a last save at shutdown finds the host going
        HostFixture::TearDown();
    }

    void close_gate() {
        std::lock_guard lock(gateMutex_);
        gateOpen_ = false;
    }
    void open_gate() {
        std::lock_guard lock(gateMutex_);
        gateOpen_ = true;
        gateCv_.notify_all();
    }
    // Waits until `n` writes have reached the file system.
    bool wait_writes(int n) {
        std::unique_lock lock(gateMutex_);
        return gateCv_.wait_for(lock, 5s, [&] { return writesStarted_ >= n; });
    }
    int writes_started() {
        std::lock_guard lock(gateMutex_);
        return writesStarted_;
    }

    std::mutex gateMutex_;
    std::condition_variable gateCv_;
    bool gateOpen_ = true;
    int writesStarted_ = 0;
    std::atomic<int> writesUnderLock_{0};
    std::atomic<HostState*> watched_{nullptr};
};

TEST_F(StoreFlushTest, SavesRunWithTheHostLockFree) {
    auto a = paired_client("A");
    TestClient again(a->identity());
    again.pin_host(*a->pinned_host());
    ASSERT_TRUE(again.connect(port()));
    ASSERT_TRUE(again.authenticate().ok());
    ASSERT_TRUE(wait_writes(2));
    host_ops::remove_device(state(), a->identity().clientId);
    ASSERT_TRUE(wait_event(HostEventKind::PairedDevicesChanged));
    EXPECT_GE(writes_started(), 3);
    EXPECT_EQ(writesUnderLock_, 0);
}

TEST_F(StoreFlushTest, PhonesGoOnWhileASaveWaitsForTheDisk) {
    auto a = paired_client("A");
    auto b = paired_client("B");
    const int before = writes_started();
    close_gate();
    // B authenticates again: the visit is noted, and its save waits at the
    // gate; the session is there at once.
    TestClient again(b->identity());
    again.pin_host(*b->pinned_host());
    again.set_timeout(2s);
    ASSERT_TRUE(again.connect(port()));
    auto r = again.authenticate({.deviceName = std::string("B again")});
    ASSERT_TRUE(r.ok()) << r.detail;
    ASSERT_TRUE(wait_writes(before + 1));
    // A's input is served meanwhile.
    a->set_timeout(2s);
    ASSERT_TRUE(a->send_secure(ft::Ping, std::string_view("{\"ts\":5}")));
    auto pong = a->recv();
    ASSERT_TRUE(pong) << pong.error().text;
    EXPECT_EQ(pong->text(), "{\"ts\":5}");
    EXPECT_EQ(host_ops::list_devices(state()).size(), 2u);
    open_gate();
}

TEST_F(StoreFlushTest, PairingIsAnsweredAndRemovalReportedOnlyOnceOnDisk) {
    auto a = paired_client("A");
    const int before = writes_started();
    close_gate();

    // A new phone pairs: its PairAccepted waits for the disk, A does not.
    TestClient c(ClientIdentity::generate("C"));
    ASSERT_TRUE(c.connect(port()));
    const std::string code = open_code();
    auto pairing = std::async(std::launch::async, [&] { return c.pair(code); });
    ASSERT_TRUE(wait_writes(before + 1));
    EXPECT_EQ(pairing.wait_for(100ms), std::future_status::timeout);
    EXPECT_FALSE(wait_event(HostEventKind::DevicePaired, "C", 10ms));
    a->set_timeout(2s);
    ASSERT_TRUE(a->send_secure(ft::Ping, std::string_view("{\"ts\":6}")));
    ASSERT_TRUE(a->recv());
    open_gate();
    ASSERT_TRUE(pairing.get().ok());
    ASSERT_TRUE(wait_event(HostEventKind::DevicePaired, "C"));

    // Removing A: the tray hears of it only once the file no longer holds A.
    const int paired = writes_started();
    close_gate();
    auto removal = std::async(std::launch::async, [&] { host_ops::remove_device(state(), a->identity().clientId); });
    ASSERT_TRUE(wait_writes(paired + 1));
    auto listing = std::async(std::launch::async, [&] { return host_ops::list_devices(state()); });
    EXPECT_EQ(listing.wait_for(2s), std::future_status::ready);  // the lock is free meanwhile
    EXPECT_EQ(removal.wait_for(50ms), std::future_status::timeout);
    const auto changes = [&] {
        int n = 0;
        for (const auto& e : events())
            if (e.kind == HostEventKind::PairedDevicesChanged) ++n;
        return n;
    };
    EXPECT_EQ(changes(), 2);  // the two pairings'
    open_gate();
    removal.get();
    EXPECT_EQ(changes(), 3);
    EXPECT_TRUE(a->recv().has_value());  // SessionEnded, after the save
}

}  // namespace
}  // namespace hp::test
