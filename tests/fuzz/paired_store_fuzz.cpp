// The paired-device store file: the input is the whole of paired_devices.json
// in a scratch directory, loaded with the host's fixed store key.
//
// Invariants: the file is never changed or lost: it stays in place when it
// was accepted and is moved aside unchanged (.json.rejected) when it was not;
// a rejected file gives an empty store; an accepted store writes a file that
// loads back to the same records and is accepted in turn.
#include <filesystem>

#include "fuzz_fixture.h"
#include "fuzz_support.h"
#include "store/paired_store.h"

namespace fs = std::filesystem;
using namespace hp;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const crypto::Key32 key = fuzz::fixture::store_key();
    const fs::path file = fuzz::scratch_dir() / "paired_devices.json";
    const fs::path rejected = fuzz::scratch_dir() / "paired_devices.json.rejected";
    const ByteView input(data, size);
    std::error_code ec;
    fs::remove(rejected, ec);
    fuzz::write_scratch_file(file, input);

    const auto store = store::PairedDeviceStore::load(file, key);
    const bool kept = fs::exists(file);
    FUZZ_CHECK(kept != fs::exists(rejected));
    const Bytes after = fuzz::read_scratch_file(kept ? file : rejected);
    FUZZ_CHECK(std::equal(after.begin(), after.end(), input.begin(), input.end()));
    if (!kept) {
        FUZZ_CHECK(store.records().empty());
        return 0;
    }

    const std::string text = store.file_text();
    fuzz::write_scratch_file(file, as_bytes(text));
    const auto reloaded = store::PairedDeviceStore::load(file, key);
    FUZZ_CHECK(fs::exists(file));
    FUZZ_CHECK(reloaded.records() == store.records());
    FUZZ_CHECK(reloaded.file_text() == text);
    return 0;
}
