// A host killed (SIGKILL) at any moment of its saves leaves the old store or
// a newer one on the disk: never a torn file (which would be refused at the
// next start, losing every pairing), and never one older than a save it had
// already waited for.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>

#include "crypto/crypto.h"
#include "store/paired_store.h"

namespace fs = std::filesystem;
using hp::store::PairedClientRecord;
using hp::store::PairedDeviceStore;

namespace {

// The child: saves one record again and again with a rising lastSeenUnix,
// in turn waiting for the save (and telling the parent through `ack` which
// value it waited for) and handing it in as a visit nobody waits for.
[[noreturn]] void save_forever(const fs::path& path, const hp::crypto::Key32& key, int ack) {
    PairedDeviceStore store = PairedDeviceStore::load(path, key);
    PairedClientRecord r;
    r.clientId = "phone";
    r.deviceName = "Phone";
    r.ed25519PublicKeyHex = std::string(64, 'a');
    if (const auto* old = store.find("phone")) r.lastSeenUnix = old->lastSeenUnix;
    for (;;) {
        ++r.lastSeenUnix;
        store.upsert(r);
        if (r.lastSeenUnix % 2 == 0) {
            if (store.save()) {
                const std::uint64_t v = r.lastSeenUnix;
                if (::write(ack, &v, sizeof v) != sizeof v) ::_exit(3);
            }
        } else {
            (void)store.save_later(false);
        }
    }
}

TEST(StoreKill, KilledWhileSavingLeavesTheOldOrANewerStore) {
    hp::crypto::init();
    const fs::path dir = fs::temp_directory_path() / ("hp-store-kill-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path path = dir / "paired_devices.json";
    hp::crypto::Key32 key{};
    key.fill(7);
    std::mt19937 rng(12345);
    std::uint64_t acknowledged = 0;
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::close(fds[0]);
            save_forever(path, key, fds[1]);
        }
        ::close(fds[1]);
        std::this_thread::sleep_for(std::chrono::milliseconds(5 + rng() % 40));
        ::kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        std::uint64_t v = 0;
        while (::read(fds[0], &v, sizeof v) == sizeof v) acknowledged = std::max(acknowledged, v);
        ::close(fds[0]);

        const PairedDeviceStore loaded = PairedDeviceStore::load(path, key);
        EXPECT_FALSE(fs::exists(dir / "paired_devices.json.rejected"));
        if (acknowledged > 0) {
            const auto* r = loaded.find("phone");
            ASSERT_NE(r, nullptr);
            EXPECT_GE(r->lastSeenUnix, acknowledged);
        }
    }
    EXPECT_GT(acknowledged, 0u);
    fs::remove_all(dir);
}

}  // namespace
