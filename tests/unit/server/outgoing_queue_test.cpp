// The frames waiting for one peer: one write in flight, its buffer kept
// until it finishes, and a cap on what may pile up.
#include "server/outgoing_queue.h"

#include <gtest/gtest.h>

#include <cstring>

namespace hp::server {
namespace {

Bytes frame(std::size_t size, std::uint8_t fill) { return Bytes(size, fill); }

TEST(OutgoingQueue, ClosingDuringAWriteKeepsItsBufferUntilTheWriteEnds) {
    OutgoingQueue q(1 << 20);
    ASSERT_EQ(q.push(frame(1000, 0xAB)), OutgoingQueue::Push::Queued);
    ASSERT_EQ(q.push(frame(2000, 0xCD)), OutgoingQueue::Push::Queued);
    const auto in_flight = q.start_write();
    ASSERT_TRUE(in_flight);

    q.close();  // the session ends with the write still in flight
    // The bytes the system may still be reading are intact (the sanitizer
    // would report a read of freed memory here).
    const Bytes expected = frame(1000, 0xAB);
    ASSERT_EQ(in_flight->size(), expected.size());
    EXPECT_EQ(std::memcmp(in_flight->data(), expected.data(), expected.size()), 0);
    EXPECT_FALSE(q.start_write()) << "nothing more is written once closed";
    EXPECT_EQ(q.push(frame(10, 1)), OutgoingQueue::Push::Closed);

    q.finish_write();  // its completion arrives after the close
    EXPECT_TRUE(q.empty());
    EXPECT_EQ(q.queued_bytes(), 0u);
    q.finish_write();  // a stray second completion changes nothing
    EXPECT_TRUE(q.empty());
}

TEST(OutgoingQueue, OneWriteAtATimeInOrder) {
    OutgoingQueue q(1 << 20);
    q.push(frame(3, 1));
    q.push(frame(4, 2));
    auto first = q.start_write();
    ASSERT_TRUE(first);
    EXPECT_EQ((*first)[0], 1);
    EXPECT_FALSE(q.start_write());
    q.finish_write();
    auto second = q.start_write();
    ASSERT_TRUE(second);
    EXPECT_EQ((*second)[0], 2);
    EXPECT_EQ(q.queued_bytes(), 4u);
    q.finish_write();
    EXPECT_TRUE(q.empty());
    EXPECT_FALSE(q.start_write());
}

TEST(OutgoingQueue, QueuedBytesAreCapped) {
    OutgoingQueue q(100);
    EXPECT_EQ(q.push(frame(60, 0)), OutgoingQueue::Push::Queued);
    EXPECT_EQ(q.push(frame(40, 0)), OutgoingQueue::Push::Queued);
    EXPECT_EQ(q.push(frame(1, 0)), OutgoingQueue::Push::OverCap);
    EXPECT_EQ(q.queued_bytes(), 100u);
    ASSERT_TRUE(q.start_write());
    q.finish_write();  // what has left no longer counts
    EXPECT_EQ(q.push(frame(60, 0)), OutgoingQueue::Push::Queued);
}

}  // namespace
}  // namespace hp::server
