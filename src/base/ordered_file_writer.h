#pragma once
// One file that several threads decide the content of, written by one thread
// of its own in the order the contents were handed in. Whoever decides a new
// content (usually under a lock that orders the decisions) hands it in and
// returns at once; the write, its flush and the rename happen afterwards,
// with no lock of the caller held. Contents handed in while a write is under
// way are coalesced: only the latest is written next, so a later content is
// never overwritten by an earlier one. A caller that must know the content
// is on the disk (before it tells anyone) hands it in as urgent and waits
// for its ticket; a content nobody waits for is written no sooner than the
// settling time after the previous write, so that a burst of them costs one
// write.
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "base/bytes.h"
#include "base/result.h"

namespace hp {

class OrderedFileWriter {
public:
    // How a content reaches the disk: write_file_atomically unless a test
    // hands in another.
    using Write = std::function<Status(const std::filesystem::path& target, const std::filesystem::path& tmp,
                                       ByteView data)>;

    // One content handed in: done once it, or a later content that replaced
    // it before it was written, has been written (or has failed to be).
    class Ticket {
    public:
        Ticket() = default;
        bool valid() const { return batch_ != nullptr; }
        // Waits until the content (or a later one) has been written; the
        // result of that write. An empty ticket is done at once. Needs no
        // lock of the caller's, and the writer may be gone meanwhile.
        Status wait() const;

    private:
        friend class OrderedFileWriter;
        struct Batch;
        explicit Ticket(std::shared_ptr<Batch> b) : batch_(std::move(b)) {}
        std::shared_ptr<Batch> batch_;
    };

    // Writes `target` through `tmp` (see tmp_sibling).
    OrderedFileWriter(std::filesystem::path target, std::filesystem::path tmp, Write write = {},
                      std::chrono::milliseconds settle = std::chrono::milliseconds(100));
    // Writes what is still waiting, then stops the writing thread.
    ~OrderedFileWriter();
    OrderedFileWriter(const OrderedFileWriter&) = delete;
    OrderedFileWriter& operator=(const OrderedFileWriter&) = delete;

    // Hands in the file's next content. Never waits for the disk; the
    // writing thread starts with the first content. An urgent content (and
    // whatever waits with it) is written as soon as the write under way, if
    // any, has finished.
    Ticket submit(std::string content, bool urgent = true);

    const std::filesystem::path& target() const { return target_; }

private:
    void run();

    const std::filesystem::path target_, tmp_;
    const Write write_;
    const std::chrono::milliseconds settle_;
    std::mutex mutex_;
    std::condition_variable work_;  // the writing thread waits here
    std::shared_ptr<Ticket::Batch> open_;  // the content to write next
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace hp
