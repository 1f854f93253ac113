// The clipboard is read without the host lock: on Windows a program that
// put its text there by delayed rendering produces it during the read, for
// as long as it takes.
#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host_fixture.h"

namespace hp::test {
namespace {

namespace ft = frame_type;
using namespace std::chrono_literals;

class ClipboardRead : public HostFixture, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override { start(); }

    // Whether another thread can take the host lock while the clipboard is
    // read. Tried a few times, since any other task may hold it for a moment.
    bool host_lock_free() {
        return std::async(std::launch::async, [this] {
                   for (int attempt = 0; attempt < 50; ++attempt) {
                       std::unique_lock lock(state().mutex, std::try_to_lock);
                       if (lock.owns_lock()) return true;
                       std::this_thread::sleep_for(2ms);
                   }
                   return false;
               }).get();
    }
};

TEST_P(ClipboardRead, HappensWithoutTheHostLock) {
    std::mutex mutex;
    std::vector<bool> lockFree;
    platform_->setClipboardContent(std::string("copied"));
    platform_->setClipboardProbe([&] {
        const bool free = host_lock_free();
        std::lock_guard lock(mutex);
        lockFree.push_back(free);
    });
    auto a = paired_client("A");
    ASSERT_TRUE(a->send_secure(ft::ClipboardGet, std::string_view(GetParam())));
    auto reply = a->recv();
    ASSERT_TRUE(reply) << reply.error().text;
    EXPECT_EQ(reply->text(), "{\"text\":\"copied\",\"truncated\":false}");
    std::lock_guard lock(mutex);
    EXPECT_EQ(lockFree, std::vector<bool>{true});
}

INSTANTIATE_TEST_SUITE_P(Requests, ClipboardRead,
                         ::testing::Values("{}", "{\"copyFirst\":true}"));

}  // namespace
}  // namespace hp::test
