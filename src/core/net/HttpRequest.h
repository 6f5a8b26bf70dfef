#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kaldrani::net {

// What one GET request carries; empty userAgent or cookie leave their lines out.
struct HttpRequest {
    std::string target;
    std::string host; // the Host header value
    std::string userAgent;
    std::string cookie;
    std::string protocolVersion = "1.1";
    // Sent after the client's own lines; one named Accept or Accept-Encoding (any case)
    // takes the place of the client's.
    std::vector<std::pair<std::string, std::string>> extraHeaders;
    std::string accept = "text/html, */*";
};

// The request block as sent: request line, Host, Accept, Accept-Encoding, User-Agent and
// Cookie when not empty, then an empty line; every line ended by CR LF, text converted by
// toRequestAscii, header lines wrapped at 1024 characters.
std::string writeRequest(const HttpRequest& request);

// One character per "?" for every UTF-8 character outside ASCII (and every byte that
// forms none); CR, LF and NUL also become "?" so that no text can split the request.
std::string toRequestAscii(std::string_view text);

// A header line longer than maxLength broken after a space, tab or comma into lines whose
// continuations begin with a space; a line with no such place is left whole.
std::vector<std::string> wrapHeaderLine(const std::string& line, size_t maxLength = 1024);

} // namespace kaldrani::net
