#pragma once

#include <string>
#include <string_view>

namespace kaldrani::lookups {

// Typed text made fit to stand in a request target's query ([rfc3986] 3.4): every ASCII
// byte a query may not hold (controls, DEL, the blank, '"', '#', '<', '>', '[', '\',
// ']', '^', '`', '{', '|', '}', and a '%' that starts no "%XX") becomes "%XX" in upper
// case. Everything else, non-ASCII bytes included, is returned as it is.
std::string targetText(std::string_view typed);

} // namespace kaldrani::lookups
