// The gamepad mapping file and the single-value file of older versions, read
// from the input's text.
//
// Invariants: reading never fails; a text with a zero byte (no JSON text has
// one) reads as the default mapping; what is read writes out as text that reads
// back to the same mapping (writing twice gives the same text); the legacy
// file selects a mapping only for its three known words.
#include <string_view>

#include "fuzz_support.h"
#include "pad_mapping/mapping_file.h"

using namespace hp;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const auto mapping = pad_mapping::loadMapping(text);
    if (text.find('\0') != std::string_view::npos) FUZZ_CHECK(mapping == pad_mapping::defaultMapping());
    const std::string written = pad_mapping::saveMapping(mapping);
    const auto reread = pad_mapping::loadMapping(written);
    FUZZ_CHECK(pad_mapping::saveMapping(reread) == written);

    if (const auto legacy = pad_mapping::loadLegacyOutput(text)) {
        FUZZ_CHECK(text == "wasdMouse" || text == "arrows" || text == "dualKeys");
        FUZZ_CHECK(pad_mapping::loadMapping(pad_mapping::saveMapping(*legacy)) == *legacy);
    }
    return 0;
}
