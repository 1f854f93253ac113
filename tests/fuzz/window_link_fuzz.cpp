// The window program's lines as the desktop host reads them (and the host's
// as the window program reads them): cut by the line reader, decoded in both
// directions.
//
// Invariants: no line handed out is longer than the bound or holds a line
// break; once the reader refuses, it keeps refusing; every message decoded
// encodes to one line that decodes again, and encoding that gives the same
// line (a mapping's numbers are rounded once, in the first encoding).
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "window_link/window_link.h"

using namespace hp;
namespace wl = hp::window_link;

namespace {

template <typename Message, typename Decode>
void round_trip(const Message& message, Decode decode) {
    const std::string line = wl::encode(message);
    FUZZ_CHECK(!line.empty() && line.back() == '\n' && line.find('\n') == line.size() - 1);
    const auto again = decode(std::string_view(line).substr(0, line.size() - 1));
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(wl::encode(*again) == line);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input input(data, size);
    // The first byte picks how the bytes arrive: in pieces of 1 to 256 bytes.
    const std::size_t piece = std::size_t{input.u8()} + 1;
    const ByteView rest = input.rest();
    const std::string_view bytes(reinterpret_cast<const char*>(rest.data()), rest.size());

    wl::LineReader reader;
    bool refused = false;
    for (std::size_t at = 0; at <= bytes.size(); at += piece) {
        reader.feed(bytes.substr(std::min(at, bytes.size()), piece));
        for (;;) {
            auto line = reader.next();
            if (!line) {
                refused = true;
                break;
            }
            FUZZ_CHECK(!refused);
            if (!*line) break;
            FUZZ_CHECK((*line)->size() <= wl::kMaxLineBytes);
            FUZZ_CHECK((*line)->find('\n') == std::string::npos);
            if (const auto m = wl::decode_to_host(**line)) round_trip(*m, wl::decode_to_host);
            if (const auto m = wl::decode_to_window(**line)) round_trip(*m, wl::decode_to_window);
        }
        if (refused) {
            FUZZ_CHECK(!reader.next());
            break;
        }
    }
    return 0;
}
