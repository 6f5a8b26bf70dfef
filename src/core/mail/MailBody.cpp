#include "core/mail/MailBody.h"

namespace kaldrani::mail {

std::vector<std::string> splitLines(std::string_view text)
{
    std::vector<std::string> lines;
    forEachLine(text, [&](std::string_view line) { lines.emplace_back(line); });
    return lines;
}

std::string dotStuff(std::string_view line)
{
    if (!line.empty() && line.front() == '.')
        return std::string(1, '.').append(line);
    return std::string(line);
}

} // namespace kaldrani::mail
