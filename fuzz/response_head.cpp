// The status line and header lines of a response, as the fetch reads them.
#include "FuzzSupport.h"

#include "core/net/HttpResponseHead.h"

using namespace kaldrani;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto lines = fuzz::splitInput(fuzz::asText(data, size), "\n");
    net::HttpHeaders headers;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string_view line = lines[i];
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        const std::string decoded = net::decodeHeadLine(line);
        FUZZ_CHECK(text::isValidUtf8(decoded));
        if (i == 0) {
            const int code = net::parseStatusCode(decoded);
            FUZZ_CHECK(code >= -1);
            continue;
        }
        headers.addLine(decoded);
        (void)net::parseChunkSize(decoded);
    }
    if (const auto length = net::contentLength(headers))
        FUZZ_CHECK(*length >= 0);
    (void)net::isChunked(headers);
    (void)net::declaresUtf8(headers);
    (void)net::allowsKeepAlive(headers);
    for (const char* name : {"Set-Cookie", "Location", "Content-Type"}) {
        const auto all = headers.findAll(name);
        const std::string* first = headers.find(name);
        FUZZ_CHECK(all.empty() == (first == nullptr));
        if (first != nullptr)
            FUZZ_CHECK(all.front() == *first);
    }
    return 0;
}
