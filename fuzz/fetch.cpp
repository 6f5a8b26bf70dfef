// The whole fetch fed from fake connections: answer bytes in, body or failure out, under
// every combination of the settings callers change.
#include "FuzzSupport.h"

#include "core/net/HttpClient.h"

#include <algorithm>
#include <cctype>
#include <optional>

using namespace kaldrani;

namespace {

// What a lone answer's framing promises, where it is plain enough to tell without the
// client: a head without its end promises nothing whole; a 200 head with one decimal
// Content-Length (no other framing, no redirect, no folded line) promises that many bytes.
struct Promise {
    bool headEnds = true;
    std::optional<size_t> length;
    size_t bodyBytes = 0; // what follows the head
};

Promise promiseOf(std::string_view answer)
{
    Promise p;
    const size_t lf = answer.find("\n\n");
    const size_t crlf = answer.find("\n\r\n");
    p.headEnds = lf != std::string_view::npos || crlf != std::string_view::npos;
    const size_t end = answer.find("\r\n\r\n");
    if (end == std::string_view::npos || end > std::min(lf, crlf) || !answer.starts_with("HTTP/1.1 200 "))
        return p;
    std::optional<size_t> length;
    int lengths = 0;
    const std::string_view head = answer.substr(0, end + 2);
    if (head.substr(0, head.find("\r\n")).find('\n') != std::string_view::npos)
        return p;
    for (size_t at = head.find("\r\n") + 2; at < head.size();) {
        const size_t next = head.find("\r\n", at);
        const std::string_view line = head.substr(at, next - at);
        at = next + 2;
        std::string lower(line);
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const bool namesLength = lower.find("content-length") != std::string::npos;
        if (line.empty() || line.find_first_of("\n \t") == 0 || lower.find("transfer-encoding") != std::string::npos
            || lower.find("location") != std::string::npos || lower.find('\n') != std::string::npos
            || (namesLength && !lower.starts_with("content-length:")))
            return p;
        if (lower.starts_with("content-length:")) {
            const std::string_view value = line.substr(15);
            const size_t first = value.find_first_not_of(' ');
            const std::string_view digits = first == std::string_view::npos ? value : value.substr(first);
            if (digits.empty() || digits.size() > 7 || digits.find_first_not_of("0123456789") != std::string_view::npos)
                return p;
            length = std::stoul(std::string(digits));
            ++lengths;
        }
    }
    if (lengths == 1)
        p.length = length;
    p.bodyBytes = answer.size() - end - 4;
    return p;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    // First byte: the settings; the rest: one answer per connection, cut at "\n#next#\n".
    const uint8_t flags = data[0];
    const auto answers = fuzz::splitInput(fuzz::asText(data + 1, size - 1), "\n#next#\n");
    fuzz::FakeServer server(answers);
    net::THttpClient client;
    client.HandleRedirects = flags & 1;
    client.AllowCookies = !(flags & 4);
    if (flags & 8)
        client.UserAgent.clear();
    client.ReadTimeout = (flags & 16) ? std::optional<int>(20) : std::nullopt;
    client.FetchTimeout = 2000;
    const bool stringForm = flags & 2;
    const std::string url = (flags & 32) ? "http://fuzz.example:8080/a/b?q=1" : "http://fuzz.example/";
    const std::string before = "kept";
    std::string buffer = before;
    // A lone answer cut short of what its framing promises is never a whole page.
    const Promise promise = answers.size() == 1 ? promiseOf(answers.front()) : Promise{};
    const bool cutShort = !promise.headEnds || (promise.length && promise.bodyBytes < *promise.length);
    try {
        if (stringForm) {
            const std::string text = client.FetchPage(url);
            FUZZ_CHECK(!cutShort);
            FUZZ_CHECK(text::isValidUtf8(text));
            // One byte becomes at most one U+FFFD.
            FUZZ_CHECK(text.size() <= 3 * server.totalBytes());
        } else {
            client.FetchPage(url, buffer);
            FUZZ_CHECK(!cutShort);
            FUZZ_CHECK(!promise.length || buffer.size() - before.size() == *promise.length);
            FUZZ_CHECK(buffer.starts_with(before));
            FUZZ_CHECK(buffer.size() - before.size() <= server.totalBytes());
        }
    } catch (const net::HttpStatusError& e) {
        FUZZ_CHECK(text::isValidUtf8(e.body()));
        FUZZ_CHECK(stringForm || buffer == before);
    } catch (const net::NetError&) {
        FUZZ_CHECK(stringForm || buffer == before);
    }
    return 0;
}
