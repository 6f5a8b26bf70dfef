#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kaldrani::lookups {

// The version the new-version check compares with. Deliberately not the 1.65 the about
// window shows: a published 1.65 still counts as newer.
inline constexpr double kBuiltInVersion = 1.6;

// The page whose body is the latest published version number.
std::string versionPageUrl();

// Reads the whole body as one number: blanks (only ' ') around it are allowed; an optional
// sign, digits, decimalSeparator with digits, an optional exponent. Anything else, a line
// break included, gives nothing.
std::optional<double> parseVersionNumber(std::string_view body, char decimalSeparator);

// Fetches the version page with a default client (limited to readTimeoutMs per wait) and
// returns true when the body is a number above kBuiltInVersion, read with the given
// decimal separator. Every failure, and a version page switched off, gives false, silently. Blocks.
bool newVersionPublished(int readTimeoutMs, char decimalSeparator);

// Asks for the version page as a browser would on the way, reading the answer and throwing
// it away. Every failure is silent. Blocks, for at most 30 s in all.
void visitVersionPage();

} // namespace kaldrani::lookups
