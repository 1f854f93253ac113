#pragma once
// Errors are values: every fallible operation returns Result<T>, whose error
// carries the text shown to the user.
#include <expected>
#include <string>
#include <utility>

namespace hp {

struct Error {
    std::string text;
};

template <class T>
using Result = std::expected<T, Error>;

using Status = std::expected<void, Error>;

inline std::unexpected<Error> fail(std::string text) {
    return std::unexpected<Error>(Error{std::move(text)});
}

}  // namespace hp
