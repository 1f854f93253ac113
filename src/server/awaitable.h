#pragma once
// Completion token used by every coroutine of the server: errors come back as
// values in a tuple instead of exceptions.
#include <asio/experimental/as_tuple.hpp>
#include <asio/use_awaitable.hpp>

namespace hp::server {

inline constexpr auto use_tuple = asio::experimental::as_tuple(asio::use_awaitable);

}  // namespace hp::server
