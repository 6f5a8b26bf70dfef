#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kaldrani::net {

// The bytes of a gzip-coded body (Content-Encoding: gzip), at most maxBytes of them.
// Raises NetError (TooLarge past maxBytes, Protocol for data that is not gzip or is cut off).
std::string gunzipBody(std::string_view coded, std::size_t maxBytes);

} // namespace kaldrani::net
