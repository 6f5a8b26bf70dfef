#include "core/mail/SmtpReply.h"

namespace kaldrani::mail {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Digits, then a dot, from pos; returns the position after the digits or npos.
size_t skipNumber(std::string_view s, size_t pos)
{
    const size_t start = pos;
    while (pos < s.size() && isDigit(s[pos]))
        ++pos;
    return pos == start ? std::string_view::npos : pos;
}

// [rfc3463] class.subject.detail, followed by a space.
size_t enhancedCodeLength(std::string_view s)
{
    size_t pos = 0;
    for (int part = 0; part < 3; ++part) {
        pos = skipNumber(s, pos);
        if (pos == std::string_view::npos || pos >= s.size())
            return 0;
        const char want = part < 2 ? '.' : ' ';
        if (s[pos] != want)
            return 0;
        ++pos;
    }
    return pos;
}

} // namespace

SmtpReplyError::SmtpReplyError(const SmtpReply& reply)
    : std::runtime_error(replyErrorMessage(reply)), m_code(reply.code)
{
}

bool endsReply(std::string_view line)
{
    return line.size() < 4 || line[3] == ' ';
}

std::string replyText(std::string_view line)
{
    if (line.size() <= 4)
        return {};
    std::string_view text = line.substr(4);
    text.remove_prefix(enhancedCodeLength(text));
    return std::string(text);
}

SmtpReply parseSmtpReply(const std::vector<std::string>& lines)
{
    SmtpReply reply;
    if (!lines.empty()) {
        const std::string& first = lines.front();
        if (first.size() >= 3 && isDigit(first[0]) && isDigit(first[1]) && isDigit(first[2]))
            reply.code = (first[0] - '0') * 100 + (first[1] - '0') * 10 + (first[2] - '0');
    }
    reply.lines.reserve(lines.size());
    for (const std::string& line : lines)
        reply.lines.push_back(replyText(line));
    return reply;
}

std::string replyErrorMessage(const SmtpReply& reply)
{
    std::string message;
    for (const std::string& line : reply.lines)
        message += line + "\r\n";
    // A reply of a code alone still says something: never an empty reason.
    if (message.find_first_not_of(" \t\r\n") == std::string::npos)
        return "The server replied " + std::to_string(reply.code) + " without a reason.\r\n";
    return message;
}

} // namespace kaldrani::mail
