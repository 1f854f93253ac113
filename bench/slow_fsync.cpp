// A disk whose flushes are slow, for the measuring tools: preloaded into the
// host (LD_PRELOAD), it makes every fsync and fdatasync wait
// HEARTHPAD_FSYNC_DELAY_MS milliseconds (40 unless set) before flushing, as a
// busy or spinning disk does.
#include <dlfcn.h>
#include <time.h>

#include <cerrno>
#include <cstdlib>

namespace {

void wait_like_a_slow_disk() {
    const char* text = std::getenv("HEARTHPAD_FSYNC_DELAY_MS");
    const long ms = text ? std::atol(text) : 40;
    timespec left{ms / 1000, (ms % 1000) * 1000000L};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

template <class Fn>
Fn next_definition(const char* name) {
    return reinterpret_cast<Fn>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" int fsync(int fd) {
    static const auto real = next_definition<int (*)(int)>("fsync");
    wait_like_a_slow_disk();
    return real(fd);
}

extern "C" int fdatasync(int fd) {
    static const auto real = next_definition<int (*)(int)>("fdatasync");
    wait_like_a_slow_disk();
    return real(fd);
}
