#include "core/net/HttpAddress.h"

#include <algorithm>
#include <vector>

namespace kaldrani::net {

namespace {

void dropFragment(std::string& text)
{
    const size_t hash = text.find('#');
    if (hash != std::string::npos)
        text.erase(hash);
}

} // namespace

HttpAddress splitAddress(std::string_view url)
{
    std::string rest(url);
    std::replace(rest.begin(), rest.end(), '\\', '/');

    HttpAddress a;
    const size_t schemeEnd = rest.find("://");
    if (schemeEnd != std::string::npos) {
        a.scheme = rest.substr(0, schemeEnd);
        rest.erase(0, schemeEnd + 3);
    }

    const size_t question = rest.find('?');
    if (question != std::string::npos) {
        a.query = rest.substr(question + 1);
        rest.erase(question);
        // A fragment never goes to the server, whichever side of the "?" it stands.
        dropFragment(a.query);
    }

    const size_t slash = rest.find('/');
    std::string authority = rest.substr(0, slash);
    const std::string tail = slash == std::string::npos ? std::string() : rest.substr(slash);

    const size_t at = authority.rfind('@');
    if (at != std::string::npos)
        authority.erase(0, at + 1);
    if (!authority.empty() && authority[0] == '[' && authority.find(']') != std::string::npos) {
        const size_t close = authority.find(']');
        a.host = authority.substr(1, close - 1);
        a.ipv6Literal = true;
        const std::string after = authority.substr(close + 1);
        if (!after.empty() && after[0] == ':')
            a.portText = after.substr(1);
    } else {
        const size_t colon = authority.find(':');
        a.host = authority.substr(0, colon);
        if (colon != std::string::npos)
            a.portText = authority.substr(colon + 1);
    }

    const size_t lastSlash = tail.rfind('/');
    if (lastSlash == std::string::npos) {
        a.path.assign(1, '/');
    } else {
        a.path = tail.substr(0, lastSlash + 1);
        a.document = tail.substr(lastSlash + 1);
    }
    dropFragment(a.document);
    return a;
}

std::string requestTarget(const HttpAddress& address)
{
    std::string target = address.path + address.document;
    if (!address.query.empty())
        target += "?" + address.query;
    return target;
}

std::string hostHeaderValue(const HttpAddress& address)
{
    std::string value = address.ipv6Literal ? "[" + address.host + "]" : address.host;
    if (!address.portText.empty() && address.portText != "80")
        value += ":" + address.portText;
    return value;
}

std::string joinAddress(const HttpAddress& address)
{
    std::string authority = address.ipv6Literal ? "[" + address.host + "]" : address.host;
    if (!address.portText.empty())
        authority += ":" + address.portText;
    return address.scheme + "://" + authority + requestTarget(address);
}

std::string removeDotSegments(std::string_view path)
{
    std::vector<std::string_view> segments;
    size_t pos = 1; // past the leading "/"
    bool trailingSlash = false;
    while (pos <= path.size()) {
        const size_t next = std::min(path.find('/', pos), path.size());
        const std::string_view segment = path.substr(pos, next - pos);
        const bool last = next == path.size();
        if (segment == ".") {
            trailingSlash = last;
        } else if (segment == "..") {
            if (!segments.empty())
                segments.pop_back();
            trailingSlash = last;
        } else {
            segments.push_back(segment);
            trailingSlash = false;
        }
        pos = next + 1;
    }
    std::string out;
    for (const auto segment : segments) {
        out += '/';
        out += segment;
    }
    if (trailingSlash || out.empty())
        out += '/';
    return out;
}

std::string resolveLocation(const HttpAddress& current, std::string_view location)
{
    std::string relative(location);
    std::replace(relative.begin(), relative.end(), '\\', '/');
    if (relative.find("://") != std::string::npos)
        return relative;

    std::string query;
    const size_t question = relative.find('?');
    if (question != std::string::npos) {
        query = relative.substr(question + 1);
        relative.erase(question);
    }
    dropFragment(relative);
    dropFragment(query);

    HttpAddress next = current;
    const std::string path = relative.starts_with('/') ? relative : current.path + relative;
    const std::string clean = removeDotSegments(path);
    const size_t lastSlash = clean.rfind('/');
    next.path = clean.substr(0, lastSlash + 1);
    next.document = clean.substr(lastSlash + 1);
    next.query = query;
    return joinAddress(next);
}

} // namespace kaldrani::net
