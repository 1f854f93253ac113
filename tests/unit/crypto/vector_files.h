#pragma once
// Reading the JSON vector files under tests/data. Hex is decoded here on its
// own so that the vectors do not depend on the decoder under test.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "base/bytes.h"

namespace hp::test {

inline nlohmann::json load_vectors(const std::string& relative) {
    std::ifstream in(std::string(HP_TEST_DATA_DIR) + "/" + relative);
    if (!in) {
        ADD_FAILURE() << "cannot open " << relative;
        return nlohmann::json::object();
    }
    return nlohmann::json::parse(in);
}

inline Bytes unhex(const std::string& text) {
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    Bytes out;
    if (text.size() % 2 != 0) {
        ADD_FAILURE() << "odd-length hex in a vector: " << text;
        return out;
    }
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int hi = nibble(text[i]);
        const int lo = nibble(text[i + 1]);
        if (hi < 0 || lo < 0) {
            ADD_FAILURE() << "bad hex in a vector: " << text;
            return {};
        }
        out.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
    }
    return out;
}

inline Bytes unhex(const nlohmann::json& value) {
    return unhex(value.get<std::string>());
}

template <std::size_t N>
ByteArray<N> unhex_array(const nlohmann::json& value) {
    const Bytes b = unhex(value);
    ByteArray<N> out{};
    if (b.size() != N) {
        ADD_FAILURE() << "vector value has " << b.size() << " bytes, expected " << N;
        return out;
    }
    std::copy(b.begin(), b.end(), out.begin());
    return out;
}

template <std::size_t N>
Bytes to_bytes(const ByteArray<N>& a) {
    return Bytes(a.begin(), a.end());
}

}  // namespace hp::test
