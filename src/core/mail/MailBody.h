#pragma once

#include <string>
#include <string_view>
#include <vector>

// Lines of typed text and of a message body.
namespace kaldrani::mail {

// The text's lines, split at CR LF, LF or CR. A break at the very end starts no further
// line, so "a\r\n" is one line and "" none; empty lines inside are kept.
std::vector<std::string> splitLines(std::string_view text);

// [rfc5321] 4.5.2 Transparency: a line that begins with "." gets one more in front.
std::string dotStuff(std::string_view line);

} // namespace kaldrani::mail
