// The identity file: the input is the whole of host_identity.bin, a blob the
// test stand-in for the system's data protection unprotects ("FAKE" and the
// plain bytes with every bit flipped).
//
// Invariants: loading always gives an identity (a file that cannot be used is
// replaced by a new identity); its public key belongs to its seed; a file
// that was used is left as it was; loading again gives the same identity.
#include <filesystem>

#include "fuzz_support.h"
#include "platform/fake/fake_system.h"
#include "store/identity.h"

namespace fs = std::filesystem;
using namespace hp;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::restart_randomness();
    const fs::path dir = fuzz::scratch_dir() / "identity";
    const fs::path file = dir / "host_identity.bin";
    const ByteView input(data, size);
    std::error_code ec;
    fs::create_directories(dir, ec);
    fuzz::write_scratch_file(file, input);

    fake::FakeDataProtection protection;
    const auto identity = store::load_or_create_identity(dir, protection);
    FUZZ_CHECK(identity.has_value());
    FUZZ_CHECK(!identity->hostId.empty());
    FUZZ_CHECK(identity->publicKey == crypto::ed25519_public_key(identity->seed));

    const Bytes after = fuzz::read_scratch_file(file);
    const bool used = std::equal(after.begin(), after.end(), input.begin(), input.end());
    if (used) {
        // The file was read: the blob opens to the identity's own members.
        const auto plain = protection.unprotect(input);
        FUZZ_CHECK(plain.has_value());
    }
    const auto again = store::load_or_create_identity(dir, protection);
    FUZZ_CHECK(again && again->hostId == identity->hostId && again->seed == identity->seed);
    FUZZ_CHECK(fuzz::read_scratch_file(file) == after);
    return 0;
}
