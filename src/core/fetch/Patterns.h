#pragma once

#include <string_view>

// The program's own patterns; the services' patterns are in the engine profile.
namespace kaldrani::patterns {

inline constexpr std::string_view kDomain =
    "^\\w+((-\\w+)|(\\.\\w+))*[A-Za-z0-9]+((\\.|-)[A-Za-z0-9]+)*\\.[A-Za-z]+$";

} // namespace kaldrani::patterns
