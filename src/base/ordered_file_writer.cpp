#include "base/ordered_file_writer.h"

#include "base/atomic_file.h"

namespace hp {

struct OrderedFileWriter::Ticket::Batch {
    std::string content;  // under the writer's mutex, as is urgent
    bool urgent = false;
    std::mutex mutex;     // guards done and status
    std::condition_variable written;
    bool done = false;
    Status status;
};

Status OrderedFileWriter::Ticket::wait() const {
    if (!batch_) return {};
    std::unique_lock lock(batch_->mutex);
    batch_->written.wait(lock, [&] { return batch_->done; });
    return batch_->status;
}

OrderedFileWriter::OrderedFileWriter(std::filesystem::path target, std::filesystem::path tmp, Write write,
                                     std::chrono::milliseconds settle)
    : target_(std::move(target)), tmp_(std::move(tmp)), write_(std::move(write)), settle_(settle) {}

OrderedFileWriter::~OrderedFileWriter() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    work_.notify_all();
    if (thread_.joinable()) thread_.join();
}

OrderedFileWriter::Ticket OrderedFileWriter::submit(std::string content, bool urgent) {
    std::shared_ptr<Ticket::Batch> batch;
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        // The writing thread needs waking only for what changes its wait: a
        // first content, or one that turns urgent. A content that joins one
        // nobody waits for is taken when the settling time ends, or after
        // the write under way, without a wake-up of its own.
        if (!open_) {
            open_ = std::make_shared<Ticket::Batch>();
            wake = true;
        }
        open_->content = std::move(content);
        wake = wake || (urgent && !open_->urgent);
        open_->urgent = open_->urgent || urgent;
        batch = open_;
        if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
    }
    if (wake) work_.notify_one();
    return Ticket(std::move(batch));
}

void OrderedFileWriter::run() {
    std::unique_lock lock(mutex_);
    auto lastWrite = std::chrono::steady_clock::now() - settle_;
    for (;;) {
        work_.wait(lock, [&] { return open_ != nullptr || stopping_; });
        if (!open_) return;  // stopping, and nothing is waiting to be written
        // Nobody waits for this content: let more join it, unless someone
        // starts to wait or the writer is stopping.
        work_.wait_until(lock, lastWrite + settle_, [&] { return open_->urgent || stopping_; });
        std::shared_ptr<Ticket::Batch> batch = std::move(open_);
        const std::string content = std::move(batch->content);
        lock.unlock();
        Status status = write_ ? write_(target_, tmp_, as_bytes(content))
                               : write_file_atomically(target_, tmp_, as_bytes(content));
        lastWrite = std::chrono::steady_clock::now();
        {
            std::lock_guard done(batch->mutex);
            batch->status = std::move(status);
            batch->done = true;
        }
        batch->written.notify_all();
        lock.lock();
    }
}

}  // namespace hp
