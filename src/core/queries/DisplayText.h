#pragma once

#include <cstddef>
#include <string>

namespace kaldrani::queries {

// The most characters a count or rank text cut out of a page keeps. Real ones are a few
// digits or a short phrase; a page that matches megabytes must not reach the display, the
// output or the history.
inline constexpr std::size_t kMaxDisplayChars = 1024;

// The text cut after kMaxDisplayChars characters, never inside a UTF-8 character.
// Takes valid UTF-8; returns it unchanged when short enough.
std::string boundDisplayText(std::string text);

} // namespace kaldrani::queries
