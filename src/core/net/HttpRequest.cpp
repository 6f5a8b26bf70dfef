#include "core/net/HttpRequest.h"

#include "core/text/Ascii.h"
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
    // The rest still to place is line[pos, end), preceded by one blank once it continues a
    // line; walking pos along the line keeps the work linear in its length.
    std::vector<std::string> lines;
    size_t pos = 0;
    bool continued = false;
    const auto restSize = [&] { return line.size() - pos + (continued ? 1 : 0); };
    const auto at = [&](size_t i) { return continued ? (i == 0 ? ' ' : line[pos + i - 1]) : line[pos + i]; };
    const auto toLine = [&](size_t i) { return continued ? pos + i - 1 : pos + i; };
    const auto piece = [&](size_t length) {
        if (!continued)
            return line.substr(pos, length);
        std::string folded(1, ' ');
        folded.append(line, pos, length - 1);
        return folded;
    };
    const size_t nameEnd = line.find(':');
    // Never break inside the name: the first line must keep "Name:" whole.
    size_t minBreak = nameEnd == std::string::npos ? 1 : nameEnd + 2;
    while (restSize() > maxLength) {
        size_t cut = std::string::npos;
        for (size_t i = std::min(maxLength, restSize()) - 1; i >= minBreak; --i) {
            if (at(i) == ' ' || at(i) == '\t' || at(i) == ',') {
                cut = i;
                break;
            }
        }
        if (cut == std::string::npos) {
            const size_t after = line.find_first_of(" \t,", toLine(std::max(maxLength, minBreak)));
            if (after == std::string::npos)
                break;
            cut = continued ? after - pos + 1 : after - pos;
            if (cut + 1 >= restSize())
                break;
        }
        if (cut + 1 >= restSize())
            break;
        lines.push_back(piece(cut + 1));
        pos = toLine(cut + 1);
        continued = true;
        minBreak = 1;
    }
    lines.push_back(piece(restSize()));
    return lines;
}

std::string writeRequest(const HttpRequest& request)
{
    std::string block = "GET " + toRequestAscii(request.target) + " HTTP/" + toRequestAscii(request.protocolVersion) + "\r\n";
    const auto header = [&block](std::string_view name, std::string_view value) {
        for (const auto& line : wrapHeaderLine(std::string(name) + ": " + toRequestAscii(value)))
            block += line + "\r\n";
    };
    const auto given = [&request](std::string_view name) {
        for (const auto& [n, v] : request.extraHeaders)
            if (text::equalsIgnoreAsciiCase(n, name))
                return true;
        return false;
    };
    header("Host", request.host);
    if (!given("Accept"))
        header("Accept", request.accept);
    if (!given("Accept-Encoding"))
        header("Accept-Encoding", "identity");
    if (!request.userAgent.empty())
        header("User-Agent", request.userAgent);
    if (!request.cookie.empty())
        header("Cookie", request.cookie);
    for (const auto& [name, value] : request.extraHeaders)
        header(toRequestAscii(name), value);
    block += "\r\n";
    return block;
}

} // namespace kaldrani::net
