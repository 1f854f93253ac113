#include "server/outgoing_queue.h"

namespace hp::server {

OutgoingQueue::Push OutgoingQueue::push(Bytes frame) {
    if (closed_) return Push::Closed;
    if (bytes_ + frame.size() > maxBytes_) return Push::OverCap;
    bytes_ += frame.size();
    frames_.push_back(std::move(frame));
    return Push::Queued;
}

std::optional<ByteView> OutgoingQueue::start_write() {
    if (writing_ || closed_ || frames_.empty()) return std::nullopt;
    writing_ = true;
    return ByteView(frames_.front());
}

void OutgoingQueue::finish_write() {
    if (!writing_) return;
    writing_ = false;
    bytes_ -= frames_.front().size();
    frames_.pop_front();
    if (closed_) {
        frames_.clear();
        bytes_ = 0;
    }
}

void OutgoingQueue::close() {
    closed_ = true;
    if (!writing_) {
        frames_.clear();
        bytes_ = 0;
        return;
    }
    // Keep the buffer in flight; everything behind it goes.
    while (frames_.size() > 1) {
        bytes_ -= frames_.back().size();
        frames_.pop_back();
    }
}

}  // namespace hp::server
