#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace kaldrani::profiles {

// How deep a user's profile may nest tables, keys and lists. The default needs 3; the
// TOML reader recurses once per level, so a file of many thousand levels would overflow
// the stack where it is read.
constexpr int kMaxProfileNesting = 64;

// What makes a profile's text unfit to be parsed at all, as "not read" finishes the
// sentence ("it is nested deeper than 64 levels (line 3)"), or nothing.
std::optional<std::string> profileTextFault(std::string_view text);

// Why a failed look at the profile's place means the file cannot be read (a symbolic link
// loop), or nothing when the failure says there is no file (none, or a folder that cannot
// be searched).
std::optional<std::string> profileStatusFault(const std::error_code& ec);

// What is wrong with a host value: a name or address, optionally ":port" with a port of
// 1 to 65535 (an IPv6 address in brackets), nothing else. Nothing when it is sound.
std::optional<std::string> profileHostFault(std::string_view host);

// What is wrong with a User-Agent value: a control character (NUL, line break, ...)
// cannot go into a request head. Nothing when it is sound.
std::optional<std::string> profileUserAgentFault(std::string_view userAgent);

} // namespace kaldrani::profiles
