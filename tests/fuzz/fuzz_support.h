#pragma once
// What every fuzz target shares: reading the fuzzer's bytes, stopping loudly
// when an invariant breaks, randomness that starts over for each input (so a
// saved input replays exactly), and a scratch directory for the targets that
// read files.
//
// Each target is one `LLVMFuzzerTestOneInput`. AFL++ drives it through its
// libFuzzer-style driver (scripts/fuzz.sh); the normal test run feeds it the
// seed corpus once through replay_main.cpp.
#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "base/bytes.h"

#define FUZZ_CHECK(condition) \
    ((condition) ? static_cast<void>(0) : ::hp::fuzz::invariant_broken(#condition, __FILE__, __LINE__))

namespace hp::fuzz {

// Prints the broken invariant and aborts, which both AFL++ and the replay
// report as a finding.
[[noreturn]] void invariant_broken(const char* condition, const char* file, int line);

// Consumes the fuzzer's bytes front to back. Reads past the end give what is
// left (fewer bytes, or zeros for numbers), never an error.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : rest_(data, size) {}

    bool empty() const { return rest_.empty(); }
    std::size_t size() const { return rest_.size(); }
    std::uint8_t u8();
    std::uint16_t u16();
    std::uint32_t u32();
    std::uint64_t u64();
    // Up to `n` bytes.
    ByteView take(std::size_t n);
    // Everything left.
    ByteView rest();

private:
    ByteView rest_;
};

// Makes libsodium's random bytes a fixed stream that restart() begins again:
// the host's ephemeral keys, nonces and new identities then depend only on
// the input, so a handshake captured once replays, and a finding reproduces.
// The first call installs the stream; call it before anything draws.
void restart_randomness();

// A directory of this process for the files a target reads (kept in memory
// under /dev/shm where there is one, so a file per input stays cheap).
const std::filesystem::path& scratch_dir();

// Writes `bytes` to `file`, replacing it (no flush to disk: scratch only).
void write_scratch_file(const std::filesystem::path& file, ByteView bytes);
Bytes read_scratch_file(const std::filesystem::path& file);

}  // namespace hp::fuzz
