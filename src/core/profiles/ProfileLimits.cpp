#include "core/profiles/ProfileLimits.h"

#include <cerrno>

namespace kaldrani::profiles {

std::optional<std::string> profileTextFault(std::string_view text)
{
    // Nesting is counted outside strings and comments: each open "[" or "{" and each "."
    // of a dotted key since the last "=", ",", bracket or line end. A number's point counts
    // once, far below the bound.
    int open = 0;
    int dots = 0;
    int line = 1;
    const auto tooDeep = [&line]() {
        return "it is nested deeper than " + std::to_string(kMaxProfileNesting) + " levels (line "
               + std::to_string(line) + ")";
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n') {
            ++line;
            dots = 0;
        } else if (c == '#') {
            while (i + 1 < text.size() && text[i + 1] != '\n')
                ++i;
        } else if (c == '"' || c == '\'') {
            const bool multi = text.substr(i, 3) == std::string_view(c == '"' ? "\"\"\"" : "'''");
            const std::string_view close = multi ? text.substr(i, 3) : text.substr(i, 1);
            i += close.size();
            while (i < text.size() && text.substr(i, close.size()) != close) {
                if (text[i] == '\n')
                    ++line;
                // Only basic strings escape; a backslash there hides the next character.
                if (c == '"' && text[i] == '\\')
                    ++i;
                ++i;
            }
            // A multi-line string may end in up to two more quotes of its kind.
            i += close.size() - 1;
            while (multi && i + 1 < text.size() && text[i + 1] == c)
                ++i;
        } else if (c == '[' || c == '{') {
            ++open;
            dots = 0;
        } else if (c == ']' || c == '}') {
            open = open > 0 ? open - 1 : 0;
            dots = 0;
        } else if (c == '=' || c == ',') {
            dots = 0;
        } else if (c == '.') {
            ++dots;
        } else {
            continue;
        }
        if (open + dots > kMaxProfileNesting)
            return tooDeep();
    }
    return std::nullopt;
}

std::optional<std::string> profileStatusFault(const std::error_code& ec)
{
    if (ec.value() == ELOOP)
        return "it is a loop of symbolic links";
    return std::nullopt;
}

std::optional<std::string> profileHostFault(std::string_view host)
{
    const std::string_view shape = "must be a host name (and :port 1 to 65535), without a path";
    if (host.empty() || host.find_first_of("/?#@ \t\r\n\\") != std::string_view::npos)
        return std::string(shape);
    for (const char c : host)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return std::string(shape);
    std::string_view name = host;
    std::string_view port;
    if (host.front() == '[') {
        const size_t close = host.find(']');
        if (close == std::string_view::npos || close == 1)
            return std::string(shape);
        name = host.substr(1, close - 1);
        const std::string_view rest = host.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':')
                return std::string(shape);
            port = rest.substr(1);
            if (port.empty())
                return std::string(shape);
        }
        if (name.find_first_not_of("0123456789abcdefABCDEF:.") != std::string_view::npos)
            return std::string(shape);
    } else {
        const size_t colon = host.find(':');
        if (colon != std::string_view::npos) {
            name = host.substr(0, colon);
            port = host.substr(colon + 1);
            if (port.empty())
                return std::string(shape);
        }
        if (name.empty() || name.find_first_of(":[]") != std::string_view::npos)
            return std::string(shape);
    }
    if (!port.empty()) {
        if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string_view::npos)
            return std::string(shape);
        const int value = std::stoi(std::string(port));
        if (value < 1 || value > 65535)
            return std::string(shape);
    }
    return std::nullopt;
}

std::optional<std::string> profileUserAgentFault(std::string_view userAgent)
{
    for (const char c : userAgent)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f)
            return "must be one line without control characters";
    return std::nullopt;
}

} // namespace kaldrani::profiles
