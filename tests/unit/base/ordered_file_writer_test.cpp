// One writing thread per file: contents handed in while a write is under way
// are coalesced into the latest, which is written last.
#include "base/ordered_file_writer.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <vector>

#include "../foundation/scratch.h"
#include "base/atomic_file.h"

namespace hp {
namespace {

TEST(OrderedFileWriter, ALaterContentIsNeverOverwrittenByAnEarlierOne) {
    test::ScratchDir scratch;
    const auto target = scratch.path() / "paired_devices.json";
    std::mutex m;
    std::condition_variable cv;
    bool open = false;
    std::vector<std::string> written;
    OrderedFileWriter writer(target, tmp_sibling(target),
                             [&](const std::filesystem::path& t, const std::filesystem::path& tmp, ByteView data) {
                                 std::unique_lock lock(m);
                                 written.push_back(to_string(data));
                                 cv.notify_all();
                                 cv.wait(lock, [&] { return open; });  // the disk is slow
                                 return write_file_atomically(t, tmp, data);
                             });
    const auto first = writer.submit("1");
    {
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return !written.empty(); });  // "1" is being written
    }
    const auto second = writer.submit("2");
    const auto third = writer.submit("3");
    {
        std::lock_guard lock(m);
        open = true;
        cv.notify_all();
    }
    EXPECT_TRUE(third.wait());
    EXPECT_TRUE(second.wait());  // carried by the write of "3"
    EXPECT_TRUE(first.wait());
    EXPECT_EQ(written, (std::vector<std::string>{"1", "3"}));
    EXPECT_EQ(test::read_file(target), "3");
}

TEST(OrderedFileWriter, ContentsNobodyWaitsForShareOneWriteUntilSomeoneWaits) {
    test::ScratchDir scratch;
    const auto target = scratch.path() / "paired_devices.json";
    std::mutex m;
    std::vector<std::string> written;
    OrderedFileWriter writer(
        target, tmp_sibling(target),
        [&](const std::filesystem::path& t, const std::filesystem::path& tmp, ByteView data) {
            {
                std::lock_guard lock(m);
                written.push_back(to_string(data));
            }
            return write_file_atomically(t, tmp, data);
        },
        std::chrono::seconds(30));
    EXPECT_TRUE(writer.submit("a", false).wait());  // the first is written at once
    (void)writer.submit("b", false);
    (void)writer.submit("c", false);
    EXPECT_TRUE(writer.submit("d", true).wait());  // long before the settling time is over
    std::lock_guard lock(m);
    EXPECT_EQ(written, (std::vector<std::string>{"a", "d"}));
    EXPECT_EQ(test::read_file(target), "d");
}

TEST(OrderedFileWriter, AFailedWriteIsEveryWaitersAnswerAndContentIsWrittenAtTheEnd) {
    test::ScratchDir scratch;
    const auto blocked = scratch.path() / "file" / "paired_devices.json";
    test::write_file(scratch.path() / "file", "not a folder");
    OrderedFileWriter failing(blocked, tmp_sibling(blocked));
    EXPECT_FALSE(failing.submit("x").wait());

    const auto target = scratch.path() / "paired_devices.json";
    {
        OrderedFileWriter writer(target, tmp_sibling(target));
        (void)writer.submit("last");  // nobody waits; the writer's end still writes it
    }
    EXPECT_EQ(test::read_file(target), "last");
}

}  // namespace
}  // namespace hp
