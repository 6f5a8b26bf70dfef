#pragma once

#include <string>
#include <string_view>
#include <vector>

// Lines of typed text and of a message body.
namespace kaldrani::mail {

// The text's lines, split at CR LF, LF or CR. A break at the very end starts no further
// line, so "a\r\n" is one line and "" none; empty lines inside are kept.
std::vector<std::string> splitLines(std::string_view text);

// Calls visit(line) for each line splitLines would give, in order, without copying any.
template <typename Visit>
void forEachLine(std::string_view text, Visit&& visit)
{
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            visit(text.substr(start));
            return;
        }
        visit(text.substr(start, end - start));
        start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
}

// [rfc5321] 4.5.2 Transparency: a line that begins with "." gets one more in front.
std::string dotStuff(std::string_view line);

} // namespace kaldrani::mail
