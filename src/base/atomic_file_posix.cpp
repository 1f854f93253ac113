// Atomic replacement on Linux: write, fsync the file, rename, fsync the
// directory so the rename itself survives a power cut.
#include "base/atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace hp {

namespace {

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    // Closes now and reports whether the close succeeded.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

Status write_all(int fd, ByteView data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail(os_error_text(static_cast<unsigned long>(errno)));
        done += static_cast<std::size_t>(n);
    }
    return {};
}

}  // namespace

std::string os_error_text(unsigned long code) {
    return std::generic_category().message(static_cast<int>(code));
}

Status write_file_atomically(const std::filesystem::path& target, const std::filesystem::path& tmp,
                             ByteView data) {
    auto failed = [&](const std::string& what) {
        ::unlink(tmp.c_str());
        return fail(what);
    };
    Fd fd(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (fd.get() < 0)
        return fail("Could not write " + path_text(tmp) + ": " + os_error_text(static_cast<unsigned long>(errno)));
    if (auto ok = write_all(fd.get(), data); !ok)
        return failed("Could not write " + path_text(tmp) + ": " + ok.error().text);
    if (::fsync(fd.get()) != 0)
        return failed("Could not write " + path_text(tmp) + ": " + os_error_text(static_cast<unsigned long>(errno)));
    if (!fd.close())
        return failed("Could not write " + path_text(tmp) + ": " + os_error_text(static_cast<unsigned long>(errno)));
    if (::rename(tmp.c_str(), target.c_str()) != 0)
        return failed("Could not replace " + path_text(target) + ": " +
                      os_error_text(static_cast<unsigned long>(errno)));
    // The rename is durable once the directory is; a failure here leaves the
    // new file in place, so it is not reported.
    const std::filesystem::path dir = target.has_parent_path() ? target.parent_path() : ".";
    Fd dirfd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirfd.get() >= 0) (void)::fsync(dirfd.get());
    return {};
}

}  // namespace hp
