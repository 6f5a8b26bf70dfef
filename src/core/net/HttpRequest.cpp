#include "core/net/HttpRequest.h"

#include "core/text/Encoding.h"

#include <algorithm>

namespace kaldrani::net {

std::string toRequestAscii(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += (c == '\r' || c == '\n' || c == '\0') ? '?' : static_cast<char>(c);
            ++i;
            continue;
        }
        // Skip the whole UTF-8 sequence so that one character gives one "?".
        out += '?';
        i += std::max<size_t>(1, text::utf8SequenceLength(text.substr(i)));
    }
    return out;
}

std::vector<std::string> wrapHeaderLine(const std::string& line, size_t maxLength)
{
    std::vector<std::string> lines;
    std::string rest = line;
    const size_t nameEnd = line.find(':');
    // Never break inside the name: the first line must keep "Name:" whole.
    size_t minBreak = nameEnd == std::string::npos ? 1 : nameEnd + 2;
    while (rest.size() > maxLength) {
        size_t cut = std::string::npos;
        for (size_t i = std::min(maxLength, rest.size()) - 1; i >= minBreak; --i) {
            if (rest[i] == ' ' || rest[i] == '\t' || rest[i] == ',') {
                cut = i;
                break;
            }
        }
        if (cut == std::string::npos) {
            const size_t after = rest.find_first_of(" \t,", std::max(maxLength, minBreak));
            if (after == std::string::npos || after + 1 >= rest.size())
                break;
            cut = after;
        }
        if (cut + 1 >= rest.size())
            break;
        lines.push_back(rest.substr(0, cut + 1));
        rest = " " + rest.substr(cut + 1);
        minBreak = 1;
    }
    lines.push_back(rest);
    return lines;
}

std::string writeRequest(const HttpRequest& request)
{
    std::string block = "GET " + toRequestAscii(request.target) + " HTTP/" + toRequestAscii(request.protocolVersion) + "\r\n";
    const auto header = [&block](std::string_view name, std::string_view value) {
        for (const auto& line : wrapHeaderLine(std::string(name) + ": " + toRequestAscii(value)))
            block += line + "\r\n";
    };
    header("Host", request.host);
    header("Accept", "text/html, */*");
    header("Accept-Encoding", "identity");
    if (!request.userAgent.empty())
        header("User-Agent", request.userAgent);
    if (!request.cookie.empty())
        header("Cookie", request.cookie);
    block += "\r\n";
    return block;
}

} // namespace kaldrani::net
