#include "fuzz_support.h"

#include <signal.h>
#include <sodium.h>
#include <unistd.h>

#include <cerrno>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

namespace hp::fuzz {

void invariant_broken(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, condition);
    std::fflush(stderr);
    std::abort();
}

std::uint8_t Input::u8() {
    if (rest_.empty()) return 0;
    const std::uint8_t v = rest_[0];
    rest_ = rest_.subspan(1);
    return v;
}

std::uint16_t Input::u16() { return static_cast<std::uint16_t>(u8() | u8() << 8); }

std::uint32_t Input::u32() { return std::uint32_t(u16()) | std::uint32_t(u16()) << 16; }

std::uint64_t Input::u64() { return std::uint64_t(u32()) | std::uint64_t(u32()) << 32; }

ByteView Input::take(std::size_t n) {
    const ByteView out = rest_.first(std::min(n, rest_.size()));
    rest_ = rest_.subspan(out.size());
    return out;
}

ByteView Input::rest() { return take(rest_.size()); }

namespace {

// libsodium calls plain functions, so the stream's position is the one piece
// of process state here; it only ever serves the fuzz targets.
std::uint64_t g_stream = 0;

std::uint64_t next_word() {
    // SplitMix64: fast, and every output depends on the position only.
    std::uint64_t z = (g_stream += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

const char* stream_name() { return "hearthpad-fuzz-fixed"; }
std::uint32_t stream_random() { return static_cast<std::uint32_t>(next_word()); }
void stream_buf(void* const out, const std::size_t size) {
    auto* p = static_cast<unsigned char*>(out);
    for (std::size_t i = 0; i < size; i += 8) {
        const std::uint64_t w = next_word();
        for (std::size_t k = 0; k < 8 && i + k < size; ++k) p[i + k] = static_cast<unsigned char>(w >> (8 * k));
    }
}

randombytes_implementation g_fixed_stream = {stream_name, stream_random, nullptr, nullptr, stream_buf, nullptr};

constexpr std::string_view kScratchPrefix = "hearthpad-fuzz-";

// AFL++ kills a fuzz process at the end of a run or after a time-out, so its
// directory stays behind: remove those of processes that no longer exist.
void remove_orphans(const std::filesystem::path& base) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(base, ec)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with(kScratchPrefix)) continue;
        const std::string digits = name.substr(kScratchPrefix.size());
        if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) continue;
        const long pid = std::strtol(digits.c_str(), nullptr, 10);
        if (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) std::filesystem::remove_all(entry.path(), ec);
    }
}

// Removes the scratch directory when the process ends normally.
struct ScratchDir {
    std::filesystem::path path;
    ScratchDir() {
        std::error_code ec;
        std::filesystem::path base = "/dev/shm";
        if (!std::filesystem::is_directory(base, ec) || access(base.c_str(), W_OK) != 0)
            base = std::filesystem::temp_directory_path();
        remove_orphans(base);
        path = base / (std::string(kScratchPrefix) + std::to_string(getpid()));
        std::filesystem::remove_all(path, ec);
        std::filesystem::create_directories(path, ec);
        if (ec) {
            std::fprintf(stderr, "cannot create %s: %s\n", path.c_str(), ec.message().c_str());
            std::abort();
        }
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

}  // namespace

void restart_randomness() {
    static const bool installed = [] {
        randombytes_set_implementation(&g_fixed_stream);
        return true;
    }();
    (void)installed;
    g_stream = 0;
}

const std::filesystem::path& scratch_dir() {
    static const ScratchDir dir;
    return dir.path;
}

void write_scratch_file(const std::filesystem::path& file, ByteView bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    FUZZ_CHECK(out.good());
}

Bytes read_scratch_file(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace hp::fuzz
