#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kaldrani::net {

// The status code of a status line: its second space-separated word as a decimal
// integer, or -1 when there is none or it is not one.
int parseStatusCode(std::string_view statusLine);

// The header lines of one response, in arrival order, names compared ignoring case.
class HttpHeaders {
public:
    // Adds one header line ([rfc7230] 3.2): "name: value" with the value trimmed; a line
    // that begins with a space or tab continues the previous header, joined with one
    // space (ignored when there is no previous header). A line without ":" gets an empty value.
    void addLine(std::string_view line);

    // The value of the first header of that name, or nullptr.
    const std::string* find(std::string_view name) const;
    // Every value of that name, in arrival order.
    std::vector<std::string> findAll(std::string_view name) const;
    // Header count (continuation lines are not counted).
    size_t size() const { return m_fields.size(); }
    // Forgets every header, for the next response head.
    void clear() { m_fields.clear(); }

private:
    std::vector<std::pair<std::string, std::string>> m_fields;
};

// Neither "Connection" nor "Proxy-Connection" is "close" (trimmed, ignoring case).
bool allowsKeepAlive(const HttpHeaders& headers);

// "Transfer-Encoding" contains "chunked", ignoring case.
bool isChunked(const HttpHeaders& headers);

// The Content-Length as a non-negative number, or nothing when it is missing or not a
// decimal number (a value too large to hold saturates at INT64_MAX).
std::optional<std::int64_t> contentLength(const HttpHeaders& headers);

// True when the Content-Type's charset parameter is "UTF-8" or "UTF8", ignoring case and
// quotes.
bool declaresUtf8(const HttpHeaders& headers);

// The size a chunk-size line gives: the text before its first space or ";" read as a
// hexadecimal number, 0 when it is not one ([rfc7230] 4.1). A size too large to hold
// saturates at UINT64_MAX.
std::uint64_t parseChunkSize(std::string_view line);

// A status or header line's bytes as text: kept when they are UTF-8, else one character
// per byte, so that the result is always valid UTF-8.
std::string decodeHeadLine(std::string_view bytes);

} // namespace kaldrani::net
