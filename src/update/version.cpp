#include "update/version.h"

#include <algorithm>

#include "hp_version.h"

namespace hp::update {

namespace {

constexpr std::size_t kMaxText = 40;
constexpr std::size_t kMaxComponents = 4;
constexpr std::size_t kMaxDigits = 9;  // so every component fits 32 bits

}  // namespace

std::string_view running_version() {
    return HP_VERSION_STRING;
}

std::optional<std::vector<std::uint32_t>> parse_version(std::string_view text) {
    if (text.empty() || text.size() > kMaxText) return std::nullopt;
    std::vector<std::uint32_t> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = std::min(text.find('.', start), text.size());
        const std::string_view part = text.substr(start, dot - start);
        if (part.empty() || part.size() > kMaxDigits || parts.size() == kMaxComponents)
            return std::nullopt;
        std::uint32_t value = 0;
        for (const char c : part) {
            if (c < '0' || c > '9') return std::nullopt;
            value = value * 10 + static_cast<std::uint32_t>(c - '0');
        }
        parts.push_back(value);
        if (dot == text.size()) return parts;
        start = dot + 1;
    }
}

bool version_greater(std::string_view a, std::string_view b) {
    const auto x = parse_version(a);
    const auto y = parse_version(b);
    if (!x || !y) return false;
    const std::size_t n = std::max(x->size(), y->size());
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t l = i < x->size() ? (*x)[i] : 0;
        const std::uint32_t r = i < y->size() ? (*y)[i] : 0;
        if (l != r) return l > r;
    }
    return false;
}

bool is_newer(std::string_view version) {
    return version_greater(version, running_version());
}

}  // namespace hp::update
