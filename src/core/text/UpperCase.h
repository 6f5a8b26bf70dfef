#pragma once

#include <string>
#include <string_view>

namespace kaldrani::text {

// The UTF-8 text with every letter upper-cased by Unicode's simple case mapping (as the
// C.UTF-8 locale knows it; ASCII letters only where that locale is missing). A byte that
// forms no UTF-8 character is kept as it is. For comparisons that ignore letter case in
// any script, as people expect of typed text; protocol text folds ASCII only (Ascii.h).
std::string upperCase(std::string_view text);

} // namespace kaldrani::text
