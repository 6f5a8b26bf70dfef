// Set-Cookie values received from one host, then the Cookie header for another address,
// and the request that carries it.
#include "FuzzSupport.h"

#include "core/net/HttpCookies.h"
#include "core/net/HttpRequest.h"

using namespace kaldrani;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // setter host \n request host \n request path \n Set-Cookie values, one a line
    const auto parts = fuzz::splitInput(fuzz::asText(data, size), "\n");
    if (parts.size() < 3)
        return 0;
    net::CookieJar jar;
    const std::time_t now = 1700000000;
    for (size_t i = 3; i < parts.size(); ++i)
        jar.setCookie(parts[i], parts[0], now);
    FUZZ_CHECK(jar.cookies().size() <= net::CookieJar::kMaxCookies);
    for (const auto& c : jar.cookies()) {
        FUZZ_CHECK(!c.name.empty());
        FUZZ_CHECK(net::domainMatches(parts[0], c.domain));
    }
    const std::string header = jar.cookieHeader(parts[1], parts[2], now);
    FUZZ_CHECK(header.size() <= net::CookieJar::kMaxHeaderBytes);

    net::HttpRequest request;
    request.target = std::string(parts[2]);
    request.host = std::string(parts[1]);
    request.cookie = header;
    const std::string bytes = net::writeRequest(request);
    // Nothing a server sends may split the request: ASCII only, CR LF only at line ends.
    FUZZ_CHECK(bytes.ends_with("\r\n\r\n"));
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        FUZZ_CHECK(c < 0x80 && c != 0);
        if (c == '\r')
            FUZZ_CHECK(i + 1 < bytes.size() && bytes[i + 1] == '\n');
        if (c == '\n')
            FUZZ_CHECK(i > 0 && bytes[i - 1] == '\r');
    }
    return 0;
}
