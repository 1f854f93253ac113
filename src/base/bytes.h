#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace hp {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;
template <std::size_t N>
using ByteArray = std::array<std::uint8_t, N>;

inline ByteView as_bytes(std::string_view s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

inline std::string to_string(ByteView b) {
    return {reinterpret_cast<const char*>(b.data()), b.size()};
}

inline void append(Bytes& out, ByteView b) { out.insert(out.end(), b.begin(), b.end()); }
inline void append(Bytes& out, std::string_view s) { append(out, as_bytes(s)); }

inline void put_u32le(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline void put_u64le(Bytes& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline std::uint32_t get_u32le(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}
inline std::uint64_t get_u64le(const std::uint8_t* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

}  // namespace hp
