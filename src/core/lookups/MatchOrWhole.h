#pragma once

#include <string>
#include <string_view>

namespace kaldrani::lookups {

// The whole first match of pattern in page, or the whole page when nothing matches.
// Raises RegExpError for a bad pattern.
std::string matchOrWhole(std::string_view pattern, const std::string& page);

} // namespace kaldrani::lookups
