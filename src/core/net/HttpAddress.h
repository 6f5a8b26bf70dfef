#pragma once

#include <string>
#include <string_view>

namespace kaldrani::net {

// An absolute address taken apart by the page fetch's own rules: no percent-decoding, no
// escaping, the characters kept as they stand.
struct HttpAddress {
    std::string scheme;   // text before the first "://"; empty when there is none
    std::string host;     // without the brackets of an IPv6 literal
    bool ipv6Literal = false;
    std::string portText; // empty when the address names no port
    std::string path;     // "/" up to and including the last "/"
    std::string document; // after the last "/", without any "#" part
    std::string query;    // after the first "?", without any "#" part
};

// Splits an address: backslashes become "/", the query is cut at the first "?", user
// information before "@" is dropped, a "#" part is dropped. Never fails; an address
// without "://" gives an empty scheme.
HttpAddress splitAddress(std::string_view url);

// The request target: path + document, then "?" and the query when there is one.
std::string requestTarget(const HttpAddress& address);

// The Host header value: the host, plus ":" and the port text unless that is empty or "80".
std::string hostHeaderValue(const HttpAddress& address);

// The address put back together (scheme, host, port text, target), without user
// information or "#" part.
std::string joinAddress(const HttpAddress& address);

// The absolute address a redirect's Location names, backslashes read as "/". A value
// containing "://" is returned so; any other keeps the scheme, host and port of current,
// is appended to the current path unless it begins with "/", and loses its "." and ".."
// segments.
std::string resolveLocation(const HttpAddress& current, std::string_view location);

// Removes "." and ".." segments from an absolute path ([rfc3986] 5.2.4); ".." never
// climbs above the root.
std::string removeDotSegments(std::string_view path);

} // namespace kaldrani::net
