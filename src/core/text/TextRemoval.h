#pragma once

#include <string>
#include <string_view>

namespace kaldrani::text {

// Removes every occurrence of what from text, exactly and case-sensitively; an empty
// what removes nothing.
void removeAll(std::string& text, std::string_view what);

// Replaces every occurrence of what in text by with, left to right, without rescanning
// the replacement.
void replaceAll(std::string& text, std::string_view what, std::string_view with);

} // namespace kaldrani::text
