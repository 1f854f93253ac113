#pragma once
// The frames waiting to be written to one peer. At most one write is in
// flight; its buffer stays alive until that write has finished, even when the
// queue is closed meanwhile. Queued bytes are capped: a peer that does not
// read cannot make the host hold its replies without end.
#include <cstddef>
#include <deque>
#include <optional>

#include "base/bytes.h"

namespace hp::server {

class OutgoingQueue {
public:
    explicit OutgoingQueue(std::size_t maxBytes) : maxBytes_(maxBytes) {}

    enum class Push { Queued, OverCap, Closed };
    // Queues a whole frame. Past the cap nothing is queued (the caller ends
    // the session); after close() nothing is queued either.
    Push push(Bytes frame);

    // The bytes to write next, marking them in flight; nothing while a write
    // is in flight, when the queue is empty, or once it is closed.
    std::optional<ByteView> start_write();

    // The write in flight has finished (successfully or not). After close()
    // this only lets go of the buffer it used.
    void finish_write();

    // Drops every frame not in flight; the one in flight is kept until
    // finish_write().
    void close();

    bool writing() const { return writing_; }
    bool closed() const { return closed_; }
    bool empty() const { return frames_.empty(); }
    std::size_t queued_bytes() const { return bytes_; }

private:
    std::size_t maxBytes_;
    std::deque<Bytes> frames_;
    std::size_t bytes_ = 0;
    bool writing_ = false;
    bool closed_ = false;
};

}  // namespace hp::server
