#pragma once

#include <optional>
#include <string>
#include <string_view>

// [rfc4648] 4. Base 64 Encoding: the standard alphabet with "=" padding, on one line.
namespace kaldrani::mail {

// The bytes in base64.
std::string base64Encode(std::string_view bytes);

// The bytes that text encodes, or nothing when it is not padded base64.
std::optional<std::string> base64Decode(std::string_view text);

} // namespace kaldrani::mail
