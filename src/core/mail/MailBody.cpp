#include "core/mail/MailBody.h"

namespace kaldrani::mail {

std::vector<std::string> splitLines(std::string_view text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
    return lines;
}

std::string dotStuff(std::string_view line)
{
    if (!line.empty() && line.front() == '.')
        return std::string(1, '.').append(line);
    return std::string(line);
}

} // namespace kaldrani::mail
